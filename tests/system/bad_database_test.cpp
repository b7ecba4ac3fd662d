// Databases that are empty, broken, hostile or huge, read by the real
// libraries through Wine's Microsoft.XMLDOM: each gives its defined outcome in
// bounded time and memory, without a crash.
#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "test_support.h"

namespace {

// The record that tells the Direct3D 8 build the emulated card's level.
std::string CardRecord(const std::string& vendor, const std::string& device)
{
    return "<Card ManufacturerID=\"" + vendor + "\" DeviceID=\"" + device + "\" PixelShaderVersion=\"3\"/>";
}

struct Outcome {
    std::string dx9Status, dx8Status, dx8Level;
    DWORD milliseconds;
    long peakKb;
};

class BadDatabases : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ScratchFolder folder(L"baddb-platform");
        std::string out = RunCheckHost(folder, DistDirectory() + L"VidrakeDx8.dll", 1, L"gfxcheck_host.exe");
        vendor_ = ValueOf(out, "vendorId");
        device_ = ValueOf(out, "deviceId");
    }

    static std::string Card() { return CardRecord(vendor_, device_); }

    // Both libraries against `database`, read beside the host.
    Outcome Check(const std::string& database)
    {
        ScratchFolder folder(L"baddb");
        folder.WriteFile(L"VideoCardDB.xml", database);
        Outcome outcome = {};
        DWORD start = GetTickCount();
        std::string dx9 = RunCheckHost(folder, DistDirectory() + L"VidrakeDx9.dll");
        std::string dx8 = RunCheckHost(folder, DistDirectory() + L"VidrakeDx8.dll");
        outcome.milliseconds = GetTickCount() - start;
        outcome.dx9Status = ValueOf(dx9, "status");
        outcome.dx8Status = ValueOf(dx8, "status");
        outcome.dx8Level = ValueOf(dx8, "pixelShaderText");
        for (const std::string* out : {&dx9, &dx8}) {
            std::string kb = ValueOf(*out, "peakKb");
            if (kb != "<missing>")
                outcome.peakKb = std::max(outcome.peakKb, std::stol(kb));
        }
        return outcome;
    }

    // A database that yields no element: the card is unknown to it.
    void ExpectNoRecords(const Outcome& outcome)
    {
        EXPECT_EQ("0", outcome.dx9Status);
        EXPECT_EQ("8", outcome.dx8Status);
        EXPECT_EQ("?", outcome.dx8Level);
    }

    void ExpectCardFound(const Outcome& outcome)
    {
        EXPECT_EQ("0", outcome.dx9Status);
        EXPECT_EQ("0", outcome.dx8Status);
        EXPECT_EQ("3", outcome.dx8Level);
    }

    static std::string vendor_, device_;
};

std::string BadDatabases::vendor_, BadDatabases::device_;

void Report(const char* name, const Outcome& outcome)
{
    std::cout << name << ": " << outcome.milliseconds << " ms for both libraries, peak " << outcome.peakKb / 1024
              << " MB\n";
}

}  // namespace

TEST_F(BadDatabases, UnreadableFilesYieldNoRecords)
{
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"not well-formed", "<VideoCardDB>" + Card()},
        {"not XML", std::string("\x7f" "ELF\x01\x01\x01\0\0\0 binary data", 21)},
        {"wrong declared encoding", "<?xml version=\"1.0\" encoding=\"no-such-encoding\"?><VideoCardDB>" + Card() +
                                        "</VideoCardDB>"},
        {"misspelt and prefixed names",
         "<VideoCardDB xmlns:q=\"urn:q\"><Card manufacturerID=\"" + vendor_ + "\" DeviceId=\"" + device_ +
             "\" PixelShaderVersion=\"3\"/><Card q:ManufacturerID=\"" + vendor_ + "\" q:DeviceID=\"" + device_ +
             "\" PixelShaderVersion=\"3\"/><Card ManufacturerID =\"" + vendor_ +
             "\" PixelShaderversion=\"3\" CardName=\"nothing\"/></VideoCardDB>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectNoRecords(Check(c.text));
    }
}

TEST_F(BadDatabases, OtherEncodingsAreRead)
{
    std::string utf8 = "<?xml version=\"1.0\"?><VideoCardDB Note=\"caf\xc3\xa9\">" + Card() + "</VideoCardDB>";
    std::string utf16 = "\xff\xfe";  // little-endian, with its byte order mark
    for (char c : std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?><VideoCardDB>" + Card() + "</VideoCardDB>")) {
        utf16 += c;
        utf16 += '\0';
    }
    std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><VideoCardDB Note=\"caf\xe9\">" + Card() +
                         "</VideoCardDB>";
    ExpectCardFound(Check(utf8));
    ExpectCardFound(Check(utf16));
    ExpectCardFound(Check(latin1));
}

TEST_F(BadDatabases, HugeFilesAreReadWhole)
{
    // 100,000 records with the card's own record last, and values of 1 MB.
    std::string many = "<VideoCardDB>";
    for (int i = 0; i < 100000; ++i)
        many += "<Driver ManufacturerID=\"4098\" DeviceID=\"" + std::to_string(i) + "\" DriverVersion=\"6.14.0010." +
                std::to_string(i) + "\"/>";
    many += Card() + "</VideoCardDB>";
    Outcome manyRecords = Check(many);
    ExpectCardFound(manyRecords);
    Report("100,000 records", manyRecords);

    std::string big(1 << 20, 'x');
    Outcome bigValues = Check("<VideoCardDB><Card CardName=\"" + big + "\" DriverVersion=\"" + big + "\"/>" + Card() +
                              "</VideoCardDB>");
    ExpectCardFound(bigValues);
    Report("1 MB values", bigValues);
    for (const Outcome* outcome : {&manyRecords, &bigValues}) {
        EXPECT_GT(outcome->peakKb, 0);  // the figure is readable
        EXPECT_LT(outcome->peakKb, 512 * 1024);
        EXPECT_LT(outcome->milliseconds, 60000u);
    }
}

TEST_F(BadDatabases, HostileDocumentsStayBounded)
{
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<n>";
    deep += Card();
    for (int i = 0; i < 100000; ++i)
        deep += "</n>";
    Outcome deeplyNested = Check(deep);
    Report("100,000 levels deep", deeplyNested);
    ExpectNoRecords(deeplyNested);  // the parser refuses such depth

    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE VideoCardDB [<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j)
            laughs += "&l" + std::to_string(i - 1) + ";";
        laughs += "\">";
    }
    laughs += "]><VideoCardDB>" + Card() + "<Card CardName=\"&l9;\"/></VideoCardDB>";
    Outcome billionLaughs = Check(laughs);
    Report("billion laughs", billionLaughs);
    ExpectNoRecords(billionLaughs);  // the parser refuses the amplification

    ScratchFolder outside(L"baddb-outside");
    outside.WriteFile(L"record.xml", Card());
    std::string external = "<?xml version=\"1.0\"?><!DOCTYPE VideoCardDB [<!ENTITY card SYSTEM \"file:///" +
                           Narrow(outside.Path()) + "record.xml\">]><VideoCardDB>&card;</VideoCardDB>";
    Outcome externalEntity = Check(external);
    Report("external entity", externalEntity);
    ExpectNoRecords(externalEntity);  // nothing is read from outside the database

    for (const Outcome* outcome : {&deeplyNested, &billionLaughs, &externalEntity}) {
        EXPECT_LT(outcome->milliseconds, 60000u);
        EXPECT_LT(outcome->peakKb, 512 * 1024);
    }
}
