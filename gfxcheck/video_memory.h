// Video memory of the display devices, measured through DirectDraw and the
// DirectX diagnostic provider, in whole megabytes.
#pragma once

#include "direct3d.h"

struct DisplayDeviceEntry {
    GUID deviceGuid;  // zero for entry 0, the primary display driver
#if defined(VIDRAKE_D3D8)
    char description[512];
#endif
    int memoryMegabytes;
#if defined(VIDRAKE_D3D8)
    DWORD vendorId;
    DWORD deviceId;
    ULONGLONG driverVersion;
#endif
};

const int kMaxDisplayDevices = 10;

struct DisplayDeviceList {
    int count;
    DisplayDeviceEntry entries[kMaxDisplayDevices];
};

extern DisplayDeviceList g_displayDevices;

// Empties and refills g_displayDevices. The Direct3D 8 build sets
// GFX_DIRECTX_MISSING in `status` when DirectDraw is unavailable; the
// Direct3D 9 build never touches it.
void MeasureDirectDrawMemory(int* status);
// Records one enumerated device in `list` (entry 0, the primary display
// driver, keeps a zero GUID); false once the list is full, to stop enumerating.
bool AddEnumeratedDevice(DisplayDeviceList& list, const GUID* guid);
// Largest memoryMegabytes of the listed devices, starting from -1.
int LargestListedMemory();
// Memory of the diagnostic provider's first display device, or -1.
void QueryDxDiagMemory(int* megabytes);
// Megabytes of the diagnostic text ("256.0 MB" gives 256); -1 without a ".".
int ParseDxDiagMemoryText(const wchar_t* text);
// Whole megabytes of a total in bytes; 0xFFFFFFFF (no total) gives 0.
int RoundVideoMemory(DWORD totalBytes);
// Smallest of `count` totals that is neither 0 nor 0xFFFFFFFF, else 0xFFFFFFFF.
DWORD SmallestReportedTotal(const DWORD* totals, int count);
// The Direct3D path's rule: MeasureDirectDrawMemory(status), its largest
// entry, else the diagnostic provider when no device was listed.
int MeasureVideoMemory(int* status);
