// Files that people send: lint and explain end on each within a bounded time
// with a defined exit status and a JSON document, and never crash or hang.
// The table of cases prints the time each command took.
#include <gtest/gtest.h>

#include <stdio.h>

#include <random>
#include <string>

#include "test_support.h"

namespace {

const DWORD kTimeoutMs = 240000;

std::wstring ToolPath()
{
    std::wstring fixtures = FixtureDirectory();  // ...\fixtures\ .
    return fixtures.substr(0, fixtures.size() - wcslen(L"fixtures\\")) + L"tools\\VidrakeDb.exe";
}

std::string Repeat(const std::string& text, int count)
{
    std::string repeated;
    repeated.reserve(text.size() * count);
    for (int i = 0; i < count; ++i)
        repeated += text;
    return repeated;
}

std::string RandomBytes(size_t count)
{
    std::mt19937 random(14);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

std::string Utf16WithMark(const std::string& ascii)
{
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

std::string ManyRecordsOfOneAdapter(int count)
{
    std::string xml = "<VideoCardDB>\n";
    for (int i = 0; i < count; ++i)
        xml += "<Card ManufacturerID=\"10\" DeviceID=\"20\" CardName=\"X\" DriverVersion=\"1.0.0000." +
               std::to_string(i) + "\" PixelShaderVersion=\"2\"/>\n";
    return xml + "</VideoCardDB>\n";
}

std::string ManyAttributes(int count)
{
    std::string xml = "<VideoCardDB><Card ManufacturerID=\"10\" DeviceID=\"20\"";
    for (int i = 0; i < count; ++i)
        xml += " extra" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    return xml + " PixelShaderVersion=\"2\"/></VideoCardDB>";
}

const char kExplainArguments[] = " --vendor 10 --device 20 --card X --driver 1.0.0000.7 --json";

}  // namespace

TEST(HostileDatabases, EndWithADefinedAnswer)
{
    ScratchFolder folder(L"hostile");
    folder.WriteFile(L"secret.txt", "SECRET-MARKER");
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE VideoCardDB [<!ENTITY a \"aaaaaaaaaa\">";
    for (char level = 'b'; level <= 'j'; ++level)
        bomb += std::string("<!ENTITY ") + level + " \"" + Repeat(std::string("&") + char(level - 1) + ";", 10) + "\">";
    bomb += "]><VideoCardDB><Card ManufacturerID=\"10\" DeviceID=\"20\" CardName=\"&j;\"/></VideoCardDB>";
    const struct {
        const char* name;
        std::string content;
        int lintStatus;     // -1: any defined status
        bool readable;
    } cases[] = {
        {"empty file", "", 2, false},
        {"random bytes", RandomBytes(65536), 2, false},
        {"UTF-16 with a byte-order mark",
         Utf16WithMark("<?xml version=\"1.0\" encoding=\"UTF-16\"?><VideoCardDB><Card ManufacturerID=\"10\" "
                       "DeviceID=\"20\" CardName=\"X\" PixelShaderVersion=\"3\"/></VideoCardDB>"),
         0, true},
        {"entity expansion bomb", bomb, -1, false},
        {"external entity",
         "<?xml version=\"1.0\"?><!DOCTYPE VideoCardDB [<!ENTITY e SYSTEM \"secret.txt\">]>"
         "<VideoCardDB><Card ManufacturerID=\"10\" DeviceID=\"20\" PixelShaderVersion=\"3\">&e;</Card></VideoCardDB>",
         -1, false},
        {"1 MB attribute value",
         "<VideoCardDB><Card ManufacturerID=\"10\" DeviceID=\"20\" CardName=\"" + std::string(1 << 20, 'x') +
             "\" PixelShaderVersion=\"3\"/></VideoCardDB>",
         0, true},
        {"10,000 levels of nesting",
         "<VideoCardDB>" + Repeat("<Vendor>", 10000) + "<Card ManufacturerID=\"10\" DeviceID=\"20\"/>" +
             Repeat("</Vendor>", 10000) + "</VideoCardDB>",
         -1, false},
        {"100,000 records of one adapter", ManyRecordsOfOneAdapter(100000), 1, true},
        {"1,000 attributes on one record", ManyAttributes(1000), 0, true},
    };
    std::string table = "\n| case | lint ms | lint exit | explain ms | explain exit |\n|---|---|---|---|---|\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        folder.WriteFile(L"db.xml", c.content);
        std::wstring database = L"\"" + folder.Path() + L"db.xml\"";
        DWORD start = GetTickCount();
        ProgramRun lint = RunProgram(L"\"" + ToolPath() + L"\" lint " + database + L" --json", folder.Path(), kTimeoutMs);
        DWORD lintMs = GetTickCount() - start;
        start = GetTickCount();
        ProgramRun explain = RunProgram(L"\"" + ToolPath() + L"\" explain " + database + Widen(kExplainArguments),
                                        folder.Path(), kTimeoutMs);
        DWORD explainMs = GetTickCount() - start;
        table += std::string("| ") + c.name + " | " + std::to_string(lintMs) + " | " + std::to_string(lint.exitCode) +
                 " | " + std::to_string(explainMs) + " | " + std::to_string(explain.exitCode) + " |\n";

        ASSERT_FALSE(lint.timedOut);
        ASSERT_FALSE(explain.timedOut);
        if (c.lintStatus >= 0)
            EXPECT_EQ(static_cast<DWORD>(c.lintStatus), lint.exitCode) << lint.output.substr(0, 2000);
        else
            EXPECT_TRUE(lint.exitCode <= 3) << lint.exitCode;
        EXPECT_TRUE(explain.exitCode == 0 || explain.exitCode == 2) << explain.exitCode;
        // Each ends its one JSON document; whether it was read is said.
        for (const ProgramRun* run : {&lint, &explain}) {
            EXPECT_EQ(0u, run->output.find("{\n  \"database\": ")) << run->output.substr(0, 2000);
            EXPECT_EQ("}\n", run->output.substr(run->output.size() < 2 ? 0 : run->output.size() - 2));
            EXPECT_EQ(std::string::npos, run->output.find("SECRET-MARKER"));
        }
        if (c.lintStatus >= 0)
            EXPECT_NE(std::string::npos,
                      lint.output.find(c.readable ? "\"readable\": true" : "\"readable\": false"));
    }
    printf("%s", table.c_str());
}
