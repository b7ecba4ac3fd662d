#include <gtest/gtest.h>

#include <ddraw.h>

#include "check_gfx.h"
#include "holders.h"
#include "video_memory.h"

namespace {

const DWORD kMB = 1024 * 1024;

TEST(RoundVideoMemory, RoundsUpByBandInWholeMegabytes)
{
    EXPECT_EQ(8, RoundVideoMemory(1));
    EXPECT_EQ(8, RoundVideoMemory(8 * kMB));
    EXPECT_EQ(16, RoundVideoMemory(12 * kMB));
    EXPECT_EQ(16, RoundVideoMemory(16 * kMB));
    EXPECT_EQ(32, RoundVideoMemory(16 * kMB + 1));
    EXPECT_EQ(64, RoundVideoMemory(48 * kMB));
    EXPECT_EQ(64, RoundVideoMemory(64 * kMB));
    EXPECT_EQ(128, RoundVideoMemory(96 * kMB));
    EXPECT_EQ(256, RoundVideoMemory(200 * kMB));
    EXPECT_EQ(320, RoundVideoMemory(257 * kMB));
}

TEST(RoundVideoMemory, TotalsNearFourGigabytesDoNotWrap)
{
    EXPECT_EQ(4096, RoundVideoMemory(4289724415u));  // DirectDraw's total under Xvfb
    EXPECT_EQ(4096, RoundVideoMemory(0xFFFFFFFEu));
    EXPECT_EQ(0, RoundVideoMemory(0xFFFFFFFFu));     // no total at all
}

TEST(SmallestReportedTotal, IgnoresZeroAndNoTotal)
{
    const DWORD mixed[] = {130 * kMB, 128 * kMB, 0, 0xFFFFFFFF};
    EXPECT_EQ(128 * kMB, SmallestReportedTotal(mixed, 4));
    const DWORD nothing[] = {0, 0xFFFFFFFF, 0, 0};
    EXPECT_EQ(0xFFFFFFFFu, SmallestReportedTotal(nothing, 4));
}

TEST(ParseDxDiagMemoryText, ReadsWholeMegabytesBeforeThePoint)
{
    EXPECT_EQ(256, ParseDxDiagMemoryText(L"256.0 MB"));
    EXPECT_EQ(4289, ParseDxDiagMemoryText(L"4289.7 MB"));
    EXPECT_EQ(0, ParseDxDiagMemoryText(L".5 MB"));
    EXPECT_EQ(-1, ParseDxDiagMemoryText(L"128 MB"));
}

TEST(AddEnumeratedDevice, KeepsPrimaryGuidZeroAndStopsAtTen)
{
    DisplayDeviceList list = {};
    GUID guid = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
    EXPECT_TRUE(AddEnumeratedDevice(list, nullptr));
    for (int i = 1; i < kMaxDisplayDevices - 1; ++i)
        EXPECT_TRUE(AddEnumeratedDevice(list, &guid));
    EXPECT_FALSE(AddEnumeratedDevice(list, &guid));  // the tenth ends the enumeration
    EXPECT_FALSE(AddEnumeratedDevice(list, &guid));  // and an eleventh is not taken
    EXPECT_EQ(kMaxDisplayDevices, list.count);
    EXPECT_EQ(GUID_NULL, list.entries[0].deviceGuid);
    EXPECT_EQ(guid, list.entries[kMaxDisplayDevices - 1].deviceGuid);
}

// What DirectDraw itself reports, asked here directly: the devices it
// enumerates and the primary device's smallest total in the probe's rounding.
struct PlatformDisplay {
    int devices;
    int primaryMegabytes;
};

BOOL WINAPI CountDevice(GUID*, LPSTR, LPSTR, LPVOID context, HMONITOR)
{
    ++*static_cast<int*>(context);
    return TRUE;
}

PlatformDisplay AskDirectDraw()
{
    PlatformDisplay display = {0, -100};
    wchar_t path[MAX_PATH];
    GetSystemDirectoryW(path, MAX_PATH);
    lstrcatW(path, L"\\ddraw.dll");
    ModuleHolder ddraw(LoadLibraryW(path));
    typedef HRESULT(WINAPI * Create)(GUID*, void**, REFIID, IUnknown*);
    typedef HRESULT(WINAPI * Enumerate)(LPDDENUMCALLBACKEXA, void*, DWORD);
    Create create = reinterpret_cast<Create>(reinterpret_cast<void*>(GetProcAddress(ddraw.Get(), "DirectDrawCreateEx")));
    Enumerate enumerate =
        reinterpret_cast<Enumerate>(reinterpret_cast<void*>(GetProcAddress(ddraw.Get(), "DirectDrawEnumerateExA")));
    ComPtr<IDirectDraw7> directDraw;
    if (!create || !enumerate ||
        FAILED(create(nullptr, reinterpret_cast<void**>(directDraw.GetAddressOf()), IID_IDirectDraw7, nullptr)))
        return display;
    enumerate(CountDevice, &display.devices, DDENUM_ATTACHEDSECONDARYDEVICES);
    const DWORD sets[] = {0x00004200, 0x10007000, 0x10005000, 0x10004040};
    DWORD totals[4];
    for (int i = 0; i < 4; ++i) {
        DDSCAPS2 caps = {};
        caps.dwCaps = sets[i];
        DWORD free;
        if (FAILED(directDraw->GetAvailableVidMem(&caps, &totals[i], &free)))
            totals[i] = 0;
    }
    display.primaryMegabytes = RoundVideoMemory(SmallestReportedTotal(totals, 4));
    return display;
}

TEST(MeasureDirectDrawMemory, ListsThePlatformDevicesAgainOnEveryProbe)
{
    PlatformDisplay platform = AskDirectDraw();
    ASSERT_GT(platform.devices, 0);
    ASSERT_LE(platform.devices, kMaxDisplayDevices);
    ASSERT_GT(platform.primaryMegabytes, 0);
    // Leftovers of an earlier probe must not survive into the next.
    g_displayDevices.count = kMaxDisplayDevices;
    FillMemory(g_displayDevices.entries, sizeof(g_displayDevices.entries), 0x5A);
    for (int probe = 0; probe < 2; ++probe) {
        int status = 0;
        MeasureDirectDrawMemory(&status);
        EXPECT_EQ(0, status);
        ASSERT_EQ(platform.devices, g_displayDevices.count);
        const DisplayDeviceEntry& primary = g_displayDevices.entries[0];
        EXPECT_EQ(GUID_NULL, primary.deviceGuid);
        EXPECT_EQ(platform.primaryMegabytes, primary.memoryMegabytes);
        for (int i = 1; i < platform.devices; ++i)
            EXPECT_NE(GUID_NULL, g_displayDevices.entries[i].deviceGuid);
        for (int i = platform.devices; i < kMaxDisplayDevices; ++i)
            EXPECT_EQ(0, g_displayDevices.entries[i].memoryMegabytes);
        EXPECT_GE(LargestListedMemory(), platform.primaryMegabytes);
#if defined(VIDRAKE_D3D8)
        EXPECT_STRNE("", primary.description);
        EXPECT_EQ(4318u, primary.vendorId);
        EXPECT_NE(0u, primary.driverVersion);
#endif
    }
    int status = 0;
    EXPECT_EQ(LargestListedMemory(), MeasureVideoMemory(&status));
}

TEST(QueryDxDiagMemory, ReadsTheFirstDisplayDevice)
{
    int megabytes = -5;
    QueryDxDiagMemory(&megabytes);
#if defined(VIDRAKE_D3D9)
    EXPECT_GT(megabytes, 0);
#else
    // This build initialises the provider with header version 0, which
    // Wine's provider refuses (E_INVALIDARG).
    EXPECT_EQ(-1, megabytes);
#endif
}

}  // namespace
