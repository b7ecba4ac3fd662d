// CheckGfxCapabilities run as a custom action in Wine's Windows Installer
// engine, from packages built around the real libraries.
#include <gtest/gtest.h>

#include "test_support.h"
#include "verdict_texts.h"

namespace {

ProgramRun RunAction(const wchar_t* package)
{
    return RunProgram(L"\"" + FixtureDirectory() + L"run_installer_action.exe\" \"" + FixtureDirectory() + package +
                      L"\"");
}

}  // namespace

TEST(InstallerAction, Direct3D9BuildOnTheEmulatedCardMeetsTheRequirements)
{
    ProgramRun run = RunAction(L"gfxcheck_dx9.msi");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ("0", ValueOf(run.output, "action")) << run.output;
    EXPECT_EQ("0", ValueOf(run.output, "GFXSTATUS"));
    EXPECT_EQ(kMeetsRequirements, ValueOf(run.output, "GFXERROR"));
}

TEST(InstallerAction, LowVideoMemoryGivesStatusSixteenAndNoError)
{
    auto memory = WineDirect3DText(L"VideoMemorySize", L"32");
    ProgramRun run = RunAction(L"gfxcheck_dx9.msi");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ("0", ValueOf(run.output, "action")) << run.output;
    EXPECT_EQ("16", ValueOf(run.output, "GFXSTATUS"));
    EXPECT_EQ("0", ValueOf(run.output, "GFXERRORSet"));
}

TEST(InstallerAction, Direct3D9MissingGivesStatusOne)
{
    auto d3d9 = DisableWineDll(L"d3d9");
    ProgramRun run = RunAction(L"gfxcheck_dx9.msi");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ("1", ValueOf(run.output, "GFXSTATUS")) << run.output;
    EXPECT_EQ("0", ValueOf(run.output, "GFXERRORSet"));
}

TEST(InstallerAction, Direct3D8BuildCannotFindTheDatabaseBesideTheInstaller)
{
    // The installer's own program hosts the action, so the database is looked
    // for beside it and not found: the shader level stays undetermined.
    ProgramRun run = RunAction(L"gfxcheck_dx8.msi");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ("0", ValueOf(run.output, "action")) << run.output;
    EXPECT_EQ("8", ValueOf(run.output, "GFXSTATUS"));
    EXPECT_EQ("0", ValueOf(run.output, "GFXERRORSet"));
}
