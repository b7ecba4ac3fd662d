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

#include "test_support.h"

namespace {

const wchar_t* const kBrowserKeys[] = {
    L"HTTP\\shell\\open\\command",
    L"htmlfile\\shell\\open\\command",
    L"Applications\\iexplore.exe\\shell\\open\\command",
    L"Applications\\firefox.exe\\shell\\open\\command",
};

const char* const kQueryKeys[] = {"result", "mem",    "card",     "pslevel",  "dxver",    "hdspace",
                                  "ram",    "osver",  "driver",   "vendorID", "deviceID", "alternates"};

const char kBanner[] = "Your system is being analyzed...";
const char kRegistryHint[] =
    "\n\nFor more information please make sure the registry entry:\n"
    "HKEY_CLASSES_ROOT\\HTTP\\shell\\open\\command\n"
    "points to a valid browser executable\n\n"
    "Please press any key to continue...";
const char kMeetsRequirements[] = "Your Graphics Card meets the minimum requirements for Tarvold Quillet!";

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

// The output without carriage returns and without the sound library's
// complaints, which Wine's diagnostic provider prints on standard error.
std::string ConsoleText(const std::string& output)
{
    std::string text;
    for (char c : output) {
        if (c != '\r')
            text += c;
    }
    size_t at;
    while ((at = text.find("ALSA lib ")) != std::string::npos) {
        size_t end = text.find('\n', at);
        text.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
    }
    return text;
}

// The query items of a result page address, in their fixed order; empty when
// the address does not have the expected form.
std::map<std::string, std::string> QueryItems(const std::string& address)
{
    std::map<std::string, std::string> items;
    const std::string scheme = "http://", path = "/quillet-systemtest?";
    size_t hostEnd = address.find('/', scheme.size());
    if (address.compare(0, scheme.size(), scheme) != 0 || hostEnd == std::string::npos ||
        hostEnd == scheme.size() || address.compare(hostEnd, path.size(), path) != 0) {
        ADD_FAILURE() << "not a result page address: " << address;
        return items;
    }
    size_t at = hostEnd + path.size() - 1;
    const int keyCount = sizeof(kQueryKeys) / sizeof(kQueryKeys[0]);
    for (int i = 0; i < keyCount && at < address.size(); ++i) {
        std::string marker = (i == 0 ? "?" : "&") + std::string(kQueryKeys[i]) + "=";
        if (address.compare(at, marker.size(), marker) != 0) {
            ADD_FAILURE() << "expected " << marker << " at " << address.substr(at);
            return items;
        }
        size_t start = at + marker.size();
        size_t next = i + 1 < keyCount ? address.find("&" + std::string(kQueryKeys[i + 1]) + "=", start)
                                       : std::string::npos;
        if (next == std::string::npos)
            next = address.size();
        items[kQueryKeys[i]] = address.substr(start, next - start);
        at = next;
    }
    return items;
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
        console = ConsoleText(run.output);
    }

    // The browser starts on its own: wait up to 10 s for its line.
    std::string RecordedCommandLine(DWORD timeoutMs = 10000)
    {
        for (DWORD waited = 0;; waited += 100) {
            HANDLE log = CreateFileW(LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
            if (log != INVALID_HANDLE_VALUE) {
                char buffer[8192];
                DWORD got = 0;
                ReadFile(log, buffer, sizeof(buffer), &got, nullptr);
                CloseHandle(log);
                std::string text(buffer, got);
                if (text.find("\r\n") != std::string::npos)
                    return text.substr(0, text.find("\r\n"));
            }
            if (waited >= timeoutMs)
                return "";
            Sleep(100);
        }
    }

    // The address the browser received as its one argument, in quotes.
    std::string RecordedAddress()
    {
        std::string line = RecordedCommandLine();
        EXPECT_NE(std::string::npos, line.find("RECORDING_BROWSER.EXE")) << line;
        size_t start = line.find("\"http://");
        if (start == std::string::npos || line.back() != '"') {
            ADD_FAILURE() << "no quoted address in the browser's command line: " << line;
            return "";
        }
        std::string address = line.substr(start + 1, line.size() - start - 2);
        EXPECT_EQ(std::string::npos, address.find('"')) << line;
        return address;
    }

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
