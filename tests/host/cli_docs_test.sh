#!/usr/bin/env bash
# The tools as a Linux user meets them: --version everywhere, man pages that list every
# command, bash completion that offers commands and options.
#   cli_docs_test.sh BIN_DIR COMPLETION_SCRIPT MAN_DIR
set -u
bin=$1 completion=$2 man=$3
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

for tool in qwbdcawm qwbdcawm-emu regsvr; do
  out=$("$bin/$tool" --version 2>&1) || fail "$tool --version exits $?"
  [[ $out =~ ^$tool\ [0-9]+\.[0-9]+ ]] || fail "$tool --version says '$out'"
done

# Every command --help lists, the man page lists too.
commands=$("$bin/qwbdcawm" --help | awk -F '  +' '/^  qwbdcawm / { print $2 }')
[[ $(wc -l <<<"$commands") -ge 5 ]] || fail "--help lists only: $commands"
if [[ -f $man/qwbdcawm.1 ]]; then
  page=$(sed 's/\\-/-/g' "$man/qwbdcawm.1")
  while read -r command; do
    grep -qF -- "$command" <<<"$page" || fail "qwbdcawm.1 lacks '$command'"
  done <<<"$commands"
  for section in "EXIT STATUS" "JSON OUTPUT" ENVIRONMENT; do
    grep -q "^\.SH \"\?$section" <<<"$page" || fail "qwbdcawm.1 has no $section section"
  done
  grep -q '^\.SH' "$man/qwbdcawm-emu.1" || fail "qwbdcawm-emu.1 is empty"
else
  echo "note: no man pages were built (help2man missing)"
fi

# Completion: what a user gets after typing the words.
source "$completion"
complete_words() {  # words... (the last one is being typed)
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _qwbdcawm
  echo "${COMPREPLY[*]}"
}
check() {  # expected, words...
  local want=$1
  shift
  local got
  got=$(complete_words "$@")
  [[ $got == "$want" ]] || fail "completing '$*': got '$got', want '$want'"
}
check "tasks" "$bin/qwbdcawm" ta
check "list add update delete" "$bin/qwbdcawm" --device tcp:127.0.0.1:1 tasks ""
check "list" "$bin/qwbdcawm" tasks l
check "--vdir" "$bin/qwbdcawm" export --vd
check "--json" "$bin/qwbdcawm" tasks list --j
check "init" "$bin/qwbdcawm-emu" in
check "list pull" "$bin/qwbdcawm" voicememos ""
check "voice-memos" "$bin/qwbdcawm" export --only voi
check "--devinf" "$bin/qwbdcawm" info --dev
check "set-photo" "$bin/qwbdcawm" contacts set-

((failures == 0)) && echo "all checks passed"
exit $((failures > 0))
