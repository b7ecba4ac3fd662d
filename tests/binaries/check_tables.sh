#!/usr/bin/env bash
# Reads the PE headers, export and import tables of the deliverables and fails
# on any deviation: 32-bit i386 images that start on Windows 2000, import only
# DLLs that every Windows has (no compiler runtime, no Direct3D, DirectDraw or
# diagnostic provider: those are loaded at run time), and libraries that export
# exactly CheckGfx and CheckGfxCapabilities, undecorated.
#   check_tables.sh <dist directory>
set -u
dist=$1
objdump=i686-w64-mingw32-objdump
# Not msi.dll either: the installer action finds the engine at run time, so
# that the driver's runs never load it.
allowed='^(KERNEL32|msvcrt|USER32|ADVAPI32|SHELL32|ole32|OLEAUT32|SHLWAPI|VERSION)\.dll$'
# Functions that Windows 2000's system DLLs lack.
too_new='^(GetTickCount64|InitializeCriticalSectionEx|InitOnceExecuteOnce|InitializeSRWLock|AcquireSRWLock.*|ReleaseSRWLock.*|SleepConditionVariable.*|WakeConditionVariable|WakeAllConditionVariable|GetModuleHandleExW|GetModuleHandleExA|AddVectoredExceptionHandler|RemoveVectoredExceptionHandler|SetThreadStackGuarantee|GetNativeSystemInfo|IsWow64Process|FlsAlloc|FlsGetValue|FlsSetValue|FlsFree|CreateSymbolicLinkW|GetProcessId|GetThreadId|K32.*|GetLogicalProcessorInformation|CancelIoEx|QueryFullProcessImageNameW|GetSystemTimePreciseAsFileTime|_wfopen_s|.*_s)$'
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for file in QuilletVidrake.exe VidrakeDx9.dll VidrakeDx8.dll; do
  path="$dist/$file"
  [ -f "$path" ] || { fail "$file missing from $dist"; continue; }
  headers=$($objdump -p "$path")
  grep -q 'file format pei-i386' <<<"$headers" || fail "$file is not a 32-bit i386 PE"
  major=$(awk '/^MajorSubsystemVersion/ {print $2}' <<<"$headers")
  minor=$(awk '/^MinorSubsystemVersion/ {print $2}' <<<"$headers")
  [ "$major" -lt 5 ] || { [ "$major" -eq 5 ] && [ "$minor" -eq 0 ]; } ||
    fail "$file needs subsystem $major.$minor, newer than Windows 2000 (5.0)"
  osmajor=$(awk '/^MajorOSystemVersion/ {print $2}' <<<"$headers")
  [ "${osmajor:-4}" -le 5 ] || fail "$file needs OS version $osmajor"

  dlls=$(awk '/DLL Name:/ {print $3}' <<<"$headers")
  [ -n "$dlls" ] || fail "$file imports nothing (table not read?)"
  for dll in $dlls; do
    grep -Eq "$allowed" <<<"$dll" || fail "$file imports $dll"
  done
  # Imported function names: the lines of the import tables after each DLL.
  functions=$(awk '/DLL Name:/ {inside=1; next} inside && /^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[^[:space:]]+/ {print $3} /^$/ {inside=0}' <<<"$headers")
  for fn in $functions; do
    grep -Eq "$too_new" <<<"$fn" && fail "$file imports $fn, which Windows 2000 lacks"
  done

  if [[ $file == *.dll ]]; then
    exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {inside=1; next} inside && /\[/ {print $NF} inside && /^$/ {inside=0}' <<<"$headers" | sort | tr '\n' ' ')
    [ "$exports" = "CheckGfx CheckGfxCapabilities " ] || fail "$file exports '$exports', expected exactly CheckGfx and CheckGfxCapabilities"
  fi
done
[ $failures -eq 0 ] && echo "binary tables ok"
exit $((failures > 0))
