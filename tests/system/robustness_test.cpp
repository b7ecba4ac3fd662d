// The real program against bad browser registrations, and run many times in
// a row: a clear outcome each time, no crash, no hang, nothing left behind.
#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <string>

#include "open_handles.h"
#include "result_page_support.h"
#include "test_support.h"
#include "verdict_texts.h"

namespace {

std::string Utf16(const std::wstring& text, bool terminated)
{
    std::string bytes(reinterpret_cast<const char*>(text.c_str()), text.size() * sizeof(wchar_t));
    if (terminated)
        bytes.append(2, '\0');
    return bytes;
}

void CopyDeliverables(const ScratchFolder& folder)
{
    for (const wchar_t* name : {L"QuilletVidrake.exe", L"VidrakeDx9.dll", L"VidrakeDx8.dll", L"VideoCardDB.xml"})
        folder.CopyIn(DistDirectory() + name);
}

DWORD ProcessCount()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    DWORD count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        ++count;
    CloseHandle(snapshot);
    return count;
}

// Waits (up to 10 s) until the last run's browser and its console have gone,
// so that a slow machine counts the same set of processes before and after.
DWORD SettledProcessCount()
{
    DWORD count = ProcessCount();
    for (int i = 0; i < 40; ++i) {
        Sleep(250);
        DWORD again = ProcessCount();
        if (again == count)
            break;
        count = again;
    }
    return count;
}

}  // namespace

TEST(BrowserRegistry, BadValuesGiveAClearOutcome)
{
    ScratchFolder folder(L"robust-registry");
    CopyDeliverables(folder);
    folder.CopyIn(FixtureDirectory() + L"recording_browser.exe");
    std::wstring browser = folder.Path() + L"recording_browser.exe";
    std::wstring log = folder.Path() + L"browser.log";
    const struct {
        const char* name;
        DWORD type;
        std::string data;
        bool launches;       // the recording browser receives the address
        bool console;        // the verdict goes to the console instead
    } cases[] = {
        {"empty", REG_SZ, Utf16(L"", true), false, true},
        {"a number", REG_DWORD, std::string("\x45\x00\x58\x00", 4), false, true},
        {"binary text without terminator", REG_BINARY, Utf16(L"\"" + browser + L"\" %1", false), true, false},
        {"odd byte count", REG_SZ, Utf16(browser, false) + "X", true, false},
        {"very long, no program", REG_SZ, Utf16(std::wstring(100000, L'a'), true), false, true},
        {"very long program path", REG_SZ, Utf16(L"C:\\" + std::wstring(5000, L'x') + L".exe %1", true), false, true},
        {"without .EXE", REG_SZ, Utf16(L"C:\\Browsers\\browser.com \"%1\"", true), false, true},
        {".EXE inside a folder name", REG_EXPAND_SZ, Utf16(L"C:\\NO.EXE.DIR\\browser.exe %1", true), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(log.c_str());
        ProgramRun run;
        {
            NoBrowserRegistered none;
            RegistryValueOverride value(HKEY_CLASSES_ROOT, kBrowserKeys[0], L"", c.type, c.data);
            run = RunProgram(L"\"" + folder.Path() + L"QuilletVidrake.exe\"", folder.Path(), 120000);
        }
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(0u, run.exitCode & 0x63F) << run.output;
        if (c.console)
            EXPECT_EQ(std::string(kBanner) + "\n\n" + kMeetsRequirements + kRegistryHint, run.output);
        else
            EXPECT_EQ(kBanner, run.output);  // a launch was tried, and it is silent
        std::string recorded = RecordedCommandLine(log, c.launches ? 10000 : 1000);
        EXPECT_EQ(c.launches, recorded.find("http://") != std::string::npos) << recorded;
    }
}

TEST(RepeatedRuns, FiftyRunsInARowAnswerAlikeAndLeaveNothingBehind)
{
    ScratchFolder folder(L"robust-repeat");
    CopyDeliverables(folder);
    RecordingBrowser browser(folder);
    auto runOnce = [&]() {
        DeleteFileW(browser.LogPath().c_str());
        ProgramRun run = RunProgram(L"\"" + folder.Path() + L"QuilletVidrake.exe\"", folder.Path(), 120000);
        EXPECT_FALSE(run.timedOut);
        std::map<std::string, std::string> items = QueryItems(browser.Address());
        items.erase("hdspace");  // the disk fills as others work
        items["exit"] = std::to_string(run.exitCode);
        return items;
    };
    std::map<std::string, std::string> first = runOnce();
    DWORD processesBefore = SettledProcessCount();
    Sleep(500);
    DWORD handlesBefore = SystemHandleCount();
    ASSERT_GT(handlesBefore, 0u);
    for (int i = 1; i < 50; ++i)
        EXPECT_EQ(first, runOnce()) << "run " << i + 1;
    DWORD processesAfter = SettledProcessCount();
    Sleep(500);
    DWORD handlesAfter = SystemHandleCount();
    std::cout << "50 runs: system handles " << handlesBefore << " -> " << handlesAfter << ", processes "
              << processesBefore << " -> " << processesAfter << "\n";
    EXPECT_EQ(processesBefore, processesAfter);
    EXPECT_LE(handlesAfter, handlesBefore + 10);
}
