#!/bin/sh
# Every document the project's README and docs/ point at (a name ending in .md, in backticks
# or in a link) is a file of the project: it exists in the source tree and the path does not
# leave it.
root=${1:?source folder}
status=0
for doc in "$root/README.md" "$root"/docs/*.md; do
  [ -f "$doc" ] || continue
  for ref in $(grep -o '[(`][^()` ]*\.md[)`]' "$doc" | tr -d '()`'); do
    case "$ref" in
      /* | ../* | */../* | http*) echo "$doc: $ref is outside the project"; status=1; continue ;;
    esac
    if [ ! -f "$root/$ref" ] && [ ! -f "$(dirname "$doc")/$ref" ]; then
      echo "$doc: $ref does not exist"
      status=1
    fi
  done
done
exit $status
