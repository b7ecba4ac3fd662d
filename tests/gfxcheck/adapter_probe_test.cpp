#include <gtest/gtest.h>

#include <string.h>

#include "adapter_probe.h"
#include "d3d_result_names.h"
#include "d3d_runtime.h"

namespace {

TEST(FormatDriverVersion, PadsOnlyTheSubVersion)
{
    EXPECT_STREQ(L"6.14.0010.6764", FormatDriverVersion(0x0006000E, 0x000A1A6C).Text());
    EXPECT_STREQ(L"6.0.0000.1", FormatDriverVersion(0x00060000, 0x00000001).Text());
    EXPECT_STREQ(L"65535.65535.65535.65535", FormatDriverVersion(0xFFFFFFFF, 0xFFFFFFFF).Text());
}

TEST(D3DResultName, MatchesWholeCodesOfThisBuild)
{
    EXPECT_STREQ("D3D_OK", D3DResultName(0));
    EXPECT_STREQ("E_INVALIDARG", D3DResultName(E_INVALIDARG));
    EXPECT_STREQ("D3DERR_OUTOFVIDEOMEMORY", D3DResultName(static_cast<HRESULT>(0x8876017C)));
    EXPECT_STREQ("D3DERR_CONFLICTINGRENDERSTATE", D3DResultName(static_cast<HRESULT>(0x88760821)));
    EXPECT_STREQ("D3DERR_NOTAVAILABLE", D3DResultName(static_cast<HRESULT>(0x8876086A)));
    EXPECT_STREQ("D3DERR_DRIVERINVALIDCALL", D3DResultName(static_cast<HRESULT>(0x8876086D)));
    // Gaps between table codes, other facilities and other positive codes.
    for (DWORD code : {0x88760820u, 0x88760823u, 0x88760865u, 0x8876086Eu, 0x80000057u, 0x00000001u, 0x0876086Eu})
        EXPECT_STREQ("Unknown error", D3DResultName(static_cast<HRESULT>(code))) << std::hex << code;
#if defined(VIDRAKE_D3D9)
    EXPECT_STREQ("D3DOK_NOAUTOGEN", D3DResultName(0x0876086F));
    EXPECT_STREQ("D3DERR_WASSTILLDRAWING", D3DResultName(static_cast<HRESULT>(0x8876021C)));
#else
    EXPECT_STREQ("Unknown error", D3DResultName(0x0876086F));
    EXPECT_STREQ("Unknown error", D3DResultName(static_cast<HRESULT>(0x8876021C)));
#endif
}

// A Direct3D object whose device creation fails as told per vertex
// processing mode; creation it accepts goes to the real runtime's object, so
// the device is a real one. It counts its own references.
class FakeDirect3D : public Direct3DObject {
public:
    LONG refs = 1;
    HRESULT mixedResult = S_OK;
    HRESULT softwareResult = S_OK;
    HRESULT identifierResult = S_OK;
    Direct3DObject* real = nullptr;
    Direct3DDevice* created = nullptr;  // with a reference of the test's own
    DWORD behaviours[4] = {};
    int attempts = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { *out = nullptr; return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behaviour,
                                           D3DPRESENT_PARAMETERS* params, Direct3DDevice** device) override
    {
        if (attempts < 4)
            behaviours[attempts] = behaviour;
        ++attempts;
        HRESULT result = behaviour == D3DCREATE_MIXED_VERTEXPROCESSING ? mixedResult : softwareResult;
        if (FAILED(result) || adapter != 0 || type != D3DDEVTYPE_HAL)
            return FAILED(result) ? result : E_INVALIDARG;
        result = real->CreateDevice(adapter, type, focus, behaviour, params, device);
        if (SUCCEEDED(result)) {
            created = *device;
            created->AddRef();
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE GetAdapterIdentifier(UINT, DWORD, AdapterIdentifier* identifier) override
    {
        if (FAILED(identifierResult)) {
            memset(identifier, 0x5A, sizeof(*identifier));  // what a half-done read may leave
            return identifierResult;
        }
        *identifier = AdapterIdentifier();
        strcpy(identifier->Description, "Fake Adapter");
        identifier->VendorId = 0x1234;
        identifier->DeviceId = 0x5678;
        identifier->DriverVersion.HighPart = 0x0006000E;
        identifier->DriverVersion.LowPart = 0x000A1A6C;
        return D3D_OK;
    }
    // Not used by the probe.
    HRESULT STDMETHODCALLTYPE RegisterSoftwareDevice(void*) override { return E_NOTIMPL; }
    UINT STDMETHODCALLTYPE GetAdapterCount() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckDeviceType(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE, D3DFORMAT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckDepthStencilMatch(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, D3DFORMAT) override { return E_NOTIMPL; }
    HMONITOR STDMETHODCALLTYPE GetAdapterMonitor(UINT) override { return nullptr; }
#if defined(VIDRAKE_D3D9)
    UINT STDMETHODCALLTYPE GetAdapterModeCount(UINT, D3DFORMAT) override { return 0; }
    HRESULT STDMETHODCALLTYPE EnumAdapterModes(UINT, D3DFORMAT, UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckDeviceFormatConversion(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(UINT, D3DDEVTYPE, D3DCAPS9*) override { return E_NOTIMPL; }
#else
    UINT STDMETHODCALLTYPE GetAdapterModeCount(UINT) override { return 0; }
    HRESULT STDMETHODCALLTYPE EnumAdapterModes(UINT, UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(UINT, D3DDEVTYPE, D3DCAPS8*) override { return E_NOTIMPL; }
#endif
};

FakeDirect3D* g_fake = nullptr;
UINT g_sdkVersionSeen = 0;

Direct3DObject* WINAPI CreateFake(UINT sdkVersion)
{
    g_sdkVersionSeen = sdkVersion;
    return g_fake;
}

Direct3DObject* WINAPI CreateNothing(UINT) { return nullptr; }

// The real runtime, a probe window and a fake in front of the runtime's object.
class AdapterProbeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetD3DRuntime();
        window = CreateProbeWindow();
        ASSERT_NE(nullptr, window);
        ASSERT_TRUE(LoadD3DRuntime());
        ASSERT_NE(nullptr, g_d3dRuntime.create);
        fake.real = g_d3dRuntime.create(kDirect3DSdkVersion);
        ASSERT_NE(nullptr, fake.real);
        g_fake = &fake;
    }
    void TearDown() override
    {
        ReleaseDirect3DAdapter();
        if (fake.created)
            fake.created->Release();
        if (fake.real)
            fake.real->Release();
        FreeD3DRuntime();
        DestroyProbeWindow(window);
        g_fake = nullptr;
    }

    HWND window = nullptr;
    FakeDirect3D fake;
};

TEST_F(AdapterProbeTest, FallsBackToSoftwareVertexProcessing)
{
    fake.mixedResult = D3DERR_NOTAVAILABLE;
    ProbeResult result = ProbeDirect3DAdapter(CreateFake, window);
    ASSERT_EQ(Success, result.outcome);
    EXPECT_EQ(kDirect3DSdkVersion, g_sdkVersionSeen);
    ASSERT_EQ(2, fake.attempts);
    EXPECT_EQ(0x80u, fake.behaviours[0]);
    EXPECT_EQ(0x20u, fake.behaviours[1]);
    EXPECT_STREQ("Fake Adapter", result.facts.description);
    EXPECT_EQ(0x1234u, result.facts.vendorId);
    EXPECT_EQ(0x5678u, result.facts.deviceId);
    EXPECT_EQ(0x0006000Eu, result.facts.driverVersionHigh);
    EXPECT_EQ(0x000A1A6Cu, result.facts.driverVersionLow);
#if defined(VIDRAKE_D3D9)
    EXPECT_GE((result.facts.pixelShaderVersion >> 8) & 0xFF, 1u);  // read from the real device
#endif
    // The device and the object are held until released, then let go.
    ASSERT_NE(nullptr, fake.created);
    EXPECT_EQ(1, fake.refs);
    ReleaseDirect3DAdapter();
    EXPECT_EQ(0, fake.refs);
    EXPECT_EQ(0u, fake.created->Release());
    fake.created = nullptr;
}

TEST_F(AdapterProbeTest, ReportsTheSecondFailureAndKeepsTheObjectUntilReleased)
{
    fake.mixedResult = D3DERR_NOTAVAILABLE;
    fake.softwareResult = D3DERR_INVALIDCALL;
    ProbeResult result = ProbeDirect3DAdapter(CreateFake, window);
    EXPECT_EQ(NoDevice, result.outcome);
    EXPECT_EQ(D3DERR_INVALIDCALL, result.deviceResult);
    EXPECT_EQ(2, fake.attempts);
    EXPECT_EQ(1, fake.refs);
    ReleaseDirect3DAdapter();
    EXPECT_EQ(0, fake.refs);
}

TEST_F(AdapterProbeTest, FailedIdentifierReadGivesZeroAndEmpty)
{
    fake.identifierResult = E_FAIL;
    ProbeResult result = ProbeDirect3DAdapter(CreateFake, window);
    ASSERT_EQ(Success, result.outcome);
    EXPECT_STREQ("", result.facts.description);
    EXPECT_EQ(0u, result.facts.vendorId);
    EXPECT_EQ(0u, result.facts.deviceId);
    EXPECT_EQ(0u, result.facts.driverVersionHigh);
    EXPECT_EQ(0u, result.facts.driverVersionLow);
}

TEST_F(AdapterProbeTest, NoObjectFromTheEntryPoint)
{
    EXPECT_EQ(NoDirect3DObject, ProbeDirect3DAdapter(CreateNothing, window).outcome);
    ReleaseDirect3DAdapter();  // nothing held: nothing to release
}

TEST_F(AdapterProbeTest, ReadsTheEmulatedAdapter)
{
    ProbeResult result = ProbeDirect3DAdapter(g_d3dRuntime.create, window);
    ASSERT_EQ(Success, result.outcome);
    AdapterIdentifier identifier = {};
    ASSERT_EQ(D3D_OK, fake.real->GetAdapterIdentifier(0, 0, &identifier));
    EXPECT_STRNE("", result.facts.description);
    EXPECT_STREQ(identifier.Description, result.facts.description);
    EXPECT_EQ(4318u, result.facts.vendorId);
    EXPECT_EQ(identifier.DeviceId, result.facts.deviceId);
    EXPECT_EQ(static_cast<DWORD>(identifier.DriverVersion.HighPart), result.facts.driverVersionHigh);
    EXPECT_EQ(identifier.DriverVersion.LowPart, result.facts.driverVersionLow);
#if defined(VIDRAKE_D3D9)
    D3DCAPS9 caps = {};
    ASSERT_EQ(D3D_OK, fake.real->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps));
    EXPECT_EQ(caps.PixelShaderVersion, result.facts.pixelShaderVersion);
    EXPECT_GE((result.facts.pixelShaderVersion >> 8) & 0xFF, 2u);
#endif
}

}  // namespace
