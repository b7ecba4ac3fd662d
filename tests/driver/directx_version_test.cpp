#include <gtest/gtest.h>

#include <map>
#include <string>

#include "directx_version.h"

namespace {

FileVersion Version(WORD a, WORD b, WORD c, WORD d)
{
    return (static_cast<FileVersion>(a) << 48) | (static_cast<FileVersion>(b) << 32) |
           (static_cast<FileVersion>(c) << 16) | d;
}

// The files of a system directory, by name.
typedef std::map<std::wstring, FileVersion> SystemFiles;

bool LookUp(const wchar_t* fileName, void* context, FileVersion* version)
{
    const SystemFiles* files = static_cast<const SystemFiles*>(context);
    SystemFiles::const_iterator found = files->find(fileName);
    if (found == files->end())
        return false;
    *version = found->second;
    return true;
}

std::wstring Climb(SystemFiles files)
{
    DirectXVersion version = ClimbFileVersionLadder(LookUp, &files);
    wchar_t text[10];
    FormatDirectXVersion(version, text, 10);
    return text;
}

std::wstring Text(DirectXVersion version, int capacity = 10)
{
    wchar_t text[16];
    wmemset(text, L'#', 16);
    FormatDirectXVersion(version, text, capacity);
    return text;
}

}  // namespace

TEST(FileVersionLadder, NoFileOfTheLadderGivesNothing)
{
    SystemFiles none;
    DirectXVersion version = ClimbFileVersionLadder(LookUp, &none);
    EXPECT_EQ(0u, version.major);
    EXPECT_EQ(0u, version.minor);
    EXPECT_EQ(L' ', version.letter);
    EXPECT_EQ(0u, PackDirectXVersion(version));
    EXPECT_EQ(L"0.0", Climb({{L"kernel32.dll", Version(5, 1, 2600, 0)}}));
}

TEST(FileVersionLadder, PlainConditionsHoldFromExactEquality)
{
    EXPECT_EQ(L"0.0", Climb({{L"ddraw.dll", Version(4, 2, 0, 94)}}));
    EXPECT_EQ(L"1.0", Climb({{L"ddraw.dll", Version(4, 2, 0, 95)}}));
    EXPECT_EQ(L"2.0", Climb({{L"ddraw.dll", Version(4, 3, 0, 1096)}}));
    EXPECT_EQ(L"3.0a", Climb({{L"ddraw.dll", Version(4, 4, 0, 68)}, {L"d3drg8x.dll", Version(4, 4, 0, 70)}}));
    EXPECT_EQ(L"3.0", Climb({{L"ddraw.dll", Version(4, 4, 0, 68)}, {L"d3drg8x.dll", Version(4, 4, 0, 69)}}));
    EXPECT_EQ(L"6.1a", Climb({{L"ddraw.dll", Version(4, 6, 0, 436)}, {L"dplayx.dll", Version(4, 6, 3, 518)}}));
    EXPECT_EQ(L"7.0a", Climb({{L"ddraw.dll", Version(4, 7, 0, 700)}, {L"dinput.dll", Version(4, 7, 0, 716)}}));
    // The low half counts as much as the high half.
    EXPECT_EQ(L"6.0", Climb({{L"ddraw.dll", Version(4, 6, 0, 435)}}));
}

TEST(FileVersionLadder, LastMatchingRungWins)
{
    // A later rung names an older release than an earlier one.
    EXPECT_EQ(L"3.0a", Climb({{L"d3drg8x.dll", Version(4, 4, 0, 70)}}));
    EXPECT_EQ(L"8.1b", Climb({{L"ddraw.dll", Version(4, 2, 0, 95)}, {L"mpg2splt.ax", Version(6, 3, 1, 885)}}));
    // An earlier match is kept when a later file is too old.
    EXPECT_EQ(L"7.0", Climb({{L"ddraw.dll", Version(4, 7, 0, 700)}, {L"dinput.dll", Version(4, 7, 0, 715)}}));
}

TEST(FileVersionLadder, SplitConditionsFollowTheFirstVersionPart)
{
    EXPECT_EQ(L"8.0", Climb({{L"ddraw.dll", Version(4, 8, 0, 400)}}));
    EXPECT_EQ(L"7.0", Climb({{L"ddraw.dll", Version(4, 8, 0, 399)}}));
    EXPECT_EQ(L"8.0", Climb({{L"ddraw.dll", Version(5, 1, 2258, 400)}}));
    EXPECT_EQ(L"7.0", Climb({{L"ddraw.dll", Version(5, 1, 2258, 399)}}));
    // Rung 12 at exact equality, rung 13 not reached.
    EXPECT_EQ(L"8.1", Climb({{L"ddraw.dll", Version(5, 1, 2600, 0)}, {L"d3d8.dll", Version(5, 1, 2600, 881)}}));
    EXPECT_EQ(L"8.1a", Climb({{L"ddraw.dll", Version(5, 1, 2600, 0)}, {L"d3d8.dll", Version(4, 8, 1, 901)}}));
    EXPECT_EQ(L"8.2", Climb({{L"dpnet.dll", Version(5, 2, 3677, 134)}}));
    EXPECT_EQ(L"0.0", Climb({{L"dpnet.dll", Version(5, 2, 3677, 133)}}));
    // A 5.x version under the 4.x limit's numbers does not pass the 5.x limit.
    EXPECT_EQ(L"0.0", Climb({{L"dpnet.dll", Version(5, 0, 0, 0)}}));
}

TEST(FileVersionLadder, FirstPartSixPassesOnlyThePlainConditions)
{
    // Rungs 1, 2, 3, 5, 6, 7 and 9 match; the split rung 11 does not.
    EXPECT_EQ(L"7.0", Climb({{L"ddraw.dll", Version(6, 0, 0, 0)}}));
    EXPECT_EQ(L"0.0", Climb({{L"d3d8.dll", Version(6, 0, 0, 0)}, {L"dpnet.dll", Version(6, 0, 0, 0)}}));
}

TEST(FileVersionLadder, AReadableD3d9EndsAtNineWithoutALetter)
{
    EXPECT_EQ(L"9.0", Climb({{L"d3d9.dll", 0}}));
    EXPECT_EQ(L"9.0", Climb({{L"mpg2splt.ax", Version(6, 3, 1, 885)}, {L"d3d9.dll", Version(1, 0, 0, 0)}}));
    // Wine's own system files.
    SystemFiles wine = {{L"ddraw.dll", Version(5, 3, 1, 904)}, {L"d3d8.dll", Version(5, 3, 1, 904)},
                        {L"dplayx.dll", Version(5, 3, 1, 904)}, {L"dinput.dll", Version(5, 1, 2600, 881)},
                        {L"dpnet.dll", Version(5, 3, 0, 900)}};
    EXPECT_EQ(L"8.2", Climb(wine));
    wine[L"d3d9.dll"] = Version(5, 3, 1, 904);
    DirectXVersion version = ClimbFileVersionLadder(LookUp, &wine);
    EXPECT_EQ(0x90000u, PackDirectXVersion(version));
    EXPECT_EQ(L' ', version.letter);
}

TEST(CompareFileVersions, ComparesHighHalvesFirstThenLowHalvesUnsigned)
{
    EXPECT_EQ(0, CompareFileVersions(Version(4, 8, 1, 881), Version(4, 8, 1, 881)));
    EXPECT_EQ(1, CompareFileVersions(Version(4, 9, 0, 0), Version(4, 8, 65535, 65535)));
    EXPECT_EQ(-1, CompareFileVersions(Version(4, 8, 65535, 65535), Version(4, 9, 0, 0)));
    EXPECT_EQ(1, CompareFileVersions(Version(4, 8, 1, 882), Version(4, 8, 1, 881)));
    EXPECT_EQ(-1, CompareFileVersions(Version(4, 8, 0, 1), Version(4, 8, 1, 0)));
    // Halves with the top bit set are large, not negative.
    EXPECT_EQ(1, CompareFileVersions(Version(0x8000, 0, 0, 0), Version(0x7FFF, 0, 0, 0)));
    EXPECT_EQ(1, CompareFileVersions(Version(1, 0, 0x8000, 0), Version(1, 0, 1, 0)));
}

TEST(DirectXVersionText, PacksAndShowsTheLowerCasedLetter)
{
    EXPECT_EQ(0x90003u, PackDirectXVersion({9, 0, L'c'}));
    EXPECT_EQ(L"9.0c", Text({9, 0, L'c'}));
    EXPECT_EQ(0x90003u, PackDirectXVersion({9, 0, L'C'}));
    EXPECT_EQ(L"9.0c", Text({9, 0, L'C'}));
    EXPECT_EQ(0x90000u, PackDirectXVersion({9, 0, L' '}));
    EXPECT_EQ(L"9.0", Text({9, 0, L' '}));
    EXPECT_EQ(0x80100u, PackDirectXVersion({8, 1, L' '}));
    EXPECT_EQ(0x8011Au, PackDirectXVersion({8, 1, L'Z'}));
    EXPECT_EQ(0x30001u, PackDirectXVersion({3, 0, L'a'}));
}

TEST(DirectXVersionText, OtherCharactersAreShownButAddNothing)
{
    EXPECT_EQ(0x90000u, PackDirectXVersion({9, 0, L'-'}));
    EXPECT_EQ(L"9.0-", Text({9, 0, L'-'}));
    EXPECT_EQ(0x90000u, PackDirectXVersion({9, 0, L'@'}));
    EXPECT_EQ(0x90000u, PackDirectXVersion({9, 0, L'{'}));
}

TEST(DirectXVersionText, StaysWithinItsBuffer)
{
    // 12 characters of text in 10: cut to 9 and terminated.
    EXPECT_EQ(L"123456.78", Text({123456, 7890, L'a'}));
    EXPECT_EQ(L"9.", Text({9, 0, L'c'}, 3));
    wchar_t untouched[2] = {L'#', L'#'};
    FormatDirectXVersion({9, 0, L'c'}, untouched, 0);
    EXPECT_EQ(L'#', untouched[0]);
}

// The platform's own answers: Wine's diagnostic provider and system files.
TEST(DirectXVersionOnThePlatform, ProviderReportsNineZeroC)
{
    DirectXVersion version = {0, 0, L' '};
    ASSERT_TRUE(QueryDiagnosticVersion(&version));
    EXPECT_EQ(9u, version.major);
    EXPECT_EQ(0u, version.minor);
    EXPECT_EQ(L'c', version.letter);

    DWORD packed = 1;
    wchar_t text[10];
    DetectDirectXVersion(&packed, text, 10);
    EXPECT_EQ(0x90003u, packed);
    EXPECT_STREQ(L"9.0c", text);
    DetectDirectXVersion(nullptr, nullptr, 0);
    DetectDirectXVersion(&packed, nullptr, 0);
    EXPECT_EQ(0x90003u, packed);

    WideString sentence(L"dxver=");
    DescribeDirectX(sentence);
    EXPECT_STREQ(L"dxver=DirectX 9.0c installed", sentence.Text());
}

TEST(DirectXVersionOnThePlatform, ScanEndsAtD3d9)
{
    DirectXVersion version = {7, 7, L'x'};
    ScanSystemFileVersions(&version);
    EXPECT_EQ(9u, version.major);
    EXPECT_EQ(0u, version.minor);
    EXPECT_EQ(L' ', version.letter);
}

TEST(DirectXVersionOnThePlatform, ReadFileVersionOfSystemFiles)
{
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    std::wstring directory = std::wstring(system) + L"\\";

    FileVersion version = 0;
    ASSERT_EQ(S_OK, ReadFileVersion((directory + L"ddraw.dll").c_str(), &version));
    EXPECT_GE(CompareFileVersions(version, Version(4, 2, 0, 95)), 0);
    EXPECT_EQ(S_OK, ReadFileVersion((directory + L"d3d9.dll").c_str(), &version));

    // A file without a version resource, and no file at all.
    version = 42;
    EXPECT_EQ(E_FAIL, ReadFileVersion((directory + L"mpg2splt.ax").c_str(), &version));
    EXPECT_EQ(E_FAIL, ReadFileVersion((directory + L"no-such-file.dll").c_str(), &version));
    EXPECT_EQ(42u, version);

    EXPECT_EQ(E_INVALIDARG, ReadFileVersion(nullptr, &version));
    EXPECT_EQ(E_INVALIDARG, ReadFileVersion((directory + L"ddraw.dll").c_str(), nullptr));
}
