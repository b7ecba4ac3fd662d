#!/usr/bin/env bash
# scripts/vidrake-db as a maintainer runs it, outside any test session: the
# Wine prefix it keeps in the cache folder is made once, by one of two calls
# that start at once, and made anew when half-made; the calls after it are
# quick, also once its wineserver has ended; every call gives the tool's own
# output and exit status. Inside a test session the session's prefix serves
# and the cache folder is left alone.
#   kept_prefix_test.sh <VidrakeDb.exe>
set -u
root=$(cd "$(dirname "$0")/../.." && pwd -P)
# The tool run directly in a session is the reference.
[ -n "${VIDRAKE_WINE_SESSION:-}" ] || exec "$root/scripts/with-wine" bash "$0" "$@"
export VIDRAKE_DB_EXE=$1
scratch=$(mktemp -d /tmp/vidrake-db-cache-test.XXXXXX)
prefix="$scratch/cache/vidrake/wine-$("$root/scripts/wine-arch")/prefix"
cleanup() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
  rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
making='making a Wine prefix'

# A call as from a maintainer's shell: no session, no display, a cache folder
# of the test's own.
outside() {
  env -u VIDRAKE_WINE_SESSION -u WINEPREFIX -u WINELOADER -u DISPLAY \
    PATH="${PATH#"$VIDRAKE_WINE_SESSION/bin:"}" XDG_CACHE_HOME="$scratch/cache" \
    "$root/scripts/vidrake-db" "$@"
}
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

sample="$root/data/VideoCardDB.xml"
printf '<VideoCardDB><Card ManufacturerID="0x10DE" DeviceID="1741" PixelShaderVersion="3"/></VideoCardDB>\n' \
  >"$scratch/findings.xml"
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
expected_sample=$(wine "$VIDRAKE_DB_EXE" lint "$(windows_path "$sample")")
expected_sample_status=$?
expected_findings=$(wine "$VIDRAKE_DB_EXE" lint "$(windows_path "$scratch/findings.xml")" --json)
expected_findings_status=$?
[ "$expected_findings_status" = 1 ] || fail "the reference lint with a finding: exit status $expected_findings_status"

# same_as NAME STATUS OUTPUT EXPECTED_STATUS EXPECTED_OUTPUT
same_as() {
  [ "$2" = "$4" ] || fail "$1: exit status $2, not $4"
  [ "$3" = "$5" ] || fail "$1: output differs from the tool's own: $3"
}

# Inside a session: the session's prefix, nothing in the cache folder.
out=$(XDG_CACHE_HOME="$scratch/untouched" "$root/scripts/vidrake-db" lint "$sample")
same_as "in a session" $? "$out" "$expected_sample_status" "$expected_sample"
[ ! -e "$scratch/untouched" ] || fail "a call in a session wrote to the cache folder"

# Two first calls at once on an empty cache folder.
outside lint "$scratch/findings.xml" --json >"$scratch/a.out" 2>"$scratch/a.err" &
first=$!
outside lint "$sample" >"$scratch/b.out" 2>"$scratch/b.err" &
second=$!
wait "$first"; first_status=$?
wait "$second"; second_status=$?
same_as "first of two at once" "$first_status" "$(cat "$scratch/a.out")" "$expected_findings_status" "$expected_findings"
same_as "second of two at once" "$second_status" "$(cat "$scratch/b.out")" "$expected_sample_status" "$expected_sample"
said=$(cat "$scratch/a.err" "$scratch/b.err")
[ "$(grep -c "$making" <<<"$said")" = 1 ] || fail "two calls at once: not one line about making the prefix: $said"
[ "$(grep -vc "$making" <<<"$said")" = 0 ] || fail "two calls at once: more on stderr: $said"
grep -q "$prefix" <<<"$said" || fail "the line about making the prefix does not say where: $said"

# The next call: the kept prefix, quickly, and nothing on stderr.
start=$(now_ms)
out=$(outside lint "$sample" 2>"$scratch/c.err")
status=$?
took=$(( $(now_ms) - start ))
same_as "a later call" "$status" "$out" "$expected_sample_status" "$expected_sample"
[ ! -s "$scratch/c.err" ] || fail "a later call wrote to stderr: $(cat "$scratch/c.err")"
[ "$took" -lt 5000 ] || fail "a later call took $took ms"
echo "a later call took $took ms"

# A call after the kept wineserver has ended starts a new one, with Wine's
# services, none of which may hold the call's output or error stream open (a
# capture of both would wait for the wineserver to end): the capture returns
# with the tool's own output and nothing else.
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1
start=$(now_ms)
out=$(outside lint "$scratch/findings.xml" --json 2>&1)
status=$?
took=$(( $(now_ms) - start ))
same_as "a call after the wineserver ended" "$status" "$out" "$expected_findings_status" "$expected_findings"
[ "$took" -lt 10000 ] || fail "a call after the wineserver ended took $took ms"
echo "a call after the wineserver ended took $took ms"

# A prefix whose making did not finish is made anew.
rm "$(dirname "$prefix")/made"
out=$(outside lint "$sample" 2>"$scratch/d.err")
same_as "after a half-made prefix" $? "$out" "$expected_sample_status" "$expected_sample"
grep -q "$making" "$scratch/d.err" || fail "a half-made prefix was used as it was"

[ "$failures" = 0 ] && echo "vidrake-db kept prefix ok"
exit $((failures > 0))
