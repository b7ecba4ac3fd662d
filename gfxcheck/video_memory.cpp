#include "video_memory.h"

#include <ddraw.h>
#include <dxdiag.h>
#include <shlwapi.h>

#include "check_gfx.h"
#include "d3d_runtime.h"
#include "dxdiag_container.h"
#include "holders.h"

DisplayDeviceList g_displayDevices = {};

namespace {

const DWORD kMegabyte = 1024 * 1024;
const DWORD kNoTotal = 0xFFFFFFFF;

#if defined(VIDRAKE_D3D9)
const DWORD kDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
#else
const DWORD kDxDiagHeaderVersion = 0;
#endif

// The surface kinds whose video memory is asked of every device, in order.
const DWORD kMemoryCapabilities[] = {
    DDSCAPS_VIDEOMEMORY | DDSCAPS_PRIMARYSURFACE,
    DDSCAPS_LOCALVIDMEM | DDSCAPS_VIDEOMEMORY | DDSCAPS_3DDEVICE | DDSCAPS_TEXTURE,
    DDSCAPS_LOCALVIDMEM | DDSCAPS_VIDEOMEMORY | DDSCAPS_TEXTURE,
    DDSCAPS_LOCALVIDMEM | DDSCAPS_VIDEOMEMORY | DDSCAPS_OFFSCREENPLAIN,
};
const int kMemoryCapabilityCount = sizeof(kMemoryCapabilities) / sizeof(kMemoryCapabilities[0]);

typedef HRESULT(WINAPI* DirectDrawCreateExFunction)(GUID* guid, void** directDraw, REFIID iid, IUnknown* outer);

BOOL WINAPI EnumerateDisplayDevice(GUID* guid, LPSTR, LPSTR, LPVOID, HMONITOR)
{
    return AddEnumeratedDevice(g_displayDevices, guid) ? TRUE : FALSE;
}

DWORD SmallestAvailableTotal(IDirectDraw7* directDraw)
{
    DWORD totals[kMemoryCapabilityCount];
    for (int i = 0; i < kMemoryCapabilityCount; ++i) {
        DDSCAPS2 caps = {};
        caps.dwCaps = kMemoryCapabilities[i];
        DWORD total = 0;
        DWORD free = 0;
        totals[i] = SUCCEEDED(directDraw->GetAvailableVidMem(&caps, &total, &free)) ? total : 0;
    }
    return SmallestReportedTotal(totals, kMemoryCapabilityCount);
}

#if defined(VIDRAKE_D3D8)
void ReadDeviceIdentifier(IDirectDraw7* directDraw, DisplayDeviceEntry& entry)
{
    DDDEVICEIDENTIFIER2 identifier = {};
    if (FAILED(directDraw->GetDeviceIdentifier(&identifier, 0)))
        return;
    lstrcpynA(entry.description, identifier.szDescription, sizeof(entry.description) - 1);
    entry.vendorId = identifier.dwVendorId;
    entry.deviceId = identifier.dwDeviceId;
    entry.driverVersion = static_cast<ULONGLONG>(identifier.liDriverVersion.QuadPart);
}
#endif

void MeasureDisplayDevice(DirectDrawCreateExFunction createDirectDraw, int index)
{
    DisplayDeviceEntry& entry = g_displayDevices.entries[index];
    ComPtr<IDirectDraw7> directDraw;
    GUID* guid = index == 0 ? nullptr : &entry.deviceGuid;
    if (FAILED(createDirectDraw(guid, reinterpret_cast<void**>(directDraw.GetAddressOf()), IID_IDirectDraw7, nullptr)))
        return;
    // Only needed so the object answers; the memory queries work either way.
    directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
    DWORD total = SmallestAvailableTotal(directDraw.Get());
#if defined(VIDRAKE_D3D8)
    ReadDeviceIdentifier(directDraw.Get(), entry);
#endif
    entry.memoryMegabytes = RoundVideoMemory(total);
}

}  // namespace

bool AddEnumeratedDevice(DisplayDeviceList& list, const GUID* guid)
{
    if (list.count >= kMaxDisplayDevices)
        return false;
    if (list.count != 0 && guid)
        list.entries[list.count].deviceGuid = *guid;
    ++list.count;
    return list.count != kMaxDisplayDevices;
}

void MeasureDirectDrawMemory(int* status)
{
    // Every probe starts from an empty list, so a second one in this process
    // neither runs past the entries nor reads a stale one.
    ZeroMemory(&g_displayDevices, sizeof(g_displayDevices));
    ModuleHolder ddraw(LoadSystemLibrary(L"\\ddraw.dll"));
    DirectDrawCreateExFunction createDirectDraw = nullptr;
    LPDIRECTDRAWENUMERATEEXA enumerate = nullptr;
    if (ddraw.Get()) {
        createDirectDraw = reinterpret_cast<DirectDrawCreateExFunction>(
            reinterpret_cast<void*>(GetProcAddress(ddraw.Get(), "DirectDrawCreateEx")));
        enumerate = reinterpret_cast<LPDIRECTDRAWENUMERATEEXA>(
            reinterpret_cast<void*>(GetProcAddress(ddraw.Get(), "DirectDrawEnumerateExA")));
    }
    if (!createDirectDraw || !enumerate) {
#if defined(VIDRAKE_D3D8)
        *status |= GFX_DIRECTX_MISSING;
#endif
        return;
    }
    // Devices listed before a failing enumeration are measured all the same.
    enumerate(EnumerateDisplayDevice, nullptr, DDENUM_ATTACHEDSECONDARYDEVICES);
    for (int i = 0; i < g_displayDevices.count; ++i)
        MeasureDisplayDevice(createDirectDraw, i);
}

int LargestListedMemory()
{
    int largest = -1;
    for (int i = 0; i < g_displayDevices.count && i < kMaxDisplayDevices; ++i) {
        if (g_displayDevices.entries[i].memoryMegabytes > largest)
            largest = g_displayDevices.entries[i].memoryMegabytes;
    }
    return largest;
}

void QueryDxDiagMemory(int* megabytes)
{
    *megabytes = -1;
    ComApartment apartment;
    static const wchar_t* const kFirstDisplayDevice[] = {L"DxDiag_DisplayDevices", L"0"};
    DxDiagChain chain;
    if (FAILED(OpenDxDiagContainer(kDxDiagHeaderVersion, kFirstDisplayDevice, 2, chain)))
        return;
    VariantHolder value;
    if (FAILED(chain.leaf->GetProp(L"szDisplayMemoryEnglish", value.Get())) || V_VT(value.Get()) != VT_BSTR)
        return;
    *megabytes = ParseDxDiagMemoryText(V_BSTR(value.Get()));
}

int ParseDxDiagMemoryText(const wchar_t* text)
{
    if (!text || !wcschr(text, L'.'))
        return -1;
    // StrToIntW stops at the first character that is not a digit, so it reads
    // exactly the whole megabytes before the ".".
    return StrToIntW(text);
}

int RoundVideoMemory(DWORD totalBytes)
{
    if (totalBytes == kNoTotal)
        return 0;
    // 64-bit, so totals above 4032 MB round up to 4096 MB instead of wrapping to 0.
    ULONGLONG bytes = totalBytes;
    ULONGLONG step = bytes <= 16ull * kMegabyte ? 8ull * kMegabyte
                   : bytes <= 64ull * kMegabyte ? 32ull * kMegabyte
                   : 64ull * kMegabyte;
    ULONGLONG rounded = (bytes + step - 1) / step * step;
    return static_cast<int>(rounded / kMegabyte);
}

DWORD SmallestReportedTotal(const DWORD* totals, int count)
{
    DWORD smallest = kNoTotal;
    for (int i = 0; i < count; ++i) {
        if (totals[i] != 0 && totals[i] != kNoTotal && totals[i] < smallest)
            smallest = totals[i];
    }
    return smallest;
}

int MeasureVideoMemory(int* status)
{
    MeasureDirectDrawMemory(status);
    int megabytes = LargestListedMemory();
    if (megabytes < 0)
        QueryDxDiagMemory(&megabytes);
    return megabytes;
}
