#!/usr/bin/env bash
# Validates the GitHub Actions workflow against the workflow schema with a
# validator from npm, and makes sure the validator refuses a broken copy (a
# job without runs-on), so that a validator that accepts anything fails too.
# Then refuses hosted macOS images that GitHub has retired (a job on one
# waits for a runner that never comes), and checks that refusal on a copy
# that names macos-13.
set -euo pipefail
cd "$(dirname "$0")/.."
validator=@action-validator/cli@0.6.0
workflow=.github/workflows/ci.yml

# The oldest hosted macOS image still running jobs. Retired so far: 10.15
# (2022), 11 (June 2024), 12 (December 2024), 13 (December 2025), 14
# (November 2026). Raise it when GitHub retires the next one.
oldest_live_macos=15

# Prints the retired macOS images that `file` names outside comments, one a
# line; fails when it names no macOS image at all (nothing was checked).
retired_macos_images() {
  local file=$1 images image major
  images=$(sed 's/#.*//' "$file" | grep -oE 'macos-[0-9]+(\.[0-9]+)?(-[a-z0-9]+)*' | sort -u)
  if [ -z "$images" ]; then
    echo "check-workflow.sh: $file names no macOS runner image" >&2
    return 1
  fi
  for image in $images; do
    major=${image#macos-}
    major=${major%%[.-]*}
    if [ "$major" -lt "$oldest_live_macos" ]; then echo "$image"; fi
  done
}

if ! command -v npx >/dev/null; then
  echo "check-workflow.sh: npx is missing: run scripts/setup-debian.sh (it installs npm)" >&2
  exit 1
fi
npx --yes "$validator" "$workflow"
echo "$workflow: valid"

broken=$(mktemp --suffix=.yml)
trap 'rm -f "$broken"' EXIT
grep -v "runs-on:" "$workflow" >"$broken"
if npx --yes "$validator" "$broken" >/dev/null 2>&1; then
  echo "check-workflow.sh: the validator accepted a workflow whose jobs have no runs-on" >&2
  exit 1
fi
echo "a copy without runs-on: refused, as it must be"

retired=$(retired_macos_images "$workflow")
if [ -n "$retired" ]; then
  echo "check-workflow.sh: $workflow names retired macOS runner images: $(echo $retired)." >&2
  echo "  Use macos-$oldest_live_macos (Apple silicon), macos-$oldest_live_macos-intel (Intel) or newer." >&2
  exit 1
fi
echo "$workflow: no retired macOS runner image"

sed -E "0,/macos-[0-9]+/s//macos-13/" "$workflow" >"$broken"
if [ "$(retired_macos_images "$broken")" != macos-13 ]; then
  echo "check-workflow.sh: a copy that runs on macos-13 was not refused" >&2
  exit 1
fi
echo "a copy that runs on macos-13: refused, as it must be"
