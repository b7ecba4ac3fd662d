#!/usr/bin/env bash
# The installer example in docs/setup-authors.md must be
# installer-example/Quillet.wxs, the source the installer example test builds,
# line for line.
#   installer_example_documented.sh <source root>
set -u
root=$1
source="$root/installer-example/Quillet.wxs"
[ -s "$source" ] || { echo "FAIL: no $source"; exit 1; }
# The document's first xml block that follows the line naming the file.
shown=$(awk '/installer-example\/Quillet.wxs/ { named = 1 }
             named && !inside && /^```xml$/ { inside = 1; next }
             inside && /^```$/ { exit }
             inside { print }' "$root/docs/setup-authors.md")
if [ "$shown" != "$(cat "$source")" ]; then
  echo "FAIL: the copy of installer-example/Quillet.wxs in docs/setup-authors.md differs from the file"
  diff <(echo "$shown") "$source"
  exit 1
fi
echo "docs/setup-authors.md shows installer-example/Quillet.wxs as it is ($(wc -l <"$source") lines)"
