#!/usr/bin/env bash
# Builds the tool and runs its main job. Where this machine has input devices
# the tool can read, that is the real tool (with console output; arguments are
# passed on). Elsewhere it says why and runs the simulated demo instead: a
# start, a Control double-tap that switches the hub, a mouse-chord switch and
# a Q double-tap quit, in virtual time.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null

readable=0
for device in /dev/input/event*; do
  [ -r "$device" ] && readable=$((readable + 1))
done

if [ "$(uname -s)" = Linux ] && [ "$readable" -gt 0 ]; then
  cmake --build --preset default -j "$(nproc)" --target quembrastella-switch
  exec build/default/src/platform/linux/quembrastella-switch --console "$@"
fi

if [ -d /dev/input ]; then
  echo "No input device under /dev/input is readable by $(id -un): join the 'input' group" \
       "(sudo usermod -aG input \"\$USER\", then log in again). Running the simulated demo instead." >&2
else
  echo "This machine has no input devices (/dev/input is missing). Running the simulated demo instead." >&2
fi
cmake --build --preset default -j "$(nproc)" --target quembrastella-sim
exec build/default/src/scenario_runner/quembrastella-sim "$@" scenarios/demo.scenario
