#!/usr/bin/env bash
# The man page and the help texts name the same options: every option that
# `psxdig --help` or a modern command's `--help` shows is in the man page, and
# every option the man page names is one of them.
#   tools/check_manpage.sh <psxdig binary> <psxdig.1>
set -euo pipefail
psxdig=$1
page=$2
options() {
  # "/c", "/p1" switches and "-q", "--output" options standing as words.
  grep -oP '(?<![^][ \t|,(])(/[a-z][0-9]?|--?[a-zA-Z][a-zA-Z0-9-]*)(?=[][ \t|,.)=]|$)' | sort -u
}
help=$("$psxdig" --help)
for command in extract convert report render; do
  if text=$("$psxdig" "$command" --help 2>/dev/null); then help+=$'\n'"$text"; fi
done
in_help=$(options <<<"$help")
in_page=$(MANWIDTH=250 man -E ascii -l "$page" 2>/dev/null | options)
missing=$(comm -23 <(echo "$in_help") <(echo "$in_page"))
unknown=$(comm -13 <(echo "$in_help") <(echo "$in_page"))
[ -z "$missing" ] || echo "options in --help but not in the man page:" $missing
[ -z "$unknown" ] || echo "options in the man page but in no --help:" $unknown
[ -z "$missing$unknown" ] || exit 1
echo "man page and --help name the same $(wc -l <<<"$in_help") options"
