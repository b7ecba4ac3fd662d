// Quillet's setup as docs/setup-authors.md shows it
// (installer-example/Quillet.wxs, made into quillet_setup_example.msi with its
// launch conditions as written): the installer engine evaluates each
// condition for the masks that setup meets, and msiexec installs the package
// on the emulated default machine and stops at the launch conditions where a
// requirement is not met.
#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "test_support.h"

namespace {

struct MsiHandleHolder {
    MSIHANDLE handle = 0;
    ~MsiHandleHolder() { if (handle) MsiCloseHandle(handle); }
};

std::wstring PackagePath() { return FixtureDirectory() + L"quillet_setup_example.msi"; }

// Which requirement a launch condition's message speaks of.
std::string RequirementOf(const std::string& message)
{
    if (message.find("could not run") != std::string::npos)
        return "check";
    if (message.find("DirectX 9.0c") != std::string::npos)
        return "directx";
    if (message.find("64 MB of video memory") != std::string::npos)
        return "memory";
    if (message.find("pixel shader 2.0") != std::string::npos)
        return "shader";
    return message;
}

// The requirements whose launch conditions are false when GFXSTATUS is
// `status` (null: not set), as the installer engine evaluates them.
std::set<std::string> StoppingRequirements(const wchar_t* status)
{
    std::set<std::string> stops;
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    MsiHandleHolder package, view;
    if (MsiOpenPackageW(PackagePath().c_str(), &package.handle) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open " << Narrow(PackagePath());
        return stops;
    }
    if (status)
        MsiSetPropertyW(package.handle, L"GFXSTATUS", status);
    MsiHandleHolder database;
    database.handle = MsiGetActiveDatabase(package.handle);
    if (MsiDatabaseOpenViewW(database.handle, L"SELECT `Condition`, `Description` FROM `LaunchCondition`",
                             &view.handle) != ERROR_SUCCESS ||
        MsiViewExecute(view.handle, 0) != ERROR_SUCCESS) {
        ADD_FAILURE() << "no LaunchCondition table";
        return stops;
    }
    for (;;) {
        MsiHandleHolder row;
        if (MsiViewFetch(view.handle, &row.handle) != ERROR_SUCCESS)
            break;
        wchar_t condition[512], message[512];
        DWORD conditionSize = ARRAYSIZE(condition), messageSize = ARRAYSIZE(message);
        MsiRecordGetStringW(row.handle, 1, condition, &conditionSize);
        MsiRecordGetStringW(row.handle, 2, message, &messageSize);
        MSICONDITION result = MsiEvaluateConditionW(package.handle, condition);
        EXPECT_TRUE(result == MSICONDITION_TRUE || result == MSICONDITION_FALSE) << Narrow(condition);
        if (result != MSICONDITION_TRUE)
            stops.insert(RequirementOf(Narrow(message)));
    }
    return stops;
}

struct SetupRun {
    DWORD exitCode;
    std::string status;     // GFXSTATUS as the log shows it, "" when unset
    int launchConditions;   // its logged return value: 1 passed, 0 failed (in Wine), -1 not logged
};

std::string LogValue(const std::string& log, const std::string& marker)
{
    size_t at = log.find(marker);
    if (at == std::string::npos)
        return "";
    at += marker.size();
    return log.substr(at, log.find_first_of("\r\n", at) - at);
}

SetupRun RunSetup(const wchar_t* operation)
{
    ScratchFolder folder(L"installer_example");
    std::wstring log = folder.Path() + L"setup.log";
    ProgramRun run = RunProgram(L"msiexec " + std::wstring(operation) + L" \"" + PackagePath() + L"\" /qn /l*v \"" +
                                log + L"\"", L"", 300000);
    EXPECT_FALSE(run.timedOut);
    std::ifstream file(log.c_str(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string launchConditions = LogValue(text, "LaunchConditions. Return value ");  // "1." or "0."
    return SetupRun{run.exitCode, LogValue(text, "Property(S): GFXSTATUS = "),
                    launchConditions.empty() ? -1 : atoi(launchConditions.c_str())};
}

// Installs and, when that succeeded, removes the package again, so that the
// next installation is a first one as well.
SetupRun InstallOnce()
{
    SetupRun install = RunSetup(L"/i");
    if (install.exitCode == ERROR_SUCCESS) {
        EXPECT_EQ(0u, RunSetup(L"/x").exitCode) << "removing the package";
    }
    return install;
}

// An installation that the launch conditions stop, on the machine emulated
// now, with GFXSTATUS `status` and for `requirement` alone.
void ExpectSetupStoppedFor(const std::string& status, const std::string& requirement)
{
    SetupRun run = InstallOnce();
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSTALL_FAILURE), run.exitCode);
    EXPECT_EQ(status, run.status);
    EXPECT_EQ(0, run.launchConditions);
    EXPECT_EQ(std::set<std::string>{requirement}, StoppingRequirements(Widen(run.status).c_str()));
}

}  // namespace

TEST(InstallerExample, EachLaunchConditionStopsSetupForItsOwnRequirement)
{
    const struct {
        const wchar_t* status;
        std::set<std::string> stops;
    } cases[] = {
        {L"0", {}},
        {nullptr, {"check"}},
        {L"-1", {"check"}},  // every bit is set, yet only the check's own message
        {L"1", {"directx"}},
        {L"16", {"memory"}},
        {L"32", {"shader"}},
        {L"48", {"memory", "shader"}},  // bits, not text: "48" contains neither "16" nor "32"
        {L"17", {"directx", "memory"}},
        {L"14", {}},  // device failed, memory and shader level undetermined: setup goes on
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.stops, StoppingRequirements(c.status)) << (c.status ? Narrow(c.status) : "unset");
}

TEST(InstallerExample, LowVideoMemoryStopsSetupAtItsLaunchConditions)
{
    auto memory = WineDirect3DText(L"VideoMemorySize", L"32");
    ExpectSetupStoppedFor("16", "memory");
}

TEST(InstallerExample, MissingDirect3D9StopsSetupAtItsLaunchConditions)
{
    auto d3d9 = DisableWineDll(L"d3d9");
    ExpectSetupStoppedFor("1", "directx");
}

TEST(InstallerExample, TheEmulatedDefaultMachineInstalls)
{
    SetupRun run = InstallOnce();
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ("0", run.status);
    EXPECT_EQ(1, run.launchConditions);
}
