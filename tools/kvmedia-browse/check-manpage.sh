#!/bin/sh
# kvmedia-browse's hand-written page against the program: every option its usage names is
# described, and the page reads in 80 columns without a warning from groff.
set -eu
page=$1 program=$2
usage=$("$program" --help)
status=0
for option in $(printf '%s\n' "$usage" | grep -o -- '--[a-z-]*' | sort -u); do
  grep -qF -- "$(printf '%s' "$option" | sed 's/-/\\-/g')" "$page" ||
    { echo "$page: $option is not described"; status=1; }
done
warnings=$(groff -man -Tascii -ww -z "$page" 2>&1)
wide=$(groff -man -Tascii -P-cbou -rLL=80n "$page" | awk 'length > 80')
[ -z "$warnings$wide" ] || { printf '%s: groff warns or lines run past 80 columns:\n%s\n%s\n' \
  "$page" "$warnings" "$wide"; status=1; }
exit $status
