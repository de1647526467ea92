#!/usr/bin/env bash
# Holds the converter's manual page against its --help both ways: every
# option --help lists appears in the page with the same argument, and every
# option the page mentions is one --help lists. Either adding an option
# without its page entry or leaving a removed one in the page fails.
#   man_matches_help.sh CONVERTER MAN_PAGE
set -euo pipefail
exe=$1
page_file=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

help=$("$exe" --help)
# Wide lines and no adjusting, so no option is split or hyphenated.
page=$(groff -man -Tascii -P-cbou -rLL=300n "$page_file" 2>/dev/null)

options=$(sed -nE 's/^  (--[a-z][a-z-]*( [^ ]+)?)  .*/\1/p' <<<"$help")
[ "$(wc -l <<<"$options")" -ge 5 ] || fail "found too few options in --help: $options"
while IFS= read -r option; do
  grep -qF -- "$option" <<<"$page" || fail "the manual page lacks \"$option\""
done <<<"$options"

listed=$(cut -d' ' -f1 <<<"$options" | sort -u)
for word in $(grep -oE -- '--[a-z][a-z-]*' <<<"$page" | sort -u); do
  grep -qxF -- "$word" <<<"$listed" || fail "the manual page mentions $word, which --help does not list"
done
echo "$(wc -l <<<"$options") options agree"
