#!/usr/bin/env bash
# The shipped folder alone: build/dist copied into a fresh Wine prefix of its
# own (nothing else of the build beside it) runs the whole system test.
#   run_alone.sh <dist directory>
set -euo pipefail
dist=$1
prefix=$(mktemp -d /tmp/vidrake-alone.XXXXXX)
trap 'WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot --init >/dev/null 2>&1
wineserver -w
mkdir -p "$prefix/drive_c/Shipped"
cp "$dist"/* "$prefix/drive_c/Shipped/"
ls "$prefix/drive_c/Shipped"
# No browser, so the verdict comes to the console.
for key in 'HKCR\HTTP\shell\open\command' 'HKCR\htmlfile\shell\open\command' \
           'HKCR\Applications\iexplore.exe\shell\open\command' 'HKCR\Applications\firefox.exe\shell\open\command'; do
  wine reg delete "$key" /ve /f >/dev/null 2>&1 || true
done
set +e
output=$(cd "$prefix/drive_c/Shipped" && wine 'C:\Shipped\QuilletVidrake.exe' </dev/null 2>/dev/null | tr -d '\r')
code=$?
set -e
echo "$output"
echo "exit code $code"
expected="Your system is being analyzed...

Your Graphics Card meets the minimum requirements for Tarvold Quillet!"
[ "$code" -eq 0 ] && [[ "$output" == "$expected"* ]] || { echo "FAIL: the shipped folder did not run alone"; exit 1; }
echo "the shipped folder runs alone"
