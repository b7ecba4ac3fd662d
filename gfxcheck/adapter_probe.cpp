#include "adapter_probe.h"

#include "holders.h"

namespace {

// The Direct3D object and the device of the current check, held from the
// probe until ReleaseDirect3DAdapter.
struct AdapterSlot {
    ComPtr<Direct3DObject> direct3D;
    ComPtr<Direct3DDevice> device;
};

AdapterSlot g_adapter;

D3DPRESENT_PARAMETERS ProbePresentParameters(HWND window)
{
    D3DPRESENT_PARAMETERS params = {};
    params.BackBufferWidth = 1;
    params.BackBufferHeight = 1;
    params.BackBufferFormat = D3DFMT_A8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_COPY;
    params.hDeviceWindow = window;
    params.Windowed = TRUE;
    params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
#if defined(VIDRAKE_D3D9)
    params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
#endif
    return params;
}

HRESULT CreateProbeDevice(Direct3DObject* direct3D, HWND window, DWORD behaviour, Direct3DDevice** device)
{
    // Fresh parameters for every attempt: a failed creation may have changed them.
    D3DPRESENT_PARAMETERS params = ProbePresentParameters(window);
    return direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, behaviour, &params, device);
}

void ReadAdapterIdentifier(Direct3DObject* direct3D, AdapterFacts& facts)
{
    AdapterIdentifier identifier = {};
    if (FAILED(direct3D->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier)))
        return;
    lstrcpynA(facts.description, identifier.Description, sizeof(facts.description));
    facts.vendorId = identifier.VendorId;
    facts.deviceId = identifier.DeviceId;
    facts.driverVersionHigh = static_cast<DWORD>(identifier.DriverVersion.HighPart);
    facts.driverVersionLow = identifier.DriverVersion.LowPart;
}

}  // namespace

ProbeResult ProbeDirect3DAdapter(Direct3DCreateFunction create, HWND window)
{
    ProbeResult result = {};
    ReleaseDirect3DAdapter();
    // Stored as created: MinGW's ComPtr::Attach would add a second reference.
    *g_adapter.direct3D.ReleaseAndGetAddressOf() = create(kDirect3DSdkVersion);
    if (!g_adapter.direct3D) {
        result.outcome = NoDirect3DObject;
        return result;
    }
    Direct3DObject* direct3D = g_adapter.direct3D.Get();
    HRESULT hr = CreateProbeDevice(direct3D, window, D3DCREATE_MIXED_VERTEXPROCESSING, g_adapter.device.GetAddressOf());
    if (FAILED(hr))
        hr = CreateProbeDevice(direct3D, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, g_adapter.device.GetAddressOf());
    if (FAILED(hr) || !g_adapter.device) {
        g_adapter.device.Reset();
        result.outcome = NoDevice;
        result.deviceResult = FAILED(hr) ? hr : E_POINTER;
        return result;
    }
#if defined(VIDRAKE_D3D9)
    D3DCAPS9 caps = {};
    if (SUCCEEDED(g_adapter.device->GetDeviceCaps(&caps)))
        result.facts.pixelShaderVersion = caps.PixelShaderVersion;
#endif
    ReadAdapterIdentifier(direct3D, result.facts);
    result.outcome = Success;
    return result;
}

void ReleaseDirect3DAdapter()
{
    g_adapter.device.Reset();
    g_adapter.direct3D.Reset();
}

WideString FormatDriverVersion(DWORD high, DWORD low)
{
    wchar_t text[64];
    wsprintfW(text, L"%u.%u.%04u.%u", HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low));
    return WideString(text);
}
