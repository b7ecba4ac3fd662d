// The Direct3D adapter probe: a Direct3D object and a tiny windowed device on
// the default adapter, and what is read from them.
#pragma once

#include "direct3d.h"
#include "wide_string.h"

struct AdapterFacts {
    char description[512];
    DWORD vendorId;
    DWORD deviceId;
    DWORD driverVersionHigh;   // product (upper 16 bits), version (lower 16 bits)
    DWORD driverVersionLow;    // sub-version (upper 16 bits), build (lower 16 bits)
    DWORD pixelShaderVersion;  // Direct3D 9 build only; major in bits 8-15, minor in bits 0-7
};

enum ProbeOutcome { NoDirect3DObject, NoDevice, Success };

struct ProbeResult {
    ProbeOutcome outcome;
    HRESULT deviceResult;  // NoDevice: the result of the last creation attempt
    AdapterFacts facts;    // Success: what was read; zero and empty when a read failed
};

// Creates the Direct3D object and the device through `create`, keeping them in
// the library-wide slot until ReleaseDirect3DAdapter.
ProbeResult ProbeDirect3DAdapter(Direct3DCreateFunction create, HWND window);
// Releases the device, then the Direct3D object; each only if held.
void ReleaseDirect3DAdapter();

// "%u.%u.%04u.%u" of the four 16-bit parts, most significant first.
WideString FormatDriverVersion(DWORD high, DWORD low);
