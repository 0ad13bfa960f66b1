#!/usr/bin/env bash
# The bash completion offers only what can follow the words given: one
# command with its own options, nothing after --help, --version, --diagnose
# or --quit, and no option twice.
#
#   completion_test.sh COMPLETION_FILE
set -u
# shellcheck source=/dev/null
source "$1"
failed=0
expect() {
  local expected=$1
  shift
  COMP_WORDS=(quembrastella-switch "$@")
  COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))
  COMPREPLY=()
  _quembrastella_switch
  local got="${COMPREPLY[*]}"
  if [ "$got" != "$expected" ]; then
    echo "after '$*': offered '$got', expected '$expected'"
    failed=1
  fi
}
expect "--console --service --switch --status --json --diagnose --quit --help -h --version -V" ""
expect "--service --switch --status" "--s"
expect "--console" --switch ""
expect "--json --console" --status ""
expect "--console" --status --json ""
expect "--json" --console --status ""
expect "--status --console" --json ""
expect "" --diagnose ""
expect "" --quit ""
expect "" --help ""
expect "" -V ""
expect "--console" --service ""
expect "--service --switch --status --json" --console ""
expect "--service" --console --se
exit $failed
