#!/usr/bin/env bash
# The keys of the result page address, in the order the program writes them
# (driver/result_page.cpp), must be the page's KEYS (resultpage/result.js),
# which reads the address by that order.
#   result_keys_agree.sh <source root> [node]
set -u
root=$1
node=${2:-node}
source="$root/driver/result_page.cpp"
# The "?key=" and "&key=" inside the wide literals, line by line through the
# function that builds the address; the address constant it starts from stands
# for the keys its own literal holds.
written=$(awk '
  function keys(line,   literal, found) {
    found = ""
    while (match(line, /L"[^"]*"/)) {
      literal = substr(line, RSTART, RLENGTH); line = substr(line, RSTART + RLENGTH)
      while (match(literal, /[?&][A-Za-z]+=/)) {
        found = found substr(literal, RSTART + 1, RLENGTH - 2) "\n"
        literal = substr(literal, RSTART + RLENGTH)
      }
    }
    return found
  }
  /kResultPageAddress\[\] *=/ { address = keys($0) }
  /^WideString BuildResultPageParameters\(/ { inside = 1 }
  inside { printf "%s", (index($0, "kResultPageAddress") ? (address == "" ? "NO-ADDRESS-KEYS\n" : address) : keys($0)) }
  inside && /^}/ { exit }' "$source")
read=$("$node" -e 'process.stdout.write(require(process.argv[1]).KEYS.join("\n") + "\n")' \
  "$root/resultpage/result.js") || { echo "FAIL: cannot read KEYS from resultpage/result.js"; exit 1; }
case $written in *NO-ADDRESS-KEYS*)
  echo "FAIL: no key read from the address constant of driver/result_page.cpp"; exit 1 ;;
esac
[ "$(wc -l <<<"$written")" -gt 1 ] || { echo "FAIL: no keys read from BuildResultPageParameters"; exit 1; }
if [ "$written" != "$read" ]; then
  echo "FAIL: the keys driver/result_page.cpp writes differ from resultpage/result.js's KEYS"
  diff <(echo "$written") <(echo "$read")
  exit 1
fi
echo "the program writes and the page reads the same $(wc -l <<<"$written") keys in the same order: $(echo $written)"
