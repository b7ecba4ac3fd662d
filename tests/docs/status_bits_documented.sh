#!/usr/bin/env bash
# The table of result bits in docs/result-bits.md and the result page's list
# of them must name every bit the code declares, with its value, and no bit the
# code does not declare.
#   status_bits_documented.sh <source root>
set -u
root=$1
declared=$(sed -n 's/^ *\([A-Z_]*\) = \(0x[0-9A-Fa-f]*\),$/\2 \1/p' "$root/common/check_gfx.h" | sort)
documented=$(sed -n 's/^| \(0x[0-9A-Fa-f]*\) | `\([A-Z_]*\)` |.*/\1 \2/p' "$root/docs/result-bits.md" | sort)
page=$(sed -n "s/^ *\['\([A-Z_]*\)', \(0x[0-9A-Fa-f]*\)\],\{0,1\}$/\2 \1/p" "$root/resultpage/result.js" | sort)
[ -n "$declared" ] || { echo "FAIL: no bits read from common/check_gfx.h"; exit 1; }
status=0
for copy in docs/result-bits.md resultpage/result.js; do
  listed=$documented; [ "$copy" = docs/result-bits.md ] || listed=$page
  if [ "$declared" != "$listed" ]; then
    echo "FAIL: the bits of $copy differ from common/check_gfx.h"
    diff <(echo "$declared") <(echo "$listed")
    status=1
  fi
done
[ $status -eq 0 ] && echo "docs/result-bits.md and the result page name all $(wc -l <<<"$declared") bits"
exit $status
