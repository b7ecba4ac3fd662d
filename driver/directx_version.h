// Which DirectX release is installed, from the diagnostic provider or from a
// ladder of system file versions.
#pragma once

#include <windows.h>

#include "wide_string.h"

typedef ULONGLONG FileVersion;  // a.b in the high 32 bits, c.d in the low

struct DirectXVersion {
    DWORD major;
    DWORD minor;
    wchar_t letter;  // a space for a release without a letter
};

// Appends "DirectX %s installed" or "DirectX not installed".
void DescribeDirectX(WideString& sentence);
// Packed version ((major * 256 + minor) * 256 + letter number) and its text in
// a buffer of `capacity` characters; either output may be null.
void DetectDirectXVersion(DWORD* packed, wchar_t* text, int capacity);
bool QueryDiagnosticVersion(DirectXVersion* version);
void ScanSystemFileVersions(DirectXVersion* version);
HRESULT ReadFileVersion(const wchar_t* path, FileVersion* version);
int CompareFileVersions(FileVersion a, FileVersion b);

// Plain decisions behind DetectDirectXVersion, for given values.
// Reads the version of one file of the ladder (a bare name such as
// "ddraw.dll"); false when it has none.
typedef bool (*FileVersionLookup)(const wchar_t* fileName, void* context, FileVersion* version);
// The release named by the last matching rung of the file-version ladder; 0.0
// when none matches.
DirectXVersion ClimbFileVersionLadder(FileVersionLookup lookup, void* context);
DWORD PackDirectXVersion(const DirectXVersion& version);
void FormatDirectXVersion(const DirectXVersion& version, wchar_t* text, int capacity);
