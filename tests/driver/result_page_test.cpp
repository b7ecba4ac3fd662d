#include <gtest/gtest.h>

#include <string>

#include "open_handles.h"
#include "result_page.h"

namespace {

const wchar_t kTestKey[] = L"Software\\VidrakeResultPageTest";

void DeleteKeyTree(HKEY parent, const wchar_t* name)
{
    HKEY key;
    if (RegOpenKeyExW(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    wchar_t child[256];
    DWORD length = ARRAYSIZE(child);
    while (RegEnumKeyExW(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        DeleteKeyTree(key, child);
        length = ARRAYSIZE(child);
    }
    RegCloseKey(key);
    RegDeleteKeyW(parent, name);
}

// HKCU\Software\VidrakeResultPageTest\shell\open\command, whose default value
// each test writes; the whole tree goes at the end.
class RegistryValueTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteKeyTree(HKEY_CURRENT_USER, kTestKey); }
    void TearDown() override { DeleteKeyTree(HKEY_CURRENT_USER, kTestKey); }

    void SetDefault(DWORD type, const void* data, DWORD size)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kTestKey) + L"\\shell\\open\\command").c_str(),
                                                 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, nullptr, 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(key);
    }
    void SetDefaultText(const std::wstring& text)
    {
        SetDefault(REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

    std::wstring Read(const wchar_t* const* names, int count)
    {
        WideString value(L"left over from before");
        ReadDefaultRegistryValue(HKEY_CURRENT_USER, names, count, value);
        EXPECT_EQ(static_cast<size_t>(value.Length()), wcslen(value.Text()));
        return value.Text();
    }
    std::wstring Read()
    {
        const wchar_t* const names[] = {L"Software", L"VidrakeResultPageTest", L"shell", L"open", L"command"};
        return Read(names, 5);
    }
};

}  // namespace

TEST_F(RegistryValueTest, UpperCasesOnlyAsciiLetters)
{
    SetDefaultText(L"\"C:\\Program Files\\Br\u00e4wser\\browser.exe\" -osint -url \"%1\"");
    EXPECT_EQ(L"\"C:\\PROGRAM FILES\\BR\u00e4WSER\\BROWSER.EXE\" -OSINT -URL \"%1\"", Read());
}

TEST_F(RegistryValueTest, ReadsAnyTypeAsTerminatedText)
{
    const wchar_t abc[] = {L'a', L'b', L'c'};
    SetDefault(REG_BINARY, abc, sizeof(abc));
    EXPECT_EQ(L"ABC", Read());

    // A string stored without its terminator.
    SetDefault(REG_SZ, abc, sizeof(abc));
    EXPECT_EQ(L"ABC", Read());

    // An odd number of bytes: the last character is half there.
    SetDefault(REG_BINARY, abc, sizeof(abc) - 1);
    EXPECT_EQ(L"ABC", Read());
    SetDefault(REG_BINARY, "x", 1);
    EXPECT_EQ(L"X", Read());

    const DWORD number = 0x00630062;  // "bc" in little-endian characters
    SetDefault(REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(L"BC", Read());

    // The text ends at the first terminator.
    const wchar_t twoParts[] = L"ab\0cd";
    SetDefault(REG_SZ, twoParts, sizeof(twoParts));
    EXPECT_EQ(L"AB", Read());
}

TEST_F(RegistryValueTest, EmptyValueGivesEmptyText)
{
    SetDefault(REG_SZ, L"", 0);
    EXPECT_EQ(L"", Read());
    SetDefaultText(L"");
    EXPECT_EQ(L"", Read());
}

TEST_F(RegistryValueTest, ReadsVeryLongValuesWhole)
{
    std::wstring longText(100000, L'a');
    longText += L".exe";
    SetDefaultText(longText);
    std::wstring read = Read();
    ASSERT_EQ(longText.size(), read.size());
    EXPECT_EQ(std::wstring(100000, L'A') + L".EXE", read);

    std::wstring unterminated(70001, L'q');
    SetDefault(REG_BINARY, unterminated.data(), static_cast<DWORD>(unterminated.size() * sizeof(wchar_t)));
    EXPECT_EQ(std::wstring(70001, L'Q'), Read());
}

TEST_F(RegistryValueTest, MissingKeyOrValueGivesEmptyText)
{
    EXPECT_EQ(L"", Read());

    SetDefaultText(L"c:\\browser.exe");
    const wchar_t* const missingInTheMiddle[] = {L"Software", L"VidrakeResultPageTest", L"verb", L"open", L"command"};
    EXPECT_EQ(L"", Read(missingInTheMiddle, 5));
    // The key exists but has no default value.
    const wchar_t* const withoutValue[] = {L"Software", L"VidrakeResultPageTest", L"shell"};
    EXPECT_EQ(L"", Read(withoutValue, 3));
    EXPECT_EQ(L"C:\\BROWSER.EXE", Read());
}

TEST(CutBrowserCommand, KeepsThePathUpToTheFirstExe)
{
    struct Case {
        const wchar_t* value;
        const wchar_t* command;
    } cases[] = {
        {L"\"C:\\PROGRAM FILES\\MOZILLA FIREFOX\\FIREFOX.EXE\" -OSINT -URL \"%1\"",
         L"\"C:\\PROGRAM FILES\\MOZILLA FIREFOX\\FIREFOX.EXE\""},
        {L"C:\\PROGRAM FILES\\INTERNET EXPLORER\\IEXPLORE.EXE -NOHOME %1",
         L"C:\\PROGRAM FILES\\INTERNET EXPLORER\\IEXPLORE.EXE"},
        {L"\"C:\\TOOLS\\OLD.EXE.BACKUP\\BROWSER.EXE\" %1", L"\"C:\\TOOLS\\OLD.EXE\""},
        {L"C:\\BROWSER.EXE", L"C:\\BROWSER.EXE"},
        {L"\"C:\\BROWSER.EXE\"", L"\"C:\\BROWSER.EXE\""},
    };
    for (const Case& c : cases) {
        WideString command(c.value);
        EXPECT_TRUE(CutBrowserCommand(command)) << c.value;
        EXPECT_STREQ(c.command, command.Text());
    }
}

TEST(CutBrowserCommand, RejectsCommandsWithoutUpperCaseExe)
{
    const wchar_t* values[] = {L"\"C:\\WINDOWS\\SYSTEM32\\RUNDLL32\" URL.DLL %1", L"", L"\"",
                               // The search runs on the upper-cased value only.
                               L"c:\\browser.exe", L"C:\\BROWSER.EX"};
    for (const wchar_t* value : values) {
        WideString command(value);
        EXPECT_FALSE(CutBrowserCommand(command)) << value;
    }
}

TEST(CutBrowserCommand, RejectsPathsLongerThanAnyExecutablePath)
{
    std::wstring longest = L"C:\\" + std::wstring(MAX_PATH - 8, L'X') + L".EXE";  // 259 characters
    WideString fits((longest + L" %1").c_str());
    EXPECT_TRUE(CutBrowserCommand(fits));
    WideString quoted((L"\"" + longest + L"\" %1").c_str());
    EXPECT_TRUE(CutBrowserCommand(quoted));
    EXPECT_EQ(MAX_PATH + 1, quoted.Length());
    WideString tooLong((L"C:\\X" + longest.substr(3) + L" %1").c_str());
    EXPECT_FALSE(CutBrowserCommand(tooLong));
}

class ResultPageAddress : public ::testing::Test {
protected:
    ResultPageAddress() : run(), os{6, 1, 1, 0} {}

    void FillFromLibrary()
    {
        run.memoryText = L"256 MB";
        run.cardName = L"NVIDIA GeForce GTX 470";
        run.pixelShaderText = L"3.0";
        run.driverVersionText = L"8.21.0013.9135";
        run.alternates = L"8.17.0012.6658";
        run.vendorId = 4318;
        run.deviceId = 1741;
    }
    std::wstring Build(int mask, int disk = 250, int memory = 2047)
    {
        return BuildResultPageParameters(mask, run, WideString(L"DirectX 9.0c installed"), disk, memory, os).Text();
    }

    const std::wstring start = L"\"http://" VIDRAKE_RESULT_PAGE_HOST L"/quillet-systemtest?result=";
    TestRun run;
    OsVersion os;
};

TEST_F(ResultPageAddress, CarriesEveryFindingInOrder)
{
    FillFromLibrary();
    EXPECT_EQ(start + L"0&mem=256 MB&card=NVIDIA GeForce GTX 470&pslevel=3.0&dxver=DirectX 9.0c installed"
                      L"&hdspace=250 MB&ram=2047 MB&osver=6.1 SP 1.0&driver=8.21.0013.9135&vendorID=4318"
                      L"&deviceID=1741\"",
              Build(0));

    os = OsVersion{5, 0, 4, 0};
    EXPECT_EQ(start + L"496&mem=256 MB&card=NVIDIA GeForce GTX 470&pslevel=3.0&dxver=DirectX 9.0c installed"
                      L"&hdspace=12 MB&ram=499 MB&osver=5.0 SP 4.0&driver=8.21.0013.9135&vendorID=4318"
                      L"&deviceID=1741\"",
              Build(0x1F0, 12, 499));
}

TEST_F(ResultPageAddress, AlternatesOnlyWithTheRejectedDriverBit)
{
    FillFromLibrary();
    std::wstring rejected = Build(0x400);
    EXPECT_EQ(start + L"1024&mem=256 MB&card=NVIDIA GeForce GTX 470&pslevel=3.0&dxver=DirectX 9.0c installed"
                      L"&hdspace=250 MB&ram=2047 MB&osver=6.1 SP 1.0&driver=8.21.0013.9135&vendorID=4318"
                      L"&deviceID=1741&alternates=8.17.0012.6658\"",
              rejected);
    std::wstring accepted = Build(0x3FF);
    EXPECT_EQ(std::wstring::npos, accepted.find(L"alternates"));
    EXPECT_EQ(L"&deviceID=1741\"", accepted.substr(accepted.size() - 15));
}

TEST_F(ResultPageAddress, EmptyLibraryStringsStandBackToBack)
{
    // Both libraries missing: -1 has every bit, 0x400 among them.
    run.vendorId = 0;
    run.deviceId = 0;
    EXPECT_EQ(start + L"-1&mem=&card=&pslevel=&dxver=DirectX 9.0c installed&hdspace=250 MB&ram=2047 MB"
                      L"&osver=6.1 SP 1.0&driver=&vendorID=0&deviceID=0&alternates=\"",
              Build(-1));
}

TEST_F(ResultPageAddress, NumbersAreSigned)
{
    run.vendorId = static_cast<int>(0x80000000u);
    run.deviceId = static_cast<int>(0xFFFFFFFFu);
    os = OsVersion{0xFFFFFFFFu, 0, 0xFFFF, 0};
    std::wstring address = Build(0x10, -1, 0);
    EXPECT_NE(std::wstring::npos, address.find(L"&vendorID=-2147483648&deviceID=-1\"")) << address;
    EXPECT_NE(std::wstring::npos, address.find(L"&hdspace=-1 MB&ram=0 MB&osver=-1.0 SP 65535.0&")) << address;
    EXPECT_EQ(start + L"16&", address.substr(0, start.size() + 3));
}

TEST(LaunchBrowser, LeavesNoProcessHandleBehind)
{
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    WideString command(L"\"");
    command.Append(system);
    command.Append(L"\\CMD.EXE\"");
    WideString parameters(L"/c exit");

    LaunchBrowser(command, parameters);  // the shell's own first-use handles
    DWORD before = OpenHandleCount();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 5; ++i)
        LaunchBrowser(command, parameters);
    EXPECT_EQ(before, OpenHandleCount());
}
