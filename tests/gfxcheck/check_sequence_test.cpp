// The verdict of the graphics check, driven with plain values.
#include <gtest/gtest.h>

#include <string>

#include "check_gfx.h"
#include "check_sequence.h"

namespace {

std::wstring Text(const WideString& s) { return s.Text(); }

const std::wstring kMemoryLow32 =
    L"Your graphics card has insufficient hardware memory: 32 MB. Minimum requirement is 64 MB. Program "
    L"instability and data loss will most likely occur.\n\n";

}  // namespace

TEST(ReportVideoMemory, SixtyFourMegabytesIsTheMinimum)
{
    WideString message, memoryText(L"old");
    int status = 0;
    ReportVideoMemory(64, message, memoryText, &status);
    EXPECT_EQ(L"64 MB", Text(memoryText));
    EXPECT_TRUE(message.IsEmpty());
    EXPECT_EQ(0, status);

    ReportVideoMemory(63, message, memoryText, &status);
    EXPECT_EQ(L"63 MB", Text(memoryText));
    EXPECT_EQ(std::wstring(L"Your graphics card has insufficient hardware memory: 63 MB. Minimum requirement is 64 "
                           L"MB. Program instability and data loss will most likely occur.\n\n"),
              Text(message));
    EXPECT_EQ(GFX_MEMORY_LOW, status);
}

TEST(ReportVideoMemory, NegativeIsUndeterminedAndZeroIsNoFinding)
{
    WideString message, memoryText(L"kept");
    int status = 0;
    ReportVideoMemory(-1, message, memoryText, &status);
    EXPECT_EQ(L"kept", Text(memoryText));
    EXPECT_EQ(std::wstring(kMemoryUndeterminedText), Text(message));
    EXPECT_EQ(GFX_MEMORY_UNDETERMINED, status);

    WideString zeroMessage, zeroText(L"kept");
    int zeroStatus = 0;
    ReportVideoMemory(0, zeroMessage, zeroText, &zeroStatus);
    EXPECT_TRUE(zeroMessage.IsEmpty());
    EXPECT_EQ(0, zeroStatus);
#if defined(VIDRAKE_D3D9)
    EXPECT_EQ(L"kept", Text(zeroText));
#else
    EXPECT_EQ(L"0 MB", Text(zeroText));
#endif
}

TEST(ReportFinalVerdict, MeetsRequirementsOnlyWhenNothingWasSaid)
{
    WideString message;
    int status = 0;
    ReportFinalVerdict(message, &status);
    EXPECT_EQ(L"Your Graphics Card meets the minimum requirements for Tarvold Quillet!", Text(message));
    EXPECT_EQ(0, status);

    WideString flagged;
    int preset = SYS_RAM_LOW;
    ReportFinalVerdict(flagged, &preset);
    EXPECT_EQ(std::wstring(kMeetsRequirementsText), Text(flagged));
    EXPECT_EQ(SYS_RAM_LOW | GFX_MEETS_WITH_FLAGS, preset);

    WideString spoken(L"earlier text");
    int untouched = 0;
    ReportFinalVerdict(spoken, &untouched);
    EXPECT_EQ(L"earlier text", Text(spoken));
    EXPECT_EQ(0, untouched);
}

#if defined(VIDRAKE_D3D9)

TEST(ReportPixelShader, Direct3D9ReadsTheDeviceVersion)
{
    struct Case {
        DWORD version;
        const wchar_t* text;
        int status;
    } cases[] = {{0xFFFF0300, L"3.0", 0}, {0xFFFF0200, L"2.0", 0}, {0xFFFF0104, L"1.4", GFX_SHADER_LOW},
                 {0, L"0.0", GFX_SHADER_LOW}, {0x0000020A, L"2.10", 0}};
    for (const Case& c : cases) {
        WideString message, level(L">");
        int status = 0;
        ReportPixelShader(c.version, message, level, &status);
        EXPECT_EQ(std::wstring(L">") + c.text, Text(level)) << c.version;
        EXPECT_EQ(c.status, status) << c.version;
        EXPECT_EQ(c.status ? std::wstring(kShaderLowText) : std::wstring(), Text(message)) << c.version;
    }
}

#else

TEST(ReportPixelShader, Direct3D8ReadsTheDatabaseResult)
{
    struct Case {
        int lookup;
        const wchar_t* text;
        const wchar_t* message;
        int status;
    } cases[] = {
        {3, L"3", L"", 0},
        {2, L"2", L"", 0},
        {1, L"1", kShaderLowText, GFX_SHADER_LOW},
        {0, L"0", kShaderLowText, GFX_SHADER_LOW},
        {-1, L"?", kShaderUndeterminedText, GFX_SHADER_UNDETERMINED},
        {-2, L"0", kDriverRejectedText, GFX_DRIVER_REJECTED},  // a rejection never says Shader low
        {-3, L"1", kDriverRejectedText, GFX_DRIVER_REJECTED},
        {-4, L"2", kDriverRejectedText, GFX_DRIVER_REJECTED},
    };
    for (const Case& c : cases) {
        WideString message, level;
        int status = 0;
        ReportPixelShader(c.lookup, message, level, &status);
        EXPECT_EQ(c.text, Text(level)) << c.lookup;
        EXPECT_EQ(c.message, Text(message)) << c.lookup;
        EXPECT_EQ(c.status, status) << c.lookup;
    }
}

#endif

TEST(VerdictTexts, FollowEachOtherWithoutSeparator)
{
    WideString message, memoryText;
    int status = 0;
#if defined(VIDRAKE_D3D9)
    WideString level;
    ReportPixelShader(0x0104, message, level, &status);
#else
    WideString level;
    ReportPixelShader(-3, message, level, &status);
#endif
    ReportVideoMemory(32, message, memoryText, &status);
    ReportFinalVerdict(message, &status);
#if defined(VIDRAKE_D3D9)
    EXPECT_EQ(std::wstring(kShaderLowText) + kMemoryLow32, Text(message));
    EXPECT_EQ(GFX_SHADER_LOW | GFX_MEMORY_LOW, status);
#else
    EXPECT_EQ(std::wstring(kDriverRejectedText) + kMemoryLow32, Text(message));
    EXPECT_EQ(GFX_DRIVER_REJECTED | GFX_MEMORY_LOW, status);
#endif
}

TEST(DirectXMissing, NamesTheBuildsDirectXAndTheDownloadPage)
{
    std::wstring text = kDirectXMissingText;
#if defined(VIDRAKE_D3D9)
    EXPECT_EQ(0u, text.find(L"Error! DirectX 9.0c does not seem to be installed on your Computer. Please download "
                            L"and install the newest version of (DirectX 9.0c or higher) from http"));
#else
    EXPECT_EQ(0u, text.find(L"Error! DirectX 8.0 does not seem to be installed on your Computer. Please download "
                            L"and install the newest version of (DirectX 8.0 or higher) from http"));
#endif
    EXPECT_NE(std::wstring::npos, text.find(VIDRAKE_DIRECTX_DOWNLOAD_URL L" and run this application again."));
    EXPECT_EQ(text.size() - 32, text.rfind(L" and run this application again."));
}
