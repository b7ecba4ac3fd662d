#!/usr/bin/env bash
# scripts/vidrake-db as a maintainer uses it: Linux paths in, the tool's output
# and exit status out, and nothing of its Wine session left running.
#   wrapper_test.sh <VidrakeDb.exe>
set -u
export VIDRAKE_DB_EXE=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d /tmp/vidrake-db-test.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Processes whose Wine prefix is gone: a session that did not clean up.
orphans() {
  for environ in /proc/[0-9]*/environ; do
    prefix=$(tr '\0' '\n' <"$environ" 2>/dev/null | sed -n 's/^WINEPREFIX=//p')
    [ -n "$prefix" ] && [ ! -e "$prefix" ] && echo "${environ%/environ}"
  done
}

# A relative path with a space in a folder name, and a database with findings.
mkdir -p "$scratch/with space"
printf '<VideoCardDB><Card ManufacturerID="0x10DE" DeviceID="1741" PixelShaderVersion="3"/></VideoCardDB>\n' \
  >"$scratch/with space/VideoCardDB.xml"
out=$(cd "$scratch" && "$root/scripts/vidrake-db" lint "with space/VideoCardDB.xml" --json)
status=$?
[ "$status" = 1 ] || fail "lint with a finding: exit status $status, not 1"
grep -q '"rule": "bad-vendor-id"' <<<"$out" || fail "lint output lacks the finding: $out"
grep -q 'with space' <<<"$out" || fail "the database path did not reach the tool: $out"
grep -q $'\r' <<<"$out" && fail "the output has carriage returns"

printf '<VideoCardDB>\n<Card>\n' >"$scratch/broken.xml"
out=$("$root/scripts/vidrake-db" lint "$scratch/broken.xml")
status=$?
[ "$status" = 2 ] || fail "not well-formed: exit status $status, not 2"
grep -q 'not-well-formed' <<<"$out" || fail "no parser reason: $out"

out=$("$root/scripts/vidrake-db" explain "$root/data/VideoCardDB.xml" --vendor 4098 --device 20800 \
      --card "RADEON 9700 PRO" --driver 6.14.0010.6307 2>&1)
status=$?
[ "$status" = 0 ] || fail "explain: exit status $status"
grep -q 'alternates offered: 6.14.0010.6476' <<<"$out" || fail "explain answer: $out"

# The batch form: the adapter list's path converted like the databases'.
printf '4098\t20800\t6.14.0010.6307\tRADEON 9700 PRO\r\nnot an adapter\n' >"$scratch/with space/adapters.txt"
out=$(cd "$scratch" && "$root/scripts/vidrake-db" explain --batch "with space/adapters.txt" \
      "$root/data/VideoCardDB.xml" "with space/VideoCardDB.xml")
status=$?
[ "$status" = 0 ] || fail "explain --batch: exit status $status"
python3 - "$out" <<'CHECK' || fail "explain --batch lines: $out"
import json, sys
lines = [json.loads(text) for text in sys.argv[1].split("\n") if text]
assert [line["line"] for line in lines] == [1, 2, 1, 2], lines
assert lines[0]["direct3d9"]["alternates"] == "6.14.0010.6476", lines[0]
assert "error" in lines[1] and "direct3d9" not in lines[1], lines[1]
assert lines[2]["database"].endswith("with space\\VideoCardDB.xml"), lines[2]
assert lines[2]["decidedBy"] == "fallback" and "trail" not in lines[2], lines[2]
CHECK

err=$("$root/scripts/vidrake-db" explain --vendor 1 2>&1 >/dev/null)
status=$?
[ "$status" = 2 ] || fail "bad arguments: exit status $status, not 2"
grep -q '^usage:' <<<"$err" || fail "bad arguments give no usage text: $err"

left=$(orphans)
[ -z "$left" ] && echo "no process outlives its session" || fail "processes outlived their session: $left"
[ "$failures" = 0 ] && echo "vidrake-db wrapper ok"
exit $((failures > 0))
