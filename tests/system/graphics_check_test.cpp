// CheckGfx of the real libraries on Wine's emulated card: each case starts a
// host program (the gfxcheck_host fixture named QuilletVidrake.exe, so the
// libraries read the database beside it) after setting Wine's knobs.
#include <gtest/gtest.h>

#include <regex>

#include "test_support.h"
#include "verdict_texts.h"

namespace {

// A folder with the host program, both libraries and, if given, a database.
struct CheckFolder {
    ScratchFolder folder;
    CheckFolder(const std::wstring& name, const std::string& database) : folder(name)
    {
        folder.CopyIn(DistDirectory() + L"VidrakeDx9.dll");
        folder.CopyIn(DistDirectory() + L"VidrakeDx8.dll");
        if (!database.empty())
            folder.WriteFile(L"VideoCardDB.xml", database);
    }
    std::string Check(const wchar_t* library, int calls = 1) const
    {
        return RunCheckHost(folder, folder.Path() + library, calls);
    }
};

std::string ReadSampleDatabase()
{
    HANDLE file = CreateFileW((DistDirectory() + L"VideoCardDB.xml").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    std::string text;
    char chunk[4096];
    DWORD got;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0)
        text.append(chunk, got);
    CloseHandle(file);
    return text;
}

int MegabytesOf(const std::string& memoryText)
{
    std::smatch match;
    return std::regex_match(memoryText, match, std::regex("([0-9]+) MB")) ? std::stoi(match[1]) : -1;
}

}  // namespace

TEST(GraphicsCheck, TheEmulatedCardMeetsEveryRequirement)
{
    CheckFolder check(L"gfx-default", ReadSampleDatabase());
    std::string dx9 = check.Check(L"VidrakeDx9.dll");
    EXPECT_EQ("0", ValueOf(dx9, "status"));
    EXPECT_EQ(kMeetsRequirements, ValueOf(dx9, "message"));
    EXPECT_EQ("3.0", ValueOf(dx9, "pixelShaderText"));
    EXPECT_GE(MegabytesOf(ValueOf(dx9, "memoryText")), 64);
    EXPECT_EQ("4318", ValueOf(dx9, "vendorId"));
    EXPECT_FALSE(ValueOf(dx9, "cardName").empty());
    EXPECT_TRUE(std::regex_match(ValueOf(dx9, "driverVersionText"), std::regex("[0-9]+\\.[0-9]+\\.[0-9]{4,}\\.[0-9]+")));
    EXPECT_EQ("", ValueOf(dx9, "alternates"));

    // The Direct3D 8 build takes the card's shader level from the database.
    std::string dx8 = check.Check(L"VidrakeDx8.dll");
    EXPECT_EQ("0", ValueOf(dx8, "status"));
    EXPECT_EQ(kMeetsRequirements, ValueOf(dx8, "message"));
    EXPECT_EQ("3", ValueOf(dx8, "pixelShaderText"));
    EXPECT_EQ(ValueOf(dx9, "cardName"), ValueOf(dx8, "cardName"));
    EXPECT_EQ(ValueOf(dx9, "memoryText"), ValueOf(dx8, "memoryText"));
    EXPECT_EQ(ValueOf(dx9, "deviceId"), ValueOf(dx8, "deviceId"));
}

TEST(GraphicsCheck, WithoutADatabaseTheDirect3D8BuildCannotTellTheShaderLevel)
{
    CheckFolder check(L"gfx-nodb", "");
    std::string dx8 = check.Check(L"VidrakeDx8.dll");
    EXPECT_EQ("8", ValueOf(dx8, "status"));
    EXPECT_EQ("?", ValueOf(dx8, "pixelShaderText"));
    EXPECT_EQ(AsHostValue(kShaderUndetermined), ValueOf(dx8, "message"));
    EXPECT_EQ("0", ValueOf(check.Check(L"VidrakeDx9.dll"), "status"));
}

TEST(GraphicsCheck, PixelShaderOnePointFourIsTooLow)
{
    auto shader = WineDirect3DNumber(L"MaxShaderModelPS", 1);
    CheckFolder check(L"gfx-ps1", ReadSampleDatabase());
    std::string dx9 = check.Check(L"VidrakeDx9.dll");
    EXPECT_EQ("32", ValueOf(dx9, "status"));
    EXPECT_EQ("1.4", ValueOf(dx9, "pixelShaderText"));
    EXPECT_EQ(AsHostValue(kShaderLow), ValueOf(dx9, "message"));

    // Wine then reports a GeForce3, which the sample database lists with level 1.
    std::string dx8 = check.Check(L"VidrakeDx8.dll");
    EXPECT_EQ(ValueOf(dx9, "cardName"), ValueOf(dx8, "cardName"));
    EXPECT_EQ("1", ValueOf(dx8, "pixelShaderText"));
    EXPECT_EQ("32", ValueOf(dx8, "status"));
    EXPECT_EQ(AsHostValue(kShaderLow), ValueOf(dx8, "message"));
}

TEST(GraphicsCheck, ThirtyTwoMegabytesOfVideoMemoryIsTooLittle)
{
    auto memory = WineDirect3DText(L"VideoMemorySize", L"32");
    CheckFolder check(L"gfx-32mb", ReadSampleDatabase());
    for (const wchar_t* library : {L"VidrakeDx9.dll", L"VidrakeDx8.dll"}) {
        std::string out = check.Check(library);
        EXPECT_EQ("16", ValueOf(out, "status")) << Narrow(library);
        EXPECT_EQ("32 MB", ValueOf(out, "memoryText")) << Narrow(library);
        EXPECT_EQ(AsHostValue(MemoryLow(32)), ValueOf(out, "message")) << Narrow(library);
    }
}

TEST(GraphicsCheck, Direct3D9MissingIsReportedAndNothingElseIsWritten)
{
    auto d3d9 = DisableWineDll(L"d3d9");
    CheckFolder check(L"gfx-nod3d9", ReadSampleDatabase());
    std::string dx9 = check.Check(L"VidrakeDx9.dll");
    EXPECT_EQ("1", ValueOf(dx9, "status"));
    EXPECT_EQ(0u, ValueOf(dx9, "message").find("Error! DirectX 9.0c does not seem to be installed on your Computer."));
    for (const char* key : {"memoryText", "pixelShaderText", "cardName", "driverVersionText", "alternates"})
        EXPECT_EQ("", ValueOf(dx9, key)) << key;
    EXPECT_EQ("-1", ValueOf(dx9, "vendorId"));  // the host's preset, untouched
}

TEST(GraphicsCheck, ADeviceThatCannotBeCreatedIsReportedWithItsResultName)
{
    // Without an OpenGL renderer Wine's Direct3D refuses every device.
    auto renderer = WineDirect3DText(L"renderer", L"no3d");
    CheckFolder check(L"gfx-nodevice", ReadSampleDatabase());
    for (const wchar_t* library : {L"VidrakeDx9.dll", L"VidrakeDx8.dll"}) {
        std::string out = check.Check(library);
        EXPECT_EQ("2", ValueOf(out, "status")) << Narrow(library);
        EXPECT_EQ("An unknown error occured when trying to test your graphics card.D3DERR_INVALIDCALL",
                  ValueOf(out, "message"));
        for (const char* key : {"memoryText", "pixelShaderText", "cardName", "driverVersionText", "alternates"})
            EXPECT_EQ("", ValueOf(out, key)) << key;
        EXPECT_EQ("-1", ValueOf(out, "vendorId"));
    }
}

TEST(GraphicsCheck, Direct3D8BuildFallsBackToDirectDrawWhenDirect3D8IsMissing)
{
    std::string withDirect3D8;
    {
        CheckFolder check(L"gfx-d3d8", ReadSampleDatabase());
        withDirect3D8 = check.Check(L"VidrakeDx8.dll");
    }
    auto d3d8 = DisableWineDll(L"d3d8");
    CheckFolder check(L"gfx-nod3d8", ReadSampleDatabase());
    std::string dx8 = check.Check(L"VidrakeDx8.dll");
    EXPECT_EQ("0", ValueOf(dx8, "status")) << dx8;
    EXPECT_EQ(kMeetsRequirements, ValueOf(dx8, "message"));
    EXPECT_EQ("4318", ValueOf(dx8, "vendorId"));
    EXPECT_FALSE(ValueOf(dx8, "cardName").empty());
    EXPECT_EQ(ValueOf(withDirect3D8, "memoryText"), ValueOf(dx8, "memoryText"));
    EXPECT_EQ(ValueOf(withDirect3D8, "pixelShaderText"), ValueOf(dx8, "pixelShaderText"));
}

TEST(GraphicsCheck, Direct3D8AndDirectDrawMissingLeaveOnlyTheFallbacksFindings)
{
    auto d3d8 = DisableWineDll(L"d3d8");
    auto ddraw = DisableWineDll(L"ddraw");
    CheckFolder check(L"gfx-noddraw", ReadSampleDatabase());
    std::string dx8 = check.Check(L"VidrakeDx8.dll");
    // DirectX missing again, no shader level for an unidentified card, and no
    // memory: Wine's diagnostic provider fails without DirectDraw as well.
    EXPECT_EQ(std::to_string(0x001 | 0x004 | 0x008), ValueOf(dx8, "status"));
    std::string message = ValueOf(dx8, "message");
    EXPECT_EQ(0u, message.find(AsHostValue(kShaderUndetermined)));
    EXPECT_NE(std::string::npos, message.find(kMemoryUndeterminedStart));
    EXPECT_EQ(std::string::npos, message.find("Error! DirectX"));
    EXPECT_EQ("0", ValueOf(dx8, "vendorId"));
    EXPECT_EQ("0", ValueOf(dx8, "deviceId"));
    EXPECT_EQ("0.0.0000.0", ValueOf(dx8, "driverVersionText"));
    EXPECT_EQ("", ValueOf(dx8, "cardName"));
    EXPECT_EQ("", ValueOf(dx8, "memoryText"));
    EXPECT_EQ("?", ValueOf(dx8, "pixelShaderText"));
}

TEST(GraphicsCheck, ARejectedDriverOffersTheAcceptedDriversOfItsFamily)
{
    std::string identity;
    {
        CheckFolder probe(L"gfx-identity", "");
        identity = probe.Check(L"VidrakeDx9.dll");
    }
    std::string vendor = ValueOf(identity, "vendorId");
    std::string device = ValueOf(identity, "deviceId");
    std::string driver = ValueOf(identity, "driverVersionText");
    std::string family = driver.substr(0, driver.find('.'));
    std::string database =
        "<VideoCardDB>"
        "<Driver ManufacturerID=\"" + vendor + "\" DeviceID=\"*\" DriverVersion=\"" + family + ".1.0001.1\"/>"
        "<Driver ManufacturerID=\"" + vendor + "\" DeviceID=\"*\" DriverVersion=\"" + driver + "\" BlackList=\"true\"/>"
        "<Driver ManufacturerID=\"" + vendor + "\" DeviceID=\"*\" DriverVersion=\"99.1.0001.1\"/>"
        "<Driver ManufacturerID=\"" + vendor + "\" DeviceID=\"*\" DriverVersion=\"" + family + ".2.0002.2\"/>"
        "<Card ManufacturerID=\"" + vendor + "\" DeviceID=\"" + device + "\" PixelShaderVersion=\"2\"/>"
        "</VideoCardDB>";
    CheckFolder check(L"gfx-rejected", database);
    std::string alternates = family + ".1.0001.1, " + family + ".2.0002.2";

    std::string dx9 = check.Check(L"VidrakeDx9.dll");
    EXPECT_EQ("1024", ValueOf(dx9, "status"));
    EXPECT_EQ(AsHostValue(kDriverRejected), ValueOf(dx9, "message"));
    EXPECT_EQ(alternates, ValueOf(dx9, "alternates"));

    std::string dx8 = check.Check(L"VidrakeDx8.dll");
    EXPECT_EQ("1024", ValueOf(dx8, "status"));
    EXPECT_EQ("2", ValueOf(dx8, "pixelShaderText"));  // the level of the card's own record
    EXPECT_EQ(alternates, ValueOf(dx8, "alternates"));

    auto memory = WineDirect3DText(L"VideoMemorySize", L"32");
    std::string lowMemory = check.Check(L"VidrakeDx9.dll");
    EXPECT_EQ(std::to_string(0x410), ValueOf(lowMemory, "status"));
    EXPECT_EQ(AsHostValue(kDriverRejected + MemoryLow(32)), ValueOf(lowMemory, "message"));
}

TEST(GraphicsCheck, TwoHundredChecksInOneProcessAnswerAlikeAndKeepNothing)
{
    CheckFolder check(L"gfx-repeat", ReadSampleDatabase());
    for (const wchar_t* library : {L"VidrakeDx9.dll", L"VidrakeDx8.dll"}) {
        std::string out = check.Check(library, 200);
        EXPECT_EQ("1", ValueOf(out, "identical")) << Narrow(library);
        EXPECT_EQ("0", ValueOf(out, "status")) << Narrow(library);
        // No probe window outlives its check; handles and memory grow by no
        // more than the platform's own caches settle at.
        EXPECT_EQ("0", ValueOf(out, "threadWindows")) << Narrow(library);
        EXPECT_EQ("0", ValueOf(out, "runtimeLoaded")) << Narrow(library);
        EXPECT_GT(std::stol(ValueOf(out, "handlesBefore")), 0) << out;  // the count is readable
        EXPECT_LE(std::stol(ValueOf(out, "handleGrowth")), 5) << out;
        EXPECT_LE(std::stol(ValueOf(out, "privateKbGrowth")), 2048) << out;
        std::cout << Narrow(library) << ": 200 calls, handle growth " << ValueOf(out, "handleGrowth")
                  << ", private KB growth " << ValueOf(out, "privateKbGrowth") << "\n";
    }
}
