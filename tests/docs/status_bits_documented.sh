#!/usr/bin/env bash
# The README's table of result bits must name every bit the code declares,
# with its value, and no bit the code does not declare.
#   status_bits_documented.sh <source root>
set -u
root=$1
declared=$(sed -n 's/^ *\([A-Z_]*\) = \(0x[0-9A-Fa-f]*\),$/\2 \1/p' "$root/common/check_gfx.h" | sort)
documented=$(sed -n 's/^| \(0x[0-9A-Fa-f]*\) | `\([A-Z_]*\)` |.*/\1 \2/p' "$root/README.md" | sort)
[ -n "$declared" ] || { echo "FAIL: no bits read from common/check_gfx.h"; exit 1; }
if [ "$declared" != "$documented" ]; then
  echo "FAIL: README's bit table differs from common/check_gfx.h"
  diff <(echo "$declared") <(echo "$documented")
  exit 1
fi
echo "README names all $(wc -l <<<"$declared") bits"
