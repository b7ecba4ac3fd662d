// The driver binding its graphics check libraries, run for real: the built
// QuilletVidrake.exe in a folder of its own with real or stand-in libraries.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "test_support.h"

namespace {

const DWORD kDriverBits = 0x040 | 0x080 | 0x100;  // RAM, disk and Windows version: the machine's own

std::string ReadText(const std::wstring& path)
{
    std::ifstream file(Narrow(path).c_str(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

ProgramRun RunDriver(const ScratchFolder& folder, const std::wstring& program = L"QuilletVidrake.exe")
{
    NoBrowserRegistered noBrowser;  // the verdict then goes to the console
    return RunProgram(L"\"" + folder.Path() + program + L"\"", folder.Path(), 120000);
}

}  // namespace

TEST(LibraryBinding, BothLibrariesMissingGiveMinusOneAndNameTheDirect3D8Path)
{
    ScratchFolder folder(L"binding-none");
    folder.CopyIn(DistDirectory() + L"QuilletVidrake.exe");
    ProgramRun run = RunDriver(folder);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0xFFFFFFFFu, run.exitCode);
    std::string expected = "Your system is being analyzed...\n\n" + Narrow(folder.Path()) +
                           "\\VidrakeDx8.dll not found (2)\n\nFor more information please make sure the registry entry:\n"
                           "HKEY_CLASSES_ROOT\\HTTP\\shell\\open\\command\npoints to a valid browser executable\n\n"
                           "Please press any key to continue...";
    EXPECT_EQ(expected, run.output);
}

TEST(LibraryBinding, DirectXMissingFromTheFirstLibraryCallsTheSecondWithEmptiedStrings)
{
    ScratchFolder folder(L"binding-retry");
    folder.CopyIn(DistDirectory() + L"QuilletVidrake.exe");
    folder.CopyIn(FixtureDirectory() + L"fake_gfx.dll", L"VidrakeDx9.dll");
    folder.CopyIn(FixtureDirectory() + L"fake_gfx.dll", L"VidrakeDx8.dll");
    ProgramRun run = RunDriver(folder);
    ASSERT_FALSE(run.timedOut);
    // Only the second library's result counts.
    EXPECT_EQ(0x010u, run.exitCode & ~kDriverBits);
    EXPECT_NE(std::string::npos, run.output.find("\n\ndx8 message that is long enough"));
    EXPECT_EQ(std::string::npos, run.output.find("dx9 message"));

    std::string log = ReadText(folder.Path() + L"fake_gfx.log");
    std::string expected =
        "call=dx9\nstatusIn=0\nmessage=\nmemoryText=\npixelShaderText=\ncardName=\ndriverVersionText=\nalternates=\n"
        // The four report strings are emptied again; the driver version and
        // the alternates keep what the first library wrote.
        "call=dx8\nstatusIn=0\nmessage=\nmemoryText=\npixelShaderText=\ncardName=\ndriverVersionText=dx9\nalternates=dx9\n";
    EXPECT_EQ(expected, log);
}

// The Direct3D 9 build is freed when the fallback replaces it, before the
// Direct3D 8 build loads; the library loaded last is freed at the end of the
// run, also when its load failed after the first had loaded.
TEST(LibraryBinding, EachLibraryIsFreedOnceItsCallIsOver)
{
    ScratchFolder both(L"binding-free-both");
    both.CopyIn(DistDirectory() + L"QuilletVidrake.exe");
    both.CopyIn(FixtureDirectory() + L"fake_gfx.dll", L"VidrakeDx9.dll");
    both.CopyIn(FixtureDirectory() + L"fake_gfx.dll", L"VidrakeDx8.dll");
    ProgramRun run = RunDriver(both);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0x010u, run.exitCode & ~kDriverBits);
    EXPECT_EQ("call=dx9\nfreed=dx9\ncall=dx8\nfreed=dx8\n", ReadText(both.Path() + L"fake_gfx_lifetime.log"));

    ScratchFolder first(L"binding-free-first");
    first.CopyIn(DistDirectory() + L"QuilletVidrake.exe");
    first.CopyIn(FixtureDirectory() + L"fake_gfx.dll", L"VidrakeDx9.dll");
    run = RunDriver(first);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0xFFFFFFFFu, run.exitCode);
    EXPECT_EQ("call=dx9\nfreed=dx9\n", ReadText(first.Path() + L"fake_gfx_lifetime.log"));
}

TEST(LibraryBinding, ALibraryWithoutCheckGfxGivesNoFindingAndNoRetry)
{
    ScratchFolder folder(L"binding-noexport");
    folder.CopyIn(DistDirectory() + L"QuilletVidrake.exe");
    folder.CopyIn(FixtureDirectory() + L"no_check_gfx.dll", L"VidrakeDx9.dll");
    folder.CopyIn(FixtureDirectory() + L"fake_gfx.dll", L"VidrakeDx8.dll");
    ProgramRun run = RunDriver(folder);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode & ~kDriverBits);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder.Path() + L"fake_gfx.log").c_str()));
    EXPECT_EQ(0u, run.output.find("Your system is being analyzed...\n\n\n\nFor more information"));
}

TEST(LibraryBinding, TheProgramFindsItsLibrariesOnlyUnderANameOfProgramNameCharacters)
{
    ScratchFolder folder(L"binding-renamed");
    folder.CopyIn(DistDirectory() + L"QuilletVidrake.exe", L"Checker.exe");
    folder.CopyIn(DistDirectory() + L"QuilletVidrake.exe", L"Vidrake.exe");
    folder.CopyIn(DistDirectory() + L"VidrakeDx9.dll");
    folder.CopyIn(DistDirectory() + L"VidrakeDx8.dll");
    folder.CopyIn(DistDirectory() + L"VideoCardDB.xml");

    // "Checker.exe" keeps "Chec" of its name ("c" is not a character of the
    // program's name): the libraries are looked for as "...\Chec\VidrakeDx8.dll".
    ProgramRun renamed = RunDriver(folder, L"Checker.exe");
    ASSERT_FALSE(renamed.timedOut);
    EXPECT_EQ(0xFFFFFFFFu, renamed.exitCode);
    EXPECT_NE(std::string::npos, renamed.output.find(Narrow(folder.Path()) + "Chec\\VidrakeDx8.dll not found (2)"));

    ProgramRun shortName = RunDriver(folder, L"Vidrake.exe");
    ASSERT_FALSE(shortName.timedOut);
    EXPECT_EQ(0u, shortName.exitCode & 0x001);
    EXPECT_EQ(std::string::npos, shortName.output.find("not found (2)"));
}

TEST(LibraryBinding, StringsFilledByALibraryStayValidAfterItIsFreed)
{
    ScratchFolder folder(L"binding-unload");
    folder.CopyIn(FixtureDirectory() + L"fake_gfx.dll");  // it logs beside itself
    const std::wstring libraries[] = {folder.Path() + L"fake_gfx.dll", DistDirectory() + L"VidrakeDx9.dll",
                                      DistDirectory() + L"VidrakeDx8.dll"};
    for (const std::wstring& library : libraries) {
        std::string out = RunCheckHost(folder, library, 1, L"gfxcheck_host.exe");
        std::string message = ValueOf(out, "message");
        EXPECT_FALSE(message.empty()) << Narrow(library);
        EXPECT_EQ(message + " (after unload)", ValueOf(out, "afterFree.message"));
        for (const char* key : {"memoryText", "pixelShaderText", "cardName", "driverVersionText", "alternates"})
            EXPECT_EQ(ValueOf(out, key), ValueOf(out, std::string("afterFree.") + key)) << key;
    }
}
