// The whole system on emulated machines: one row per machine, each running
// the real QuilletVidrake.exe from a folder of its own and the real installer
// action, and checking the exit code, the result page address item by item,
// the console text, GFXSTATUS and GFXERROR.
//
// The adapter's own facts (name, ids, driver version, video memory) are read
// from the platform once, by a check on the default machine; every other
// expectation says where it comes from.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "result_page_support.h"
#include "test_support.h"
#include "verdict_texts.h"

namespace {

enum Folder { Complete, NoLibraries, Renamed };
enum Database { SampleDatabase, RejectingDatabase, NoDatabase };

struct Knob {
    const wchar_t* name;
    const wchar_t* text;  // null: a number
    DWORD number;
};

struct Scenario {
    const char* name;
    const char* source;  // where the expectation comes from
    const wchar_t* windows;  // Wine's Windows version; null: its default, Windows 7
    std::vector<Knob> knobs;
    std::vector<const wchar_t*> disabledDlls;
    bool browser;
    Folder folder;
    Database database;
    DWORD exitCode;
    // Address items to compare; "{card}" and the like stand for the platform's
    // own facts (of the default machine), a trailing "*" compares a prefix.
    std::map<std::string, std::string> items;
    std::string console;  // what follows the banner
    const char* gfxStatus;  // null: the installer action is not run
    const char* gfxError;   // null: GFXERROR must stay unset
};

// What the platform reports of the emulated adapter, read through the library.
std::map<std::string, std::string> g_platform;

std::string Expand(std::string text)
{
    for (const auto& fact : g_platform) {
        std::string token = "{" + fact.first + "}";
        for (size_t at; (at = text.find(token)) != std::string::npos;)
            text.replace(at, token.size(), fact.second);
    }
    return text;
}

std::string RejectingDatabaseText()
{
    std::string vendor = g_platform["vendor"], device = g_platform["device"], family = g_platform["family"];
    auto driver = [&](const std::string& version, const char* extra) {
        return "<Driver ManufacturerID=\"" + vendor + "\" DeviceID=\"*\" DriverVersion=\"" + version + "\"" + extra +
               "/>";
    };
    return "<VideoCardDB>" + driver(family + ".1.0001.1", "") + driver(g_platform["driver"], " BlackList=\"true\"") +
           driver("99.1.0001.1", "") + driver(family + ".2.0002.2", "") + driver(family + ".3.0003.3", " BlackList=\"not_recommended\"") +
           "<Card ManufacturerID=\"" + vendor + "\" DeviceID=\"" + device + "\" PixelShaderVersion=\"3\"/></VideoCardDB>";
}

class Scenarios : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ScratchFolder folder(L"scenario-platform");
        std::string out = RunCheckHost(folder, DistDirectory() + L"VidrakeDx9.dll", 1, L"gfxcheck_host.exe");
        g_platform["card"] = ValueOf(out, "cardName");
        g_platform["vendor"] = ValueOf(out, "vendorId");
        g_platform["device"] = ValueOf(out, "deviceId");
        g_platform["driver"] = ValueOf(out, "driverVersionText");
        g_platform["mem"] = ValueOf(out, "memoryText");
        g_platform["family"] = g_platform["driver"].substr(0, g_platform["driver"].find('.'));
    }

    void Run(const Scenario& s)
    {
        SCOPED_TRACE(std::string(s.name) + " (expected: " + s.source + ")");
        ASSERT_NE("<missing>", g_platform["driver"]) << "the platform's own facts could not be read";

        std::vector<std::unique_ptr<RegistryValueOverride>> settings;
        if (s.windows)
            settings.push_back(EmulateWindowsVersion(s.windows));
        for (const Knob& knob : s.knobs)
            settings.push_back(knob.text ? WineDirect3DText(knob.name, knob.text)
                                         : WineDirect3DNumber(knob.name, knob.number));
        for (const wchar_t* dll : s.disabledDlls)
            settings.push_back(DisableWineDll(dll));

        ScratchFolder folder(L"scenario");
        std::wstring program = s.folder == Renamed ? L"Checker.exe" : L"QuilletVidrake.exe";
        folder.CopyIn(DistDirectory() + L"QuilletVidrake.exe", program);
        if (s.folder != NoLibraries) {
            folder.CopyIn(DistDirectory() + L"VidrakeDx9.dll");
            folder.CopyIn(DistDirectory() + L"VidrakeDx8.dll");
        }
        if (s.database == SampleDatabase)
            folder.CopyIn(DistDirectory() + L"VideoCardDB.xml");
        else if (s.database == RejectingDatabase)
            folder.WriteFile(L"VideoCardDB.xml", RejectingDatabaseText());

        std::unique_ptr<RecordingBrowser> browser;
        std::unique_ptr<NoBrowserRegistered> noBrowser;
        if (s.browser)
            browser.reset(new RecordingBrowser(folder));
        else
            noBrowser.reset(new NoBrowserRegistered);

        ProgramRun run = RunProgram(L"\"" + folder.Path() + program + L"\"", folder.Path(), 120000);
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(s.exitCode, run.exitCode) << run.output;
        EXPECT_EQ(std::string(kBanner) + Expand(s.console), run.output);

        if (browser) {
            std::map<std::string, std::string> items = QueryItems(browser->Address());
            EXPECT_EQ(std::to_string(static_cast<int>(s.exitCode)), items["result"]);
            EXPECT_EQ((s.exitCode & 0x400) != 0, items.count("alternates") == 1);
            for (const auto& item : s.items) {
                std::string want = Expand(item.second);
                if (!want.empty() && want.back() == '*')
                    EXPECT_EQ(want.substr(0, want.size() - 1), items[item.first].substr(0, want.size() - 1)) << item.first;
                else
                    EXPECT_EQ(want, items[item.first]) << item.first;
            }
        }

        if (s.gfxStatus) {
            ProgramRun action = RunProgram(L"\"" + FixtureDirectory() + L"run_installer_action.exe\" \"" +
                                           FixtureDirectory() + L"gfxcheck_dx9.msi\"");
            EXPECT_EQ(s.gfxStatus, ValueOf(action.output, "GFXSTATUS")) << action.output;
            if (s.gfxError)
                EXPECT_EQ(s.gfxError, ValueOf(action.output, "GFXERROR"));
            else
                EXPECT_EQ("0", ValueOf(action.output, "GFXERRORSet"));
        }
    }
};

// The emulated default machine: Windows 7 SP1, the adapter Wine reports (pixel
// shader 3.0, its own video memory), DirectX 9.0c from the diagnostic provider.
const std::map<std::string, std::string> kDefaultItems = {
    {"mem", "{mem}"},         {"card", "{card}"},       {"pslevel", "3.0"},   {"dxver", "DirectX 9.0c installed"},
    {"osver", "6.1 SP 1.0"},  {"driver", "{driver}"},   {"vendorID", "{vendor}"}, {"deviceID", "{device}"},
};

std::map<std::string, std::string> With(std::map<std::string, std::string> items,
                                        const std::map<std::string, std::string>& changes)
{
    for (const auto& change : changes)
        items[change.first] = change.second;
    return items;
}

const Scenario kScenarios[] = {
    {"meets everything", "the emulated default machine and the sample database listing its card",
     nullptr, {}, {}, true, Complete, SampleDatabase, 0, kDefaultItems, "", "0", kMeetsRequirements},
    {"shader low", "MaxShaderModelPS 1: Wine reports pixel shader 1.4 on a GeForce3",
     nullptr, {{L"MaxShaderModelPS", nullptr, 1}}, {}, true, Complete, SampleDatabase, 0x020,
     With(kDefaultItems, {{"pslevel", "1.4"}, {"card", "NVIDIA GeForce3"}, {"driver", "*"}, {"deviceID", "*"}}), "",
     "32", nullptr},
    {"memory low", "VideoMemorySize 32: Wine reports 32 MB", nullptr, {{L"VideoMemorySize", L"32", 0}}, {}, true,
     Complete, SampleDatabase, 0x010, With(kDefaultItems, {{"mem", "32 MB"}}), "", "16", nullptr},
    {"driver rejected", "a database that blacklists the platform's own driver and lists others of its family",
     nullptr, {}, {}, true, Complete, RejectingDatabase, 0x400,
     With(kDefaultItems, {{"alternates", "{family}.1.0001.1, {family}.2.0002.2"}}), "",
     // The installer's own program hosts the action: no database beside it.
     "0", kMeetsRequirements},
    {"device fails", "renderer no3d: Wine's Direct3D refuses every device", nullptr, {{L"renderer", L"no3d", 0}}, {},
     true, Complete, SampleDatabase, 0x002,
     {{"mem", ""}, {"card", ""}, {"pslevel", ""}, {"driver", ""}, {"vendorID", "0"}, {"deviceID", "0"}}, "", "2",
     nullptr},
    {"Windows 2000", "Wine's win2k: 5.0 SP 4.0 is too old", L"win2k", {}, {}, true, Complete, SampleDatabase, 0x100,
     With(kDefaultItems, {{"osver", "5.0 SP 4.0"}, {"driver", "*"}, {"mem", "*"}}), "", "0", kMeetsRequirements},
    {"Windows NT 4", "Wine's nt40: major version 4 is too old", L"nt40", {}, {}, true, Complete, SampleDatabase, 0x100,
     With(kDefaultItems, {{"osver", "4.0 SP *"}, {"driver", "*"}, {"mem", "*"}}), "", nullptr, nullptr},
    {"Windows XP", "Wine's winxp: 5.1 SP 3.0 is new enough", L"winxp", {}, {}, true, Complete, SampleDatabase, 0,
     With(kDefaultItems, {{"osver", "5.1 SP 3.0"}, {"driver", "*"}, {"mem", "*"}}), "", nullptr, nullptr},
    {"several at once", "PS 1.4, 32 MB and Windows 2000 together, texts in their order, no browser", L"win2k",
     {{L"MaxShaderModelPS", nullptr, 1}, {L"VideoMemorySize", L"32", 0}}, {}, false, Complete, SampleDatabase,
     0x130, {}, std::string("\n\n") + kShaderLow + MemoryLow(32) + kRegistryHint, "48", nullptr},
    {"Direct3D 9 missing", "d3d9 disabled: the Direct3D 8 build answers, the shader level from the database; "
                           "the diagnostic provider fails without d3d9, so the file ladder ends at 9.0",
     nullptr, {}, {L"d3d9"}, true, Complete, SampleDatabase, 0,
     With(kDefaultItems, {{"pslevel", "3"}, {"dxver", "DirectX 9.0 installed"}}), "", "1", nullptr},
    {"Direct3D 9 and 8 missing", "d3d9 and d3d8 disabled: the Direct3D 8 build checks what DirectDraw reports",
     nullptr, {}, {L"d3d9", L"d3d8"}, true, Complete, SampleDatabase, 0,
     With(kDefaultItems, {{"pslevel", "3"}, {"dxver", "DirectX 9.0 installed"}, {"driver", "*"}, {"card", "*"}}), "",
     nullptr, nullptr},
    {"Direct3D and DirectDraw missing", "d3d9, d3d8 and ddraw disabled: nothing identifies the card and the "
                                        "diagnostic provider fails too",
     nullptr, {}, {L"d3d9", L"d3d8", L"ddraw"}, true, Complete, SampleDatabase, 0x001 | 0x004 | 0x008,
     {{"mem", ""}, {"card", ""}, {"pslevel", "?"}, {"driver", "0.0.0000.0"}, {"vendorID", "0"}, {"deviceID", "0"},
      {"dxver", "DirectX 9.0 installed"}},
     "", nullptr, nullptr},
    {"diagnostic provider missing", "dxdiagn disabled: the file ladder over Wine's files ends at 9.0", nullptr, {},
     {L"dxdiagn"}, true, Complete, SampleDatabase, 0, With(kDefaultItems, {{"dxver", "DirectX 9.0 installed"}}), "",
     "0", kMeetsRequirements},
    {"XML document object missing", "msxml3 disabled: the rejecting database cannot be read, so nothing is rejected",
     nullptr, {}, {L"msxml3"}, true, Complete, RejectingDatabase, 0, kDefaultItems, "", nullptr, nullptr},
    {"both libraries missing", "no library beside the program: -1 and every string empty", nullptr, {}, {}, true,
     NoLibraries, SampleDatabase, 0xFFFFFFFF,
     {{"mem", ""}, {"card", ""}, {"pslevel", ""}, {"driver", ""}, {"vendorID", "0"}, {"deviceID", "0"},
      {"alternates", ""}},
     "", nullptr, nullptr},
    {"program renamed", "Checker.exe: the libraries are looked for under \"Chec\"", nullptr, {}, {}, true, Renamed,
     SampleDatabase, 0xFFFFFFFF, {{"card", ""}, {"alternates", ""}}, "", nullptr, nullptr},
    {"no browser registered", "none of the four candidates: the verdict and the hint on the console", nullptr, {},
     {}, false, Complete, SampleDatabase, 0, {}, std::string("\n\n") + kMeetsRequirements + kRegistryHint, nullptr, nullptr},
    {"no database", "no VideoCardDB.xml: the Direct3D 9 build judges without it", nullptr, {}, {}, true, Complete,
     NoDatabase, 0, kDefaultItems, "", nullptr, nullptr},
};

}  // namespace

TEST_F(Scenarios, EveryEmulatedMachine)
{
    for (const Scenario& s : kScenarios)
        Run(s);
    std::cout << sizeof(kScenarios) / sizeof(kScenarios[0]) << " machines\n";
}

// A folder of exactly `length` characters (separator included) under the
// scratch folder, made of nested components.
std::wstring MakeFolderOfLength(const std::wstring& base, size_t length)
{
    std::wstring path = base;
    CreateDirectoryW(base.c_str(), nullptr);
    while (path.size() < length) {
        size_t component = std::min<size_t>(100, length - path.size() - 1);
        path += std::wstring(component ? component : 1, L'd') + L"\\";
        CreateDirectoryW(path.c_str(), nullptr);
    }
    return path;
}

TEST(LongFolders, AProgramPathOfTheLongestStartablePathRunsWhole)
{
    // 259 characters is the longest program path Windows starts: the libraries'
    // and the database's paths are shorter than the program's, so they fit too.
    ScratchFolder root(L"long");
    for (size_t programLength : {240u, 259u}) {
        SCOPED_TRACE(programLength);
        std::wstring folder = MakeFolderOfLength(root.Path() + std::to_wstring(programLength) + L"\\",
                                                 programLength - 18);
        ASSERT_EQ(programLength, folder.size() + 18);
        for (const wchar_t* name : {L"QuilletVidrake.exe", L"VidrakeDx9.dll", L"VidrakeDx8.dll", L"VideoCardDB.xml"})
            ASSERT_TRUE(CopyFileW((DistDirectory() + name).c_str(), (folder + name).c_str(), FALSE));
        NoBrowserRegistered none;
        ProgramRun run = RunProgram(L"\"" + folder + L"QuilletVidrake.exe\"", folder, 120000);
        EXPECT_EQ(0u, run.exitCode & 0x63F) << run.output;
        EXPECT_EQ(std::string(kBanner) + "\n\n" + kMeetsRequirements + kRegistryHint, run.output);
    }
    // One character more and the system refuses to start the program at all.
    std::wstring folder = MakeFolderOfLength(root.Path() + L"260\\", 260 - 18);
    CopyFileW((DistDirectory() + L"QuilletVidrake.exe").c_str(), (folder + L"QuilletVidrake.exe").c_str(), FALSE);
    EXPECT_EQ("CreateProcess failed", RunProgram(L"\"" + folder + L"QuilletVidrake.exe\"", folder).output);
}
