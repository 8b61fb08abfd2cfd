# bash completion for qwbdcawm and qwbdcawm-emu. The commands and options are read from the
# tool's own --help at each completion, so they never fall behind the tool.
_qwbdcawm_help_section() {  # section ("Subcommands" or "Options") of a --help text on stdin
  awk -v want="$1:" '
    /^[A-Za-z][A-Za-z ]*:$/ { in_section = ($0 == want); next }
    /^[^ ]/ { in_section = 0 }
    in_section && /^  [^ ]/ { print $1 }'
}

_qwbdcawm() {
  local cur=${COMP_WORDS[COMP_CWORD]} tool=${COMP_WORDS[0]} help word
  local -a path=()
  local subcommands
  help=$("$tool" --help 2>/dev/null) || return 0
  # Follow the subcommands typed so far; other words are options and their values.
  for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
    subcommands=$(_qwbdcawm_help_section Subcommands <<<"$help")
    if grep -qxF -- "$word" <<<"$subcommands"; then
      path+=("$word")
      help=$("$tool" "${path[@]}" --help 2>/dev/null) || return 0
    fi
  done
  local -a words=()
  local prev=${COMP_WORDS[COMP_CWORD-1]}
  if [[ $prev == --only ]]; then
    # export --only: the names its help lists in parentheses
    mapfile -t words < <(sed -n '/--only/,/)/p' <<<"$help" | tr '\n' ' ' |
      sed 's/[^(]*(\([^)]*\)).*/\1/' | tr -s ', ' '\n\n')
  elif [[ $cur == -* ]]; then
    # "-h,--help" and "--device TEXT": keep the option names
    mapfile -t words < <(_qwbdcawm_help_section Options <<<"$help" | tr ',' '\n' | grep -- '^-')
  else
    mapfile -t words < <(_qwbdcawm_help_section Subcommands <<<"$help")
  fi
  mapfile -t COMPREPLY < <(compgen -W "${words[*]}" -- "$cur")
  if ((${#COMPREPLY[@]} == 0)) && [[ $cur != -* ]]; then
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}
complete -F _qwbdcawm qwbdcawm qwbdcawm-emu
