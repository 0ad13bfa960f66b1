#!/usr/bin/env bash
# Validates the GitHub Actions workflow against the workflow schema with a
# validator from npm, and makes sure the validator refuses a broken copy (a
# job without runs-on), so that a validator that accepts anything fails too.
set -euo pipefail
cd "$(dirname "$0")/.."
validator=@action-validator/cli@0.6.0
workflow=.github/workflows/ci.yml

if ! command -v npx >/dev/null; then
  echo "check-workflow.sh: npx is missing: run scripts/setup-debian.sh --ci (it installs npm)" >&2
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
