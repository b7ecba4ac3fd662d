// The graphics check library's export as the driver calls it, and the bits
// of the result mask.
#pragma once

#include "wide_string.h"

enum StatusBits {
    GFX_DIRECTX_MISSING = 0x001,
    GFX_DEVICE_FAILED = 0x002,
    GFX_MEMORY_UNDETERMINED = 0x004,
    GFX_SHADER_UNDETERMINED = 0x008,
    GFX_MEMORY_LOW = 0x010,
    GFX_SHADER_LOW = 0x020,
    SYS_RAM_LOW = 0x040,
    SYS_DISK_LOW = 0x080,
    SYS_OS_TOO_OLD = 0x100,
    GFX_MEETS_WITH_FLAGS = 0x200,
    GFX_DRIVER_REJECTED = 0x400,
};

// CheckGfx: the six strings are the caller's objects; the library appends to
// or replaces their text through their own allocators. `status` only gains
// bits; `vendorId` and `deviceId` are written once the adapter is identified.
typedef void (__cdecl* CheckGfxFunction)(WideString& message, WideString& memoryText,
                                         WideString& pixelShaderText, WideString& cardName,
                                         WideString& driverVersionText, WideString& alternates,
                                         int* status, int* vendorId, int* deviceId, int reserved);

// The check's outputs as a caller holds them. The driver's run record keeps
// its own order of the same fields; the installer action and test programs
// use this one.
struct CheckGfxResults {
    WideString message;
    WideString memoryText;
    WideString pixelShaderText;
    WideString cardName;
    WideString driverVersionText;
    WideString alternates;
    int status = 0;  // the caller's preset: only bits are OR-ed in
    int vendorId = 0;
    int deviceId = 0;
};

inline void CallCheckGfx(CheckGfxFunction checkGfx, CheckGfxResults& results)
{
    checkGfx(results.message, results.memoryText, results.pixelShaderText, results.cardName,
             results.driverVersionText, results.alternates, &results.status, &results.vendorId, &results.deviceId, 0);
}
