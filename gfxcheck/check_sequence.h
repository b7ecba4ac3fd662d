// The graphics check: gathers the adapter's facts, judges them against the
// requirements and writes the verdict into the caller's arguments.
#pragma once

#include "direct3d.h"
#include "wide_string.h"

// The caller's arguments of one check.
struct CheckOutputs {
    WideString& message;
    WideString& memoryText;
    WideString& pixelShaderText;
    WideString& cardName;
    WideString& driverVersionText;
    WideString& alternates;
    int* status;
    int* vendorId;
    int* deviceId;
};

// The check with the build's Direct3D runtime; the video card database is
// read in `hostDirectory` (the host program's directory, separator included).
void CheckGfxWithDirect3D(const WideString& hostDirectory, CheckOutputs& out);
// CheckGfxWithDirect3D after the runtime is loaded: probes through `create`
// (null: the runtime lacks it) on `window` and judges what it finds.
void JudgeDirect3DAdapter(Direct3DCreateFunction create, HWND window, const WideString& hostDirectory,
                          CheckOutputs& out);

#if defined(VIDRAKE_D3D8)
// The Direct3D 8 build's check on what DirectDraw reports.
void CheckGfxWithDirectDraw(const WideString& hostDirectory, CheckOutputs& out);
// Turns a LookUpVideoCard result into the pixel shader level text and findings.
void ReportPixelShader(int lookupResult, WideString& message, WideString& pixelShaderText, int* status);
#else
// Direct3D 9: the level from the device's pixel shader version.
void ReportPixelShader(DWORD pixelShaderVersion, WideString& message, WideString& pixelShaderText, int* status);
#endif

void ReportVideoMemory(int megabytes, WideString& message, WideString& memoryText, int* status);
// Meets requirements when nothing was appended; bit 0x200 when status is set.
void ReportFinalVerdict(WideString& message, int* status);

extern const wchar_t kDirectXMissingText[];
extern const wchar_t kDeviceFailedText[];
extern const wchar_t kShaderLowText[];
extern const wchar_t kShaderUndeterminedText[];
extern const wchar_t kDriverRejectedText[];
extern const wchar_t kMemoryUndeterminedText[];
extern const wchar_t kMemoryLowText[];
extern const wchar_t kMeetsRequirementsText[];
