#!/usr/bin/env bash
# The README's installer example must be installer-example/Quillet.wxs, the
# source the installer example test builds, line for line.
#   installer_example_documented.sh <source root>
set -u
root=$1
source="$root/installer-example/Quillet.wxs"
[ -s "$source" ] || { echo "FAIL: no $source"; exit 1; }
# The README's first xml block that follows the line naming the file.
shown=$(awk '/installer-example\/Quillet.wxs/ { named = 1 }
             named && !inside && /^```xml$/ { inside = 1; next }
             inside && /^```$/ { exit }
             inside { print }' "$root/README.md")
if [ "$shown" != "$(cat "$source")" ]; then
  echo "FAIL: the README's copy of installer-example/Quillet.wxs differs from the file"
  diff <(echo "$shown") "$source"
  exit 1
fi
echo "README shows installer-example/Quillet.wxs as it is ($(wc -l <"$source") lines)"
