# bash completion for quembrastella-switch. Every option of --help is listed
# here (a test checks it). Only what can follow the words given is offered:
# one command (--switch, --status, --diagnose, --quit) with its own options,
# or the resident tool's options; nothing after --help or --version.
_quembrastella_switch() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local given=" ${COMP_WORDS[*]:1:COMP_CWORD-1} "
  local candidates
  case "$given" in
    *" --help "* | *" -h "* | *" --version "* | *" -V "* | *" --diagnose "* | *" --quit "*)
      candidates="" ;;
    *" --switch "*) candidates="--console" ;;
    *" --status "*) candidates="--json --console" ;;
    *" --json "*) candidates="--status --console" ;;
    *" --service "*) candidates="--console" ;;
    *" --console "*) candidates="--service --switch --status --json" ;;
    *) candidates="--console --service --switch --status --json --diagnose --quit --help -h --version -V" ;;
  esac
  # An option given once is not offered again.
  local options="" option
  for option in $candidates; do
    [[ $given == *" $option "* ]] || options+=" $option"
  done
  # shellcheck disable=SC2207
  COMPREPLY=($(compgen -W "$options" -- "$cur"))
}
complete -F _quembrastella_switch quembrastella-switch
