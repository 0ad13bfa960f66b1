#!/usr/bin/env bash
# Builds the tool and runs its main job: the simulated demo (a start, a Control
# double-tap that switches the hub, a mouse-chord switch, a Q double-tap quit)
# in virtual time.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target quembrastella-sim
exec build/default/src/platform/sim/quembrastella-sim scenarios/demo.scenario "$@"
