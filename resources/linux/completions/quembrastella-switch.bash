# bash completion for quembrastella-switch. Every option of --help is listed
# here (a test checks it).
_quembrastella_switch() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local options="--console --service --switch --status --json --diagnose --help -h --version -V"
  # shellcheck disable=SC2207
  COMPREPLY=($(compgen -W "$options" -- "$cur"))
}
complete -F _quembrastella_switch quembrastella-switch
