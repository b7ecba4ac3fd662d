// Each lint rule against a database that breaks it and a near miss that does
// not, read through the library's own scan.
#include <gtest/gtest.h>

#include <string>

#include "lint.h"
#include "lint_output.h"
#include "lint_record_rules.h"
#include "test_support.h"

namespace {

const std::string kCard = "<Card ManufacturerID=\"4318\" DeviceID=\"1741\" CardName=\"GeForce\" PixelShaderVersion=\"3\"/>";

std::string Driver(const std::string& version, const std::string& blackList = "", const std::string& device = "*")
{
    return "<Driver ManufacturerID=\"4318\" DeviceID=\"" + device + "\" DriverVersion=\"" + version + "\"" +
           (blackList.empty() ? "" : " BlackList=\"" + blackList + "\"") + "/>";
}

std::string Candidates(int count)
{
    std::string records;
    for (int i = 0; i < count; ++i)
        records += Driver("6.14.0010." + std::to_string(7000 + i));
    return records;
}

LintReport Lint(const std::string& records)
{
    ScratchFolder folder(L"lint");
    folder.WriteFile(L"VideoCardDB.xml", "<?xml version=\"1.0\"?>\n<VideoCardDB>\n" + records + "\n</VideoCardDB>\n");
    LintReport report;
    LintDatabase(folder.Path() + L"VideoCardDB.xml", report);
    return report;
}

std::string Describe(const LintReport& report)
{
    return LintText(L"VideoCardDB.xml", report);
}

int CountRule(const LintReport& report, const std::string& rule)
{
    int count = 0;
    for (const LintFinding& finding : report.findings)
        count += finding.rule == rule;
    return count;
}

}  // namespace

TEST(Lint, EachRuleFiresOnItsCaseAndNotOnTheNearMiss)
{
    const struct {
        const char* rule;
        std::string breaks;
        std::string nearMiss;
        long element;           // where the finding stands (the root is 1)
        const char* attribute;  // the attribute it names
    } cases[] = {
        {"misspelt-attribute", "<Card ManufacturerID=\"4318\" DeviceId=\"1741\" PixelShaderVersion=\"3\"/>",
         "<Card ManufacturerID=\"4318\" DeviceID=\"1741\" Vendor=\"NVIDIA\" PixelShaderVersion=\"3\"/>", 2, "DeviceId"},
        {"misspelt-attribute",
         "<Card xmlns:q=\"urn:q\" ManufacturerID=\"4318\" q:DeviceID=\"1741\" PixelShaderVersion=\"3\"/>",
         "<Card xmlns:q=\"urn:q\" ManufacturerID=\"4318\" DeviceID=\"1741\" q:Note=\"x\" PixelShaderVersion=\"3\"/>",
         2, "q:DeviceID"},
        {"misspelt-attribute", kCard + Driver("6.14.0010.7164").replace(8, 14, "ManufactureID"), kCard, 3,
         "ManufactureID"},
        {"bad-vendor-id", "<Card ManufacturerID=\"0x10DE\" DeviceID=\"1741\" PixelShaderVersion=\"3\"/>", kCard, 2,
         "ManufacturerID"},
        {"bad-device-id", "<Card ManufacturerID=\"4318\" DeviceID=\"1741 rev\" PixelShaderVersion=\"3\"/>", kCard, 2,
         "DeviceID"},
        {"bad-driver-version", Driver("6.14.10.7164") + kCard, Driver("6.14.0010.7164") + kCard, 2, "DriverVersion"},
        {"bad-blacklist", Driver("6.14.0010.6177", "True") + Driver("6.14.0010.7164") + kCard,
         Driver("6.14.0010.6177", "true") + Driver("6.14.0010.7164") + kCard, 2, "BlackList"},
        {"bad-pixel-shader-version", "<Card ManufacturerID=\"4318\" DeviceID=\"1741\" PixelShaderVersion=\"2.0\"/>",
         "<Card ManufacturerID=\"4318\" DeviceID=\"1741\" PixelShaderVersion=\"2\"/>", 2, "PixelShaderVersion"},
        {"never-matches",
         "<Vendor ManufacturerID=\"4318\">" + kCard + "</Vendor>", "<Vendor Name=\"NVIDIA\">" + kCard + "</Vendor>", 2,
         ""},
        {"overridden-level", kCard + Driver("6.14.0010.7164"), Driver("6.14.0010.7164") + kCard, 3,
         "PixelShaderVersion"},
        {"too-many-candidates", Candidates(31) + kCard, Candidates(30) + kCard, 32, "DriverVersion"},
        {"rejected-without-alternate", Driver("6.14.0010.6177", "true") + Driver("7.15.0011.1000") + kCard,
         Driver("6.14.0010.6177", "true") + Driver("6.14.0010.7164") + kCard, 2, "DriverVersion"},
        {"rejection-without-level",
         Driver("6.14.0010.6177", "true", "1741") + Driver("6.14.0010.7164", "", "1741"),
         Driver("6.14.0010.6177", "true", "1741") + Driver("6.14.0010.7164", "", "1741") + kCard, 2, "DriverVersion"},
        {"shadowed-record", Driver("6.14.0010.6177") + Driver("6.14.0010.6177", "true", "1741") + kCard,
         Driver("6.14.0010.6177", "true", "1741") + Driver("6.14.0010.6177") + kCard, 3, "DriverVersion"},
        {"duplicate-record", kCard + Driver("6.14.0010.7164") + kCard, kCard + Driver("6.14.0010.7164") +
         "<Card ManufacturerID=\"4318\" DeviceID=\"1741\" CardName=\"GeForce\" PixelShaderVersion=\"2\"/>", 4, ""},
        // A record that matches by its ids decides for an adapter of another name.
        {"shadowed-record",
         "<Card CardName=\"X\" DriverVersion=\"6.14.0010.7164\"/><Card CardName=\"X\" DriverVersion=\"6.14.0010.7164\" "
         "PixelShaderVersion=\"2\"/>",
         "<Card CardName=\"X\" DriverVersion=\"6.14.0010.7164\"/><Card ManufacturerID=\"10\" DeviceID=\"20\" "
         "CardName=\"X\" DriverVersion=\"6.14.0010.7164\"/>", 3, "DriverVersion"},
        {"accepted-without-level", Driver("6.14.0010.7164") + kCard,
         Driver("6.14.0010.7164", "", "1741").insert(8, "CardName=\"GeForce\" PixelShaderVersion=\"3\" ") +
             Driver("6.14.0010.7164") + kCard,
         2, ""},
        // The card named with another device of its vendor: the vendor-wide record accepts without a level.
        {"accepted-without-level",
         Driver("6.14.0010.7164", "", "1741").insert(8, "PixelShaderVersion=\"3\" ") + Driver("6.14.0010.7164") +
             kCard,
         Driver("6.14.0010.7164", "", "1741").insert(8, "CardName=\"GeForce\" PixelShaderVersion=\"3\" ") +
             Driver("6.14.0010.7164") + kCard,
         3, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        LintReport breaks = Lint(c.breaks);
        EXPECT_EQ(1, LintExitStatus(breaks));
        ASSERT_EQ(1, CountRule(breaks, c.rule)) << Describe(breaks);
        for (const LintFinding& finding : breaks.findings) {
            if (finding.rule != c.rule)
                continue;
            EXPECT_EQ(c.element, finding.element) << Describe(breaks);
            EXPECT_EQ(c.attribute, Narrow(finding.attribute)) << Describe(breaks);
            EXPECT_FALSE(finding.consequence.empty());
        }
        // Most cases accept a driver through a vendor-wide record without a
        // level, which accepted-without-level reports beside them.
        LintReport nearMiss = Lint(c.nearMiss);
        EXPECT_EQ(0, CountRule(nearMiss, c.rule)) << Describe(nearMiss);
        EXPECT_EQ(nearMiss.findings.size(), static_cast<size_t>(CountRule(nearMiss, "accepted-without-level")))
            << Describe(nearMiss);
        EXPECT_TRUE(nearMiss.complete);
    }
}

TEST(Lint, StoppedRulesNeverPass)
{
    ScratchFolder folder(L"lint-limit");
    folder.WriteFile(L"VideoCardDB.xml", "<VideoCardDB>" + Candidates(5) + kCard + "</VideoCardDB>");
    LintReport stopped;
    LintDatabase(folder.Path() + L"VideoCardDB.xml", stopped, 10);
    EXPECT_FALSE(stopped.complete);
    EXPECT_EQ(3, LintExitStatus(stopped));
    EXPECT_NE(std::string::npos, LintJson(L"x", stopped).find("\"complete\": false")) << LintJson(L"x", stopped);
    EXPECT_NE(std::string::npos, LintText(L"x", stopped).find("incomplete  the matching rules"));

    LintReport whole;
    LintDatabase(folder.Path() + L"VideoCardDB.xml", whole);
    EXPECT_TRUE(whole.complete);
    EXPECT_EQ(1, LintExitStatus(whole)) << Describe(whole);  // accepted-without-level
}

TEST(Lint, FindingsNameTheRecordsPath)
{
    LintReport report = Lint("<Vendor Name=\"A\"/><Vendor Name=\"B\">" + kCard +
                             "<Card ManufacturerID=\"4318\" DeviceID=\"0x6CD\" PixelShaderVersion=\"3\"/></Vendor>");
    ASSERT_EQ(1u, report.findings.size()) << Describe(report);
    EXPECT_EQ(L"/VideoCardDB/Vendor[2]/Card[2]", report.findings[0].path);
    EXPECT_EQ(5, report.findings[0].element);
}

TEST(Lint, UnreadableDatabaseGivesTheParsersReason)
{
    LintReport broken = Lint("<Card ManufacturerID=\"4318\"\n  DeviceID=\"1741\">");
    EXPECT_EQ(2, LintExitStatus(broken));
    EXPECT_FALSE(broken.loadError.reason.IsEmpty());
    EXPECT_GE(broken.loadError.line, 3);  // the document ends unclosed after the records
    EXPECT_GT(broken.loadError.column, 0);
    EXPECT_NE(std::string::npos, LintText(L"x", broken).find("not-well-formed"));

    LintReport missing;
    LintDatabase(L"C:\\no\\such\\folder\\VideoCardDB.xml", missing);
    EXPECT_EQ(2, LintExitStatus(missing));
    EXPECT_NE(std::string::npos, LintJson(L"x", missing).find("\"readable\": false"));
}

TEST(Lint, ValueRules)
{
    EXPECT_EQ("", IdProblem(L"4318"));
    EXPECT_EQ("", IdProblem(L"2147483647"));
    EXPECT_EQ("", IdProblem(L"000000000001741"));  // leading zeros are not beyond 32 bits
    EXPECT_NE(std::string::npos, IdProblem(L"-0").find("read as 0, so it matches 0"));
    EXPECT_NE(std::string::npos, IdProblem(L"1741 rev").find("so it matches 1741"));
    for (const wchar_t* bad : {L"", L"0x10DE", L"-4318", L"4318 ", L"NVIDIA", L"2147483648", L"99999999999"})
        EXPECT_NE("", IdProblem(bad)) << Narrow(bad);

    EXPECT_TRUE(IsCheckDriverVersion(L"6.14.0010.6177"));
    EXPECT_TRUE(IsCheckDriverVersion(L"8.21.12345.0"));
    for (const wchar_t* bad : {L"6.14.10.6177", L"6.14.0010", L"6.14.0010.6177.1", L"06.14.0010.6177",
                               L"6.14.0010.6177 ", L"6.14.0010.70000", L""})
        EXPECT_FALSE(IsCheckDriverVersion(bad)) << Narrow(bad);

    EXPECT_EQ(kDeviceIdAttribute, MeantAttribute(L"deviceid"));
    EXPECT_EQ(kBlackListAttribute, MeantAttribute(L"Blacklist"));
    EXPECT_EQ(kPixelShaderVersionAttribute, MeantAttribute(L"PixelShadrVersio"));
    EXPECT_EQ(kOtherAttribute, MeantAttribute(L"PixelShaderVer"));
    EXPECT_EQ(kCardNameAttribute, MeantAttribute(L"x:CardName"));
    EXPECT_EQ(kOtherAttribute, MeantAttribute(L"CardName"));
    EXPECT_EQ(kOtherAttribute, MeantAttribute(L"Name"));
}
