// explain --batch: the adapter list as read, its answers against explain's own
// scan of the whole document, and the program's lines against single
// explain --json answers.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "explain_batch.h"
#include "small_databases.h"
#include "test_support.h"
#include "text_output.h"

namespace {

std::wstring ToolPath()
{
    std::wstring fixtures = FixtureDirectory();  // ...\fixtures\ .
    return fixtures.substr(0, fixtures.size() - wcslen(L"fixtures\\")) + L"tools\\VidrakeDb.exe";
}

void Collect(const std::string& line, void* context)
{
    static_cast<std::vector<std::string>*>(context)->push_back(line);
}

// explain --json's document as one line with "line" after "database", and
// without its trail: the form the batch prints.
std::string OneLine(const std::string& document, long line)
{
    std::stringstream lines(document);
    std::string text, json;
    std::vector<std::string> members;
    while (std::getline(lines, text)) {
        if (text.compare(0, 2, "  ") != 0 || text.compare(0, 3, "   ") == 0)
            continue;  // the braces and the trail's steps
        if (text.compare(0, 11, "  \"trail\": ") == 0)
            break;
        text = text.substr(2);
        if (!text.empty() && text.back() == ',')
            text.pop_back();
        members.push_back(text);
    }
    if (members.empty())
        return "<no members in " + document + ">";
    json = "{" + members[0] + ", \"line\": " + std::to_string(line);
    for (size_t i = 1; i < members.size(); ++i)
        json += ", " + members[i];
    return json + "}";
}

}  // namespace

TEST(ExplainBatch, AdapterListLines)
{
    std::vector<AdapterLine> lines;
    ReadAdapterList("\xEF\xBB\xBF"
                    "4318\t1741\t6.14.0010.7164\tNVIDIA GeForce GTX 470\r\n"
                    "\n"
                    "4098\t20800\t6.14.0010.6307\tRADEON 9700 PRO\n"
                    "4098\t20800\t6.14.0010.6307\n"
                    "4098\t20800\t6.14.0010.6307\tRADEON\t9700\n"
                    "10DE\t1741\t1.0.0000.1\tX\n"
                    "0x10DE\t4294967295\t\t  Caf\xC3\xA9 \"card\" \n"
                    "1\t4294967296\t1.0.0000.1\tX\n"
                    "1\t2\t1.0.0000.1\tbad \xC3(\n"
                    "1\t2\t1.0.0000.1\tin\rside\n"
                    "\r\n"
                    "5\t6\t7\t",
                    lines);
    const struct {
        long line;
        bool readable;
        const char* errorPart;
    } expected[] = {
        {1, true, ""}, {3, true, ""}, {4, false, "found 3"}, {5, false, "found 5"}, {6, false, "vendorId \"10DE\""},
        {7, true, ""}, {8, false, "deviceId \"4294967296\""}, {9, false, "UTF-8"}, {10, false, "carriage return"},
        {12, true, ""},
    };
    ASSERT_EQ(sizeof(expected) / sizeof(expected[0]), lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(expected[i].line));
        EXPECT_EQ(expected[i].line, lines[i].line);
        EXPECT_EQ(expected[i].readable, lines[i].readable) << lines[i].error;
        EXPECT_NE(std::string::npos, lines[i].error.find(expected[i].errorPart)) << lines[i].error;
    }
    EXPECT_EQ(L"NVIDIA GeForce GTX 470", lines[0].adapter.cardName);
    EXPECT_EQ(1741u, lines[0].adapter.deviceId);
    EXPECT_EQ(L"6.14.0010.6307", lines[1].adapter.driverVersion);
    EXPECT_EQ(0x10DEu, lines[5].adapter.vendorId);
    EXPECT_EQ(4294967295u, lines[5].adapter.deviceId);
    EXPECT_EQ(L"", lines[5].adapter.driverVersion);
    EXPECT_EQ(L"  Caf\u00e9 \"card\" ", lines[5].adapter.cardName);
    EXPECT_EQ(L"", lines[9].adapter.cardName);
}

// Each database is read once and only the records that can match an adapter
// are weighed: the answers and trails must be those of explain's scan of the
// whole document, for every adapter of a small universe.
TEST(ExplainBatch, AnswersAsExplainOverRandomDatabases)
{
    unsigned seed = GetTickCount();
    SCOPED_TRACE("seed " + std::to_string(seed));
    SmallUniverse universe(seed);
    ScratchFolder folder(L"explain-batch");
    std::vector<AdapterIdentity> adapters = SmallUniverse::Adapters();
    std::vector<AdapterLine> lines;
    for (size_t i = 0; i < adapters.size(); ++i)
        lines.push_back(AdapterLine{static_cast<long>(i) + 1, true, adapters[i], std::string()});
    lines.push_back(AdapterLine{static_cast<long>(adapters.size()) + 1, false, AdapterIdentity(), "not an adapter"});

    std::vector<std::wstring> databases;
    for (int d = 0; d < 4; ++d) {
        databases.push_back(folder.Path() + L"db" + std::to_wstring(d) + L".xml");
        folder.WriteFile(L"db" + std::to_wstring(d) + L".xml", universe.Database(6 + universe.Pick(14)));
    }
    databases.push_back(folder.Path() + L"missing.xml");
    std::vector<std::string> output;
    ExplainBatch(lines, databases, true, Collect, &output);
    ASSERT_EQ(lines.size() * databases.size(), output.size());

    int decided[3] = {};
    size_t at = 0;
    for (const std::wstring& database : databases) {
        SCOPED_TRACE(Narrow(database));
        for (const AdapterLine& line : lines) {
            const std::string& printed = output[at++];
            if (!line.readable) {
                EXPECT_EQ("{\"database\": " + JsonString(database) + ", \"line\": " + std::to_string(line.line) +
                              ", \"error\": \"not an adapter\"}\n",
                          printed);
                continue;
            }
            Explanation single;
            ExplainAdapter(database, line.adapter, false, single);
            std::string expected = OneLine(ExplanationJson(database, line.adapter, single), line.line);
            expected.pop_back();
            expected += ", \"trail\": [";
            for (size_t s = 0; s < single.trail.size(); ++s)
                expected += (s ? ", " : "") + TrailStepJson(single.trail[s]);
            ASSERT_EQ(expected + "]}\n", printed);
            ++decided[single.accepted ? 0 : single.rejected ? 1 : 2];
        }
    }
    // The universe reaches every kind of answer, or the comparison says little.
    EXPECT_GT(decided[0], 0);
    EXPECT_GT(decided[1], 0);
    EXPECT_GT(decided[2], 0);
}

// The program: answers on the sample database line for line as single
// explain --json answers, a malformed line, a database that cannot be read,
// and the exit statuses.
TEST(ExplainBatch, ProgramAgreesWithSingleExplain)
{
    ScratchFolder folder(L"explain-batch-program");
    std::wstring sample = ToolPath().substr(0, ToolPath().size() - wcslen(L"VidrakeDb.exe")) + L"VideoCardDB.xml";
    const struct {
        const char* vendor;
        const char* device;
        const char* driver;
        const char* card;
    } adapters[] = {
        {"4318", "1741", "6.14.0010.7164", "NVIDIA GeForce GTX 470"},
        {"4318", "1741", "6.14.0010.6177", "NVIDIA GeForce GTX 470"},
        {"4098", "20800", "6.14.0010.6307", "RADEON 9700 PRO"},
        {"4098", "99", "8.21.0013.9135", "Caf\xC3\xA9"},
        {"32902", "9570", "6.14.0010.6177", "Intel(R) 82865G Graphics Controller"},
    };
    std::string list;
    for (const auto& adapter : adapters)
        list += std::string(adapter.vendor) + "\t" + adapter.device + "\t" + adapter.driver + "\t" + adapter.card +
                "\r\n";
    list += "4318\t1741\n";
    folder.WriteFile(L"adapters.txt", list);

    std::wstring tool = L"\"" + ToolPath() + L"\"";
    ProgramRun batch = RunProgram(tool + L" explain --batch \"" + folder.Path() + L"adapters.txt\" \"" + sample +
                                      L"\" \"" + folder.Path() + L"missing.xml\"",
                                  folder.Path());
    ASSERT_EQ(0u, batch.exitCode) << batch.errors;
    std::vector<std::string> printed;
    std::stringstream stream(batch.output);
    std::string text;
    while (std::getline(stream, text))
        printed.push_back(text);
    const size_t count = sizeof(adapters) / sizeof(adapters[0]);
    ASSERT_EQ(2 * (count + 1), printed.size()) << batch.output;

    const std::wstring databases[] = {sample, folder.Path() + L"missing.xml"};
    for (int d = 0; d < 2; ++d) {
        for (size_t i = 0; i < count; ++i) {
            ProgramRun single = RunProgram(tool + L" explain \"" + databases[d] + L"\" --vendor " +
                                               Widen(adapters[i].vendor) + L" --device " + Widen(adapters[i].device) +
                                               L" --driver " + Widen(adapters[i].driver) + L" --card \"" +
                                               Widen(adapters[i].card) + L"\" --json",
                                           folder.Path());
            EXPECT_EQ(d == 0 ? 0u : 2u, single.exitCode);
            EXPECT_EQ(OneLine(single.output, static_cast<long>(i) + 1), printed[d * (count + 1) + i]);
        }
        const std::string& malformed = printed[d * (count + 1) + count];
        EXPECT_NE(std::string::npos, malformed.find("\"line\": " + std::to_string(count + 1) + ", \"error\": "))
            << malformed;
    }
    EXPECT_NE(std::string::npos, printed[count + 1].find("\"readable\": false"));

    EXPECT_EQ(2u, RunProgram(tool + L" explain --batch \"" + folder.Path() + L"none.txt\"", folder.Path()).exitCode);
    EXPECT_EQ(2u, RunProgram(tool + L" explain --batch", folder.Path()).exitCode);
    EXPECT_EQ(2u, RunProgram(tool + L" explain --batch \"" + folder.Path() + L"adapters.txt\" --vendor 1",
                             folder.Path())
                      .exitCode);
}

// A fallback level below -1 reads as a rejection in the Direct3D 8 build: the
// explanation does not say that nothing rejected the driver.
TEST(Explain, RejectionFromANegativeLevelIsNotCalledUndecided)
{
    ScratchFolder folder(L"explain-negative");
    folder.WriteFile(L"VideoCardDB.xml",
                     "<VideoCardDB><Card ManufacturerID=\"10\" DeviceID=\"20\" PixelShaderVersion=\"-3\"/></VideoCardDB>");
    AdapterIdentity adapter;
    adapter.vendorId = 10;
    adapter.deviceId = 20;
    adapter.cardName = L"X";
    adapter.driverVersion = L"1.0.0000.1";
    Explanation explanation;
    ASSERT_EQ(S_OK, ExplainAdapter(folder.Path() + L"VideoCardDB.xml", adapter, false, explanation));
    EXPECT_TRUE(explanation.direct3D8.rejected);
    std::string text = ExplanationText(L"db", adapter, explanation);
    EXPECT_EQ(std::string::npos, text.find("No record names the installed driver:")) << text;
    EXPECT_NE(std::string::npos, text.find("reads as a rejection")) << text;
}
