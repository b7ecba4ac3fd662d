#include "directx_version.h"

#include <stdio.h>
#include <string.h>

#include "dxdiag_container.h"
#include "holders.h"
#include "message_format.h"

namespace {

const DWORD kDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;  // 111

// a.b.c.d as a FileVersion.
constexpr FileVersion Version(WORD a, WORD b, WORD c, WORD d)
{
    return (static_cast<FileVersion>(a) << 48) | (static_cast<FileVersion>(b) << 32) |
           (static_cast<FileVersion>(c) << 16) | d;
}

enum RungCondition {
    kAtLeast,       // the whole version at least `minimum`
    kSplitAtLeast,  // first part 4: at least `minimum`; 5: at least `minimumFor5`; else no match
    kReadable,      // any version at all
};

struct LadderRung {
    const wchar_t* fileName;
    RungCondition condition;
    FileVersion minimum;
    FileVersion minimumFor5;
    DirectXVersion result;
};

const LadderRung kLadder[] = {
    {L"ddraw.dll", kAtLeast, Version(4, 2, 0, 95), 0, {1, 0, L' '}},
    {L"ddraw.dll", kAtLeast, Version(4, 3, 0, 1096), 0, {2, 0, L' '}},
    {L"ddraw.dll", kAtLeast, Version(4, 4, 0, 68), 0, {3, 0, L' '}},
    {L"d3drg8x.dll", kAtLeast, Version(4, 4, 0, 70), 0, {3, 0, L'a'}},
    {L"ddraw.dll", kAtLeast, Version(4, 5, 0, 155), 0, {5, 0, L' '}},
    {L"ddraw.dll", kAtLeast, Version(4, 6, 0, 318), 0, {6, 0, L' '}},
    {L"ddraw.dll", kAtLeast, Version(4, 6, 0, 436), 0, {6, 1, L' '}},
    {L"dplayx.dll", kAtLeast, Version(4, 6, 3, 518), 0, {6, 1, L'a'}},
    {L"ddraw.dll", kAtLeast, Version(4, 7, 0, 700), 0, {7, 0, L' '}},
    {L"dinput.dll", kAtLeast, Version(4, 7, 0, 716), 0, {7, 0, L'a'}},
    {L"ddraw.dll", kSplitAtLeast, Version(4, 8, 0, 400), Version(5, 1, 2258, 400), {8, 0, L' '}},
    {L"d3d8.dll", kSplitAtLeast, Version(4, 8, 1, 881), Version(5, 1, 2600, 881), {8, 1, L' '}},
    {L"d3d8.dll", kSplitAtLeast, Version(4, 8, 1, 901), Version(5, 1, 2600, 901), {8, 1, L'a'}},
    {L"mpg2splt.ax", kAtLeast, Version(6, 3, 1, 885), 0, {8, 1, L'b'}},
    {L"dpnet.dll", kSplitAtLeast, Version(4, 9, 0, 134), Version(5, 2, 3677, 134), {8, 2, L' '}},
    {L"d3d9.dll", kReadable, 0, 0, {9, 0, L' '}},
};

bool RungHolds(const LadderRung& rung, FileVersion version)
{
    switch (rung.condition) {
    case kAtLeast:
        return CompareFileVersions(version, rung.minimum) >= 0;
    case kSplitAtLeast:
        switch (version >> 48) {
        case 4:
            return CompareFileVersions(version, rung.minimum) >= 0;
        case 5:
            return CompareFileVersions(version, rung.minimumFor5) >= 0;
        default:
            return false;
        }
    case kReadable:
        return true;
    }
    return false;
}

wchar_t LowerCaseAscii(wchar_t letter)
{
    return (letter >= L'A' && letter <= L'Z') ? static_cast<wchar_t>(letter - L'A' + L'a') : letter;
}

// One property of the system information container as an unsigned number.
bool ReadNumberProperty(IDxDiagContainer* container, const wchar_t* name, DWORD* number)
{
    VariantHolder value;
    if (FAILED(container->GetProp(name, value.Get())) || V_VT(value.Get()) != VT_UI4)
        return false;
    *number = V_UI4(value.Get());
    return true;
}

bool ReadLetterProperty(IDxDiagContainer* container, const wchar_t* name, wchar_t* letter)
{
    VariantHolder value;
    if (FAILED(container->GetProp(name, value.Get())) || V_VT(value.Get()) != VT_BSTR ||
        SysStringLen(V_BSTR(value.Get())) == 0)
        return false;
    *letter = V_BSTR(value.Get())[0];
    return true;
}

// The version of a file in the system directory, for the ladder.
struct SystemDirectory {
    wchar_t path[MAX_PATH];
    int length;
};

bool ReadSystemFileVersion(const wchar_t* fileName, void* context, FileVersion* version)
{
    const SystemDirectory* directory = static_cast<const SystemDirectory*>(context);
    wchar_t path[512];
    int nameLength = static_cast<int>(wcslen(fileName));
    if (directory->length + 1 + nameLength >= static_cast<int>(ARRAYSIZE(path)))
        return false;
    memcpy(path, directory->path, directory->length * sizeof(wchar_t));
    path[directory->length] = L'\\';
    memcpy(path + directory->length + 1, fileName, (nameLength + 1) * sizeof(wchar_t));
    return SUCCEEDED(ReadFileVersion(path, version));
}

}  // namespace

int CompareFileVersions(FileVersion a, FileVersion b)
{
    DWORD aHigh = static_cast<DWORD>(a >> 32), bHigh = static_cast<DWORD>(b >> 32);
    if (aHigh != bHigh)
        return aHigh > bHigh ? 1 : -1;
    DWORD aLow = static_cast<DWORD>(a), bLow = static_cast<DWORD>(b);
    if (aLow != bLow)
        return aLow > bLow ? 1 : -1;
    return 0;
}

DirectXVersion ClimbFileVersionLadder(FileVersionLookup lookup, void* context)
{
    DirectXVersion found = {0, 0, L' '};
    for (const LadderRung& rung : kLadder) {
        FileVersion version;
        if (lookup(rung.fileName, context, &version) && RungHolds(rung, version))
            found = rung.result;
    }
    return found;
}

HRESULT ReadFileVersion(const wchar_t* path, FileVersion* version)
{
    if (!path || !version)
        return E_INVALIDARG;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0)
        return E_FAIL;
    void* block = HeapAlloc(GetProcessHeap(), 0, size);
    if (!block)
        return E_OUTOFMEMORY;
    HRESULT hr = E_FAIL;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoLength = 0;
    if (GetFileVersionInfoW(path, 0, size, block) &&
        VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&info), &infoLength) && info) {
        *version = (static_cast<FileVersion>(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
        hr = S_OK;
    }
    HeapFree(GetProcessHeap(), 0, block);
    return hr;
}

void ScanSystemFileVersions(DirectXVersion* version)
{
    SystemDirectory directory;
    UINT length = GetSystemDirectoryW(directory.path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        *version = DirectXVersion{0, 0, L' '};
        return;
    }
    directory.length = static_cast<int>(length);
    *version = ClimbFileVersionLadder(ReadSystemFileVersion, &directory);
}

bool QueryDiagnosticVersion(DirectXVersion* version)
{
    ComApartment apartment;  // outlives the chain: uninitialised after the releases
    DxDiagChain chain;
    const wchar_t* const path[] = {L"DxDiag_SystemInfo"};
    if (FAILED(OpenDxDiagContainer(kDxDiagHeaderVersion, path, 1, chain)))
        return false;
    bool haveMajor = ReadNumberProperty(chain.leaf, L"dwDirectXVersionMajor", &version->major);
    bool haveMinor = ReadNumberProperty(chain.leaf, L"dwDirectXVersionMinor", &version->minor);
    bool haveLetter = ReadLetterProperty(chain.leaf, L"szDirectXVersionLetter", &version->letter);
    return haveMajor && haveMinor && haveLetter;
}

DWORD PackDirectXVersion(const DirectXVersion& version)
{
    wchar_t letter = LowerCaseAscii(version.letter);
    DWORD letterNumber = (letter >= L'a' && letter <= L'z') ? static_cast<DWORD>(letter - L'a' + 1) : 0;
    return ((version.major * 256) + version.minor) * 256 + letterNumber;
}

void FormatDirectXVersion(const DirectXVersion& version, wchar_t* text, int capacity)
{
    if (!text || capacity <= 0)
        return;
    // Room for two signed 32-bit numbers, the dot, the letter and the terminator.
    wchar_t full[32];
    int length = _snwprintf(full, ARRAYSIZE(full) - 2, L"%d.%d", static_cast<int>(version.major),
                            static_cast<int>(version.minor));
    if (length < 0)
        length = 0;
    wchar_t letter = LowerCaseAscii(version.letter);
    if (letter != L' ')
        full[length++] = letter;
    full[length] = L'\0';
    lstrcpynW(text, full, capacity);
}

void DetectDirectXVersion(DWORD* packed, wchar_t* text, int capacity)
{
    if (packed)
        *packed = 0;
    if (text && capacity > 0)
        text[0] = L'\0';
    DirectXVersion version = {0, 0, L' '};
    if (!QueryDiagnosticVersion(&version))
        ScanSystemFileVersions(&version);
    version.letter = LowerCaseAscii(version.letter);
    if (packed)
        *packed = PackDirectXVersion(version);
    FormatDirectXVersion(version, text, capacity);
}

void DescribeDirectX(WideString& sentence)
{
    DWORD packed;
    wchar_t text[10];
    DetectDirectXVersion(&packed, text, ARRAYSIZE(text));
    if (packed)
        AppendInserts(sentence, L"DirectX %1!s! installed", text);
    else
        sentence.Append(L"DirectX not installed");
}
