#include <gtest/gtest.h>

#include <limits.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "video_card_lookup.h"
#include "video_card_scan.h"

namespace {

const DWORD kVendor = 4318;
const DWORD kDevice = 1741;
const wchar_t kCard[] = L"NVIDIA GeForce GTX 470";
const wchar_t kDriver[] = L"6.14.0010.6177";

struct Attribute {
    const wchar_t* name;
    const wchar_t* value;  // null: the parser gave no text
};
typedef std::vector<Attribute> Record;

#if defined(VIDRAKE_D3D8)
const Direct3DFlavour kThisBuild = kDirect3D8Build;
#else
const Direct3DFlavour kThisBuild = kDirect3D9Build;
#endif

// Runs records through the scan as LookUpVideoCard does, one element each, for
// an adapter with the given description and installed driver.
int Scan(const std::vector<Record>& records, WideString& alternates, const wchar_t* driver = kDriver,
         const wchar_t* description = kCard, DWORD device = kDevice)
{
    VideoCardQuery query;
    EXPECT_EQ(S_OK, PrepareVideoCardQuery(kVendor, device, description, driver, query));
    VideoCardScanEnd end;
    end.documentObject = true;
    for (size_t r = 0; r < records.size(); ++r) {
        std::vector<DatabaseAttribute> attributes;
        for (const Attribute& attribute : records[r]) {
            DatabaseAttribute read = {SysAllocString(attribute.name), SysAllocString(attribute.value),
                                      kOtherAttribute};
            read.kind = ClassifyRecordAttribute(query, read.name);
            attributes.push_back(read);
        }
        DatabaseElement element = {static_cast<long>(r), L"", static_cast<long>(attributes.size()),
                                   attributes.data()};
        VideoCardRecord record;
        RecordEffect effect = ScanDatabaseElement(query, element, record, end);
        for (DatabaseAttribute& attribute : attributes) {
            SysFreeString(attribute.name);
            SysFreeString(attribute.value);
        }
        if (effect == kRecordAccepted)
            break;
    }
    return VideoCardLookupResult(kThisBuild, end, alternates);
}

int Scan(const std::vector<Record>& records)
{
    WideString alternates;
    return Scan(records, alternates);
}

// A record that matches the adapter without naming its driver.
Record Candidate(const wchar_t* driver, const wchar_t* level = L"2", const wchar_t* blackList = L"")
{
    return {{L"ManufacturerID", L"4318"}, {L"DeviceID", L"*"}, {L"DriverVersion", driver},
            {L"PixelShaderVersion", level}, {L"BlackList", blackList}};
}

Record Exact(const wchar_t* level, const wchar_t* blackList = L"")
{
    return {{L"ManufacturerID", L"4318"}, {L"DeviceID", L"1741"}, {L"DriverVersion", kDriver},
            {L"PixelShaderVersion", level}, {L"BlackList", blackList}};
}

const Record kRejected = Exact(L"2", L"true");
const Record kNoLevel = {{L"ManufacturerID", L"4318"}, {L"DeviceID", L"*"}, {L"DriverVersion", L"6.14.0010.7164"}};

}  // namespace

TEST(VideoCardScan, RecordMatchesAdapterByIdsOrExactCardName)
{
    struct Case {
        Record record;
        int expected;  // the record's level when it matches, else -1
    } cases[] = {
        {{{L"ManufacturerID", L"4318"}, {L"DeviceID", L"1741"}, {L"PixelShaderVersion", L"3"}}, 3},
        {{{L"ManufacturerID", L" 4318"}, {L"DeviceID", L"1741 rev"}, {L"PixelShaderVersion", L"3"}}, 3},
        {{{L"ManufacturerID", L"4318"}, {L"DeviceID", L"*"}, {L"PixelShaderVersion", L"3"}}, 3},
        {{{L"ManufacturerID", L"4318"}, {L"DeviceID", L"1742"}, {L"PixelShaderVersion", L"3"}}, -1},
        {{{L"ManufacturerID", L"0x10DE"}, {L"DeviceID", L"0x6CD"}, {L"PixelShaderVersion", L"3"}}, -1},
        {{{L"ManufacturerID", L"4318"}, {L"DeviceID", L"0x6CD"}, {L"PixelShaderVersion", L"3"}}, -1},
        {{{L"ManufacturerID", L"4318"}, {L"PixelShaderVersion", L"3"}}, -1},
        {{{L"DeviceID", L"*"}, {L"PixelShaderVersion", L"3"}}, -1},
        {{{L"manufacturerid", L"4318"}, {L"x:DeviceID", L"*"}, {L"PixelShaderVersion", L"3"}}, -1},
        {{{L"CardName", kCard}, {L"PixelShaderVersion", L"3"}}, 3},
        {{{L"DeviceID", L"1741"}, {L"CardName", kCard}, {L"PixelShaderVersion", L"3"}}, 3},
        {{{L"CardName", L"NVIDIA GeForce GTX 470 "}, {L"PixelShaderVersion", L"3"}}, -1},
        {{{L"CardName", L"nvidia geforce gtx 470"}, {L"PixelShaderVersion", L"3"}}, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, Scan({c.record})) << Narrow(c.record[0].name) << "=" << Narrow(c.record[0].value);
}

TEST(VideoCardScan, AttributeWithoutTextReadsAsEmptyText)
{
    WideString alternates;
    EXPECT_EQ(4, Scan({{{L"CardName", nullptr}, {L"PixelShaderVersion", L"4"}}}, alternates, kDriver, L""));
    EXPECT_EQ(0, Scan({{{L"ManufacturerID", L"4318"}, {L"DeviceID", nullptr}, {L"PixelShaderVersion", nullptr}}},
                      alternates, kDriver, kCard, 0));
    EXPECT_EQ(-1, Scan({{{L"CardName", nullptr}, {L"PixelShaderVersion", L"4"}}}));
}

TEST(VideoCardScan, FirstAcceptedExactMatchEndsTheScan)
{
    WideString alternates = L"kept";
    EXPECT_EQ(3, Scan({Candidate(L"6.14.0010.7000", L"1"), kRejected, Exact(L"3"), Exact(L"5"), kRejected},
                      alternates));
    EXPECT_EQ(-1, Scan({Candidate(L"6.14.0010.7000", L"1"), {{L"CardName", kCard}, {L"DriverVersion", kDriver}}},
                       alternates));
    EXPECT_EQ(4, Scan({Exact(L"4", L"not_recommended"), kRejected}, alternates));
    EXPECT_EQ(6, Scan({Exact(L"6", L"false")}, alternates));
    // Only the driver names an exact match: the card may match by name.
    EXPECT_EQ(2, Scan({{{L"CardName", kCard}, {L"DriverVersion", kDriver}, {L"PixelShaderVersion", L"2"}}}));
    EXPECT_EQ(L"kept", std::wstring(alternates.Text()));
}

TEST(VideoCardScan, RejectionOffersCandidatesOfTheDriverFamilyInOrder)
{
    WideString alternates = L"earlier: ";
    int result = Scan({Candidate(L"6.14.0010.7164"), Candidate(L"7.15.0011.1000"), kRejected,
                       Candidate(L"6.14.0010.9000", L"2", L"true"), Candidate(L"6.14.0010.9100", L"2", L"not_recommended"),
                       Candidate(L"6.14.10.8000"), Candidate(L"61.1.1.1"), Candidate(L".6.14.0010.5000", L"1")},
                      alternates);
    EXPECT_EQ(L"earlier: 6.14.0010.7164, 6.14.10.8000, .6.14.0010.5000", std::wstring(alternates.Text()));
#if defined(VIDRAKE_D3D8)
    EXPECT_EQ(-3, result);
#else
    EXPECT_EQ(-2, result);
#endif

    WideString none;
    result = Scan({Candidate(L"7.15.0011.1000", L"2"), kRejected}, none);
    EXPECT_TRUE(none.IsEmpty());
#if defined(VIDRAKE_D3D8)
    EXPECT_EQ(-4, result);
    EXPECT_EQ(-1, Scan({kRejected}));
    EXPECT_EQ(-1, Scan({Candidate(L"6.14.0010.7164", L"2"), kNoLevel, kRejected}));
    EXPECT_EQ(INT_MIN, Scan({Candidate(L"6.14.0010.7164", L"99999999999"), kRejected}));
#else
    EXPECT_EQ(-2, result);
    EXPECT_EQ(-2, Scan({kRejected}));
#endif
}

TEST(VideoCardScan, CandidateWithoutDriverTextIsNeverOffered)
{
    const wchar_t* driver = L"0.0.0000.0";
    Record rejected = {{L"CardName", kCard}, {L"DriverVersion", driver}, {L"BlackList", L"true"}};
    Record noVersion = {{L"CardName", kCard}, {L"PixelShaderVersion", L"2"}};
    WideString alternates;
    Scan({noVersion, Candidate(L""), Candidate(L"..."), Candidate(nullptr), Candidate(L"0.1.0000.1"), rejected},
         alternates, driver);
    EXPECT_EQ(L"0.1.0000.1", std::wstring(alternates.Text()));

    // An installed driver without a text of its own offers nothing either.
    WideString none;
    Record emptyRejected = {{L"CardName", kCard}, {L"DriverVersion", L""}, {L"BlackList", L"true"}};
    EXPECT_LE(Scan({Candidate(L"..."), noVersion, emptyRejected}, none, L""), -2);
    EXPECT_TRUE(none.IsEmpty());
}

TEST(VideoCardScan, OnlyThirtyCandidatesKeptButLaterRecordsSetTheFallback)
{
    std::vector<std::wstring> versions;
    for (int i = 0; i < 35; ++i)
        versions.push_back(L"6.14.0010." + std::to_wstring(7000 + i));
    std::vector<Record> records = {kRejected};
    for (const std::wstring& version : versions)
        records.push_back(Candidate(version.c_str(), L"1"));
    records.push_back(Candidate(L"6.14.0010.9999", L"3", L"true"));
    WideString alternates;
    int result = Scan(records, alternates);

    std::wstring expected;
    for (int i = 0; i < kMaxDriverCandidates; ++i)
        expected += (i ? L", " : L"") + versions[i];
    EXPECT_EQ(expected, std::wstring(alternates.Text()));
#if defined(VIDRAKE_D3D8)
    EXPECT_EQ(-5, result);
#else
    EXPECT_EQ(-2, result);
#endif
}

// --- through Wine's Microsoft.XMLDOM ----------------------------------------

namespace {

#if defined(VIDRAKE_D3D8)
const wchar_t kFlavour[] = L"dx8";
#else
const wchar_t kFlavour[] = L"dx9";
#endif
const wchar_t kChildMarker[] = L"VIDRAKE_DB_CHILD";

// A database in a scratch folder that serves as the host directory.
struct Database {
    ScratchFolder folder;
    Database(const std::wstring& name, const std::string& xml) : folder(name + L"_" + kFlavour)
    {
        folder.WriteFile(L"VideoCardDB.xml", xml);
    }
    WideString Directory() const { return folder.Path().c_str(); }
};

int LookUp(const std::string& xml, WideString& alternates, const wchar_t* description = kCard)
{
    Database database(L"video_card_db", xml);
    return LookUpVideoCard(database.Directory(), kVendor, kDevice, description, kDriver, alternates);
}

int LookUp(const std::string& xml, const wchar_t* description = kCard)
{
    WideString alternates;
    return LookUp(xml, alternates, description);
}

std::string Document(const std::string& records)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- cards -->\n<VideoCardDB>\n" + records +
           "</VideoCardDB>\n";
}

}  // namespace

TEST(VideoCardLookup, RejectedDriverOffersItsFamilyFromNestedRecords)
{
    WideString alternates = L"x";
    int result = LookUp(Document("<Vendor ManufacturerID=\"4318\" Name=\"NVIDIA\">\n"
                                 " <Driver ManufacturerID=\"4318\" DeviceID=\"*\" DriverVersion=\"6.14.0010.6177\""
                                 " BlackList=\"true\"><Note>text is ignored</Note></Driver>\n"
                                 " <Driver ManufacturerID=\"4318\" DeviceID=\"*\" DriverVersion=\"6.14.0010.7164\"/>\n"
                                 " <Driver ManufacturerID=\"4318\" DeviceID=\"*\" DriverVersion=\"8.17.0012.9573\"/>\n"
                                 " <Driver ManufacturerID=\"4318\" DeviceID=\"*\" DriverVersion=\"6.14.10.8000\""
                                 " PixelShaderVersion=\"2\"/>\n"
                                 " <Driver ManufacturerID=\"4098\" DeviceID=\"*\" DriverVersion=\"6.14.0010.6476\"/>\n"
                                 "</Vendor>\n"),
                        alternates);
    EXPECT_EQ(L"x6.14.0010.7164, 6.14.10.8000", std::wstring(alternates.Text()));
#if defined(VIDRAKE_D3D8)
    EXPECT_EQ(-4, result);
#else
    EXPECT_EQ(-2, result);
#endif
}

TEST(VideoCardLookup, MatchesByIdsWildcardAndExactCardName)
{
    EXPECT_EQ(2, LookUp(Document("<Card ManufacturerID=\"4318\" DeviceID=\"*\" PixelShaderVersion=\"2\"/>")));
    EXPECT_EQ(-1, LookUp(Document("<Card ManufacturerID=\"0x10DE\" DeviceID=\"0x6CD\" PixelShaderVersion=\"2\"/>")));
    EXPECT_EQ(-1, LookUp(Document("<Card ManufacturerID=\"4318\" PixelShaderVersion=\"2\"/>")));
    EXPECT_EQ(3, LookUp(Document("<Card CardName=\"NVIDIA GeForce GTX 470\" PixelShaderVersion=\"3\"/>")));
    EXPECT_EQ(-1, LookUp(Document("<Card CardName=\"NVIDIA GEFORCE GTX 470\" PixelShaderVersion=\"3\"/>")));
    EXPECT_EQ(1, LookUp(Document("<Card CardName=\"ATI &amp; Co\" PixelShaderVersion=\"1\"/>"), L"ATI & Co"));
    EXPECT_EQ(5, LookUp(Document("<Card CardName=\"\" PixelShaderVersion=\"5\"/>"), L""));
    EXPECT_EQ(-1, LookUp(Document("<Card xmlns:q=\"urn:q\" q:CardName=\"NVIDIA GeForce GTX 470\""
                                  " PixelShaderVersion=\"3\"/>")));
    // The root element is a record like any other.
    EXPECT_EQ(4, LookUp("<VideoCardDB ManufacturerID=\"4318\" DeviceID=\"1741\" PixelShaderVersion=\"4\"/>"));
}

TEST(VideoCardLookup, EveryElementsNamesReadAsTheirOwnText)
{
    // Names that differ from recognised ones only in case stay unrecognised on
    // every element, not only the first.
    std::string records = "<Card ManufacturerID=\"4318\" DeviceID=\"1741\" PixelShaderVersion=\"2\"/>\n";
    for (int i = 0; i < 3; ++i)
        records += "<Card manufacturerID=\"4318\" DeviceID=\"1741\" PixelShaderVersion=\"3\"/>\n";
    EXPECT_EQ(2, LookUp(Document(records)));
    // More distinct names than are remembered, met before the recognised ones.
    std::string many = "<Note";
    for (int i = 0; i < 20; ++i)
        many += " N" + std::to_string(i) + "=\"x\"";
    many += "/>\n<Card ManufacturerID=\"4318\" DeviceID=\"1741\" PixelShaderVersion=\"4\"/>\n";
    EXPECT_EQ(4, LookUp(Document(many)));
}

TEST(VideoCardLookup, FirstAcceptedExactMatchEndsTheScan)
{
    const std::string rejected =
        "<D ManufacturerID=\"4318\" DeviceID=\"1741\" DriverVersion=\"6.14.0010.6177\" BlackList=\"true\"/>\n";
    const std::string accepted =
        "<D CardName=\"NVIDIA GeForce GTX 470\" DriverVersion=\"6.14.0010.6177\" PixelShaderVersion=\"3\"/>\n";
    WideString alternates = L"kept";
    EXPECT_EQ(3, LookUp(Document(rejected + accepted + rejected), alternates));
    EXPECT_EQ(L"kept", std::wstring(alternates.Text()));
}

TEST(VideoCardLookup, OnlyThirtyCandidatesAreOffered)
{
    std::string records = "<D ManufacturerID=\"4318\" DeviceID=\"1741\" DriverVersion=\"6.14.0010.6177\""
                          " BlackList=\"true\"/>\n";
    std::wstring expected;
    for (int i = 0; i < 32; ++i) {
        std::string version = "6.14.0010." + std::to_string(7000 + i);
        records += "<D ManufacturerID=\"4318\" DeviceID=\"*\" DriverVersion=\"" + version +
                   "\" PixelShaderVersion=\"" + std::to_string(i % 4) + "\"/>\n";
        if (i < 30)
            expected += (i ? L", " : L"") + Widen(version);
    }
    WideString alternates;
    int result = LookUp(Document(records), alternates);
    EXPECT_EQ(expected, std::wstring(alternates.Text()));
#if defined(VIDRAKE_D3D8)
    EXPECT_EQ(-5, result);  // the 32nd record's level, 3
#else
    EXPECT_EQ(-2, result);
#endif
}

TEST(VideoCardLookup, MissingOrMalformedDatabaseGivesMinusOne)
{
    {
        ScratchFolder empty(std::wstring(L"video_card_db_empty_") + kFlavour);
        WideString alternates = L"kept";
        EXPECT_EQ(-1, LookUpVideoCard(empty.Path().c_str(), kVendor, kDevice, kCard, kDriver, alternates));
        EXPECT_EQ(L"kept", std::wstring(alternates.Text()));
    }
    // Well-formed up to the missing end tag: even the exact match before it is not read.
    WideString alternates;
    EXPECT_EQ(-1, LookUp("<VideoCardDB>\n<Card ManufacturerID=\"4318\" DeviceID=\"*\" PixelShaderVersion=\"2\"/>\n"
                         "<Card ManufacturerID=\"4318\" DeviceID=\"1741\" DriverVersion=\"6.14.0010.6177\""
                         " BlackList=\"true\"/>\n",
                         alternates));
    EXPECT_TRUE(alternates.IsEmpty());
}

TEST(VideoCardLookup, TenThousandRecords)
{
    std::string records;
    for (int i = 0; i < 9999; ++i)
        records += "<Driver ManufacturerID=\"4098\" DeviceID=\"" + std::to_string(i) +
                   "\" DriverVersion=\"6.14.0010." + std::to_string(i) + "\" PixelShaderVersion=\"2\"/>\n";
    records += "<Card CardName=\"NVIDIA GeForce GTX 470\" DriverVersion=\"6.14.0010.6177\" PixelShaderVersion=\"3\"/>\n";
    Database database(L"video_card_db_large", Document(records));
    WideString alternates;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int result = LookUpVideoCard(database.Directory(), kVendor, kDevice, kCard, kDriver, alternates);
    QueryPerformanceCounter(&end);
    EXPECT_EQ(3, result);
    printf("lookup over 10000 records: %.0f ms\n", (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart);
}

// Run by the test below in a child process in which msxml3 is disabled.
TEST(VideoCardLookupChild, WithoutDocumentObjectGivesMinusOne)
{
    if (!GetEnvironmentVariableW(kChildMarker, nullptr, 0))
        GTEST_SKIP() << "runs only as a child of WithoutMsxml3";
    CoInitialize(nullptr);
    CLSID documentClass;
    IUnknown* document = nullptr;
    if (SUCCEEDED(CLSIDFromProgID(L"Microsoft.XMLDOM", &documentClass)) &&
        SUCCEEDED(CoCreateInstance(documentClass, nullptr, CLSCTX_ALL, IID_IUnknown,
                                     reinterpret_cast<void**>(&document))))
        document->Release();
    ASSERT_EQ(nullptr, document) << "msxml3 is still available";
    WideString alternates = L"kept";
    EXPECT_EQ(-1, LookUp(Document("<Card CardName=\"NVIDIA GeForce GTX 470\" PixelShaderVersion=\"3\"/>"), alternates));
    EXPECT_EQ(L"kept", std::wstring(alternates.Text()));
}

TEST(VideoCardLookup, WithoutMsxml3)
{
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    auto disabled = DisableWineDll(L"msxml3");
    SetEnvironmentVariableW(kChildMarker, L"1");
    ProgramRun run = RunProgram(std::wstring(L"\"") + program +
                                L"\" --gtest_filter=VideoCardLookupChild.WithoutDocumentObjectGivesMinusOne");
    SetEnvironmentVariableW(kChildMarker, nullptr);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("[  PASSED  ] 1 test")) << run.output;
}
