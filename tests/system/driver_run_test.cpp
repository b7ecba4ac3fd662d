// Runs the real QuilletVidrake with its libraries and database in a folder of
// its own, with a recording browser registered in the registry (or none), and
// checks the result page address it hands the browser item by item against
// what the platform itself reports.
#include <gtest/gtest.h>

#include <d3d9.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "result_page_support.h"
#include "test_support.h"
#include "verdict_texts.h"

namespace {

// Only the given candidate names a browser while this lives; the prefix's own
// commands (winebrowser, Wine's iexplore) come back afterwards.
struct BrowserRegistration {
    BrowserRegistration(int candidate, const std::wstring& command)
        : registered(new RegistryValueOverride(HKEY_CLASSES_ROOT, kBrowserKeys[candidate], L"", command))
    {
    }
    NoBrowserRegistered none;
    std::unique_ptr<RegistryValueOverride> registered;
};

// What Direct3D 9 reports about the default adapter to this process.
struct AdapterReport {
    bool read;
    std::string card;
    int vendorId;
    int deviceId;
    std::string driver;
    std::string pixelShader;
};

AdapterReport ReadDefaultAdapter()
{
    AdapterReport report = {false, "", 0, 0, "", ""};
    HMODULE d3d9 = LoadLibraryW(L"d3d9.dll");
    if (!d3d9)
        return report;
    typedef IDirect3D9*(WINAPI * CreateFunction)(UINT);
    CreateFunction create = reinterpret_cast<CreateFunction>(GetProcAddress(d3d9, "Direct3DCreate9"));
    IDirect3D9* direct3D = create ? create(D3D_SDK_VERSION) : nullptr;
    if (direct3D) {
        D3DADAPTER_IDENTIFIER9 identifier = {};
        D3DCAPS9 caps = {};
        if (SUCCEEDED(direct3D->GetAdapterIdentifier(0, 0, &identifier)) &&
            SUCCEEDED(direct3D->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps))) {
            char text[64];
            report.read = true;
            report.card = identifier.Description;
            report.vendorId = static_cast<int>(identifier.VendorId);
            report.deviceId = static_cast<int>(identifier.DeviceId);
            DWORD high = identifier.DriverVersion.HighPart, low = identifier.DriverVersion.LowPart;
            snprintf(text, sizeof(text), "%lu.%lu.%04lu.%lu", high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF);
            report.driver = text;
            snprintf(text, sizeof(text), "%lu.%lu", (caps.PixelShaderVersion >> 8) & 0xFF,
                     caps.PixelShaderVersion & 0xFF);
            report.pixelShader = text;
        }
        direct3D->Release();
    }
    FreeLibrary(d3d9);
    return report;
}

int LargestFreeDiskMegabytes()
{
    int largest = 0;
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        wchar_t root[] = {letter, L':', L'\\', L'\0'};
        ULARGE_INTEGER available, total, totalFree;
        if (GetDriveTypeW(root) == DRIVE_FIXED && GetDiskFreeSpaceExW(root, &available, &total, &totalFree) &&
            static_cast<int>(totalFree.QuadPart >> 20) > largest)
            largest = static_cast<int>(totalFree.QuadPart >> 20);
    }
    return largest;
}

int PhysicalMemoryMegabytes()
{
    MEMORYSTATUS status = {};
    status.dwLength = sizeof(status);
    GlobalMemoryStatus(&status);
    return static_cast<int>(status.dwTotalPhys >> 20);
}

bool IsMegabytes(const std::string& text, int* megabytes)
{
    char rest[8] = "";
    return sscanf(text.c_str(), "%d%7s", megabytes, rest) == 2 && std::string(rest) == "MB" &&
           text == std::to_string(*megabytes) + " MB";
}

struct Expected {
    std::string dxver;
    std::string osver;
    bool osTooOld;
    bool sameWindowsAsThisProcess;  // the adapter's driver version follows the Windows version
};

const Expected kDefaultMachine = {"DirectX 9.0c installed", "6.1 SP 1.0", false, true};

class DriverRun : public ::testing::Test {
protected:
    DriverRun() : folder(L"driver_run") {}

    void SetUp() override
    {
        for (const wchar_t* name : {L"QuilletVidrake.exe", L"VidrakeDx9.dll", L"VidrakeDx8.dll", L"VideoCardDB.xml"})
            folder.CopyIn(DistDirectory() + name);
        folder.CopyIn(FixtureDirectory() + L"recording_browser.exe");
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(BrowserPath().c_str()));
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder.Path() + L"QuilletVidrake.exe").c_str()));
    }

    std::wstring BrowserPath() const { return folder.Path() + L"recording_browser.exe"; }
    std::wstring LogPath() const { return folder.Path() + L"browser.log"; }

    // Runs the driver; standard input is a pipe, so a run without a browser
    // must not wait for a key.
    void RunDriver()
    {
        DeleteFileW(LogPath().c_str());
        freeDiskBefore = LargestFreeDiskMegabytes();
        ProgramRun run = RunProgram(L"\"" + folder.Path() + L"QuilletVidrake.exe\"", folder.Path(), 120000);
        freeDiskAfter = LargestFreeDiskMegabytes();
        ASSERT_FALSE(run.timedOut) << run.output;
        mask = static_cast<int>(run.exitCode);
        console = run.output;
    }

    std::string RecordedCommandLine(DWORD timeoutMs = 10000) { return ::RecordedCommandLine(LogPath(), timeoutMs); }
    std::string RecordedAddress() { return ::RecordedAddress(LogPath()); }

    void ExpectAddressOfThisMachine(const std::string& address, const Expected& expected)
    {
        SCOPED_TRACE(address);
        std::map<std::string, std::string> items = QueryItems(address);
        ASSERT_GE(items.size(), 11u);

        EXPECT_EQ(std::to_string(mask), items["result"]);
        EXPECT_EQ(expected.dxver, items["dxver"]);
        EXPECT_EQ(expected.osver, items["osver"]);
        EXPECT_EQ(expected.osTooOld, (mask & 0x100) != 0);

        int megabytes = 0;
        ASSERT_TRUE(IsMegabytes(items["ram"], &megabytes)) << items["ram"];
        EXPECT_EQ(PhysicalMemoryMegabytes(), megabytes);
        EXPECT_EQ(megabytes < 500, (mask & 0x040) != 0);
        ASSERT_TRUE(IsMegabytes(items["hdspace"], &megabytes)) << items["hdspace"];
        // Others write to the disk meanwhile.
        EXPECT_GE(megabytes, std::min(freeDiskBefore, freeDiskAfter) - 256);
        EXPECT_LE(megabytes, std::max(freeDiskBefore, freeDiskAfter) + 256);
        EXPECT_EQ(megabytes < 250, (mask & 0x080) != 0);

        // The library's findings on Wine's emulated adapter.
        EXPECT_EQ(0, mask & 0x00F) << "the Direct3D 9 check did not run through";
        EXPECT_EQ("4318", items["vendorID"]);
        ASSERT_TRUE(IsMegabytes(items["mem"], &megabytes)) << items["mem"];
        EXPECT_EQ(megabytes >= 1 && megabytes < 64, (mask & 0x010) != 0);
        AdapterReport adapter = ReadDefaultAdapter();
        ASSERT_TRUE(adapter.read);
        EXPECT_EQ(adapter.card, items["card"]);
        EXPECT_EQ(std::to_string(adapter.deviceId), items["deviceID"]);
        EXPECT_EQ(adapter.pixelShader, items["pslevel"]);
        if (expected.sameWindowsAsThisProcess) {
            EXPECT_EQ(adapter.driver, items["driver"]);
        }

        // Accepted driver versions only with a rejected driver.
        EXPECT_EQ((mask & 0x400) != 0, items.count("alternates") == 1);
    }

    ScratchFolder folder;
    int mask = 0;
    std::string console;
    int freeDiskBefore = 0, freeDiskAfter = 0;
};

TEST_F(DriverRun, EachRegistryCandidateStartsTheBrowserWithTheResultPage)
{
    for (int candidate = 0; candidate < 4; ++candidate) {
        for (bool quoted : {true, false}) {
            SCOPED_TRACE(Narrow(kBrowserKeys[candidate]) + (quoted ? " quoted" : " unquoted"));
            std::wstring command = quoted ? L"\"" + BrowserPath() + L"\" -osint -url \"%1\"" : BrowserPath() + L" %1";
            BrowserRegistration registration(candidate, command);
            RunDriver();
            EXPECT_EQ(kBanner, console);
            ExpectAddressOfThisMachine(RecordedAddress(), kDefaultMachine);
        }
    }
}

TEST_F(DriverRun, WithoutABrowserTheVerdictGoesToTheConsole)
{
    {
        NoBrowserRegistered none;
        RunDriver();
    }
    const std::string start = std::string(kBanner) + "\n\n";
    ASSERT_EQ(start, console.substr(0, start.size())) << console;
    ASSERT_GE(console.size(), start.size() + sizeof(kRegistryHint) - 1) << console;
    EXPECT_EQ(kRegistryHint, console.substr(console.size() - (sizeof(kRegistryHint) - 1))) << console;
    std::string message = console.substr(start.size(), console.size() - start.size() - (sizeof(kRegistryHint) - 1));
    EXPECT_FALSE(message.empty());
    if ((mask & 0x63F) == 0) {
        EXPECT_EQ(kMeetsRequirements, message);
    }
    // Nothing was started.
    EXPECT_EQ("", RecordedCommandLine(1000));
}

TEST_F(DriverRun, ReportsTheEmulatedWindowsVersion)
{
    const struct {
        const wchar_t* version;
        Expected expected;
    } cases[] = {
        {L"win2k", {"DirectX 9.0c installed", "5.0 SP 4.0", true, false}},
        {L"winxp", {"DirectX 9.0c installed", "5.1 SP 3.0", false, false}},
        {L"win7", kDefaultMachine},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.version));
        BrowserRegistration registration(0, L"\"" + BrowserPath() + L"\" \"%1\"");
        auto windows = EmulateWindowsVersion(c.version);
        RunDriver();
        ExpectAddressOfThisMachine(RecordedAddress(), c.expected);
    }
}

TEST_F(DriverRun, WithoutTheDiagnosticProviderTheFileLadderAnswers)
{
    BrowserRegistration registration(1, BrowserPath());
    auto provider = DisableWineDll(L"dxdiagn");
    RunDriver();
    std::map<std::string, std::string> items = QueryItems(RecordedAddress());
    EXPECT_EQ("DirectX 9.0 installed", items["dxver"]);
    EXPECT_EQ(std::to_string(mask), items["result"]);
}

}  // namespace
