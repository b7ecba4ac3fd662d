// The tool and the library agree: for random databases, what `VidrakeDb
// explain` says each build answers is what that build's CheckGfx reports on
// the emulated machine with the database beside it.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

const int kDatabases = 32;

std::wstring ToolPath()
{
    std::wstring fixtures = FixtureDirectory();  // ...\fixtures\ .
    std::wstring build = fixtures.substr(0, fixtures.size() - wcslen(L"fixtures\\"));
    return build + L"tools\\VidrakeDb.exe";
}

// key=value fields of one tab-separated line.
std::map<std::string, std::string> Fields(const std::string& line)
{
    std::map<std::string, std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, '\t')) {
        size_t equals = field.find('=');
        if (equals != std::string::npos)
            fields[field.substr(0, equals)] = field.substr(equals + 1);
    }
    return fields;
}

// What the adapter looks like to the check, read from the platform.
struct Platform {
    std::string vendor, device, card, driver;
};

struct Generator {
    std::mt19937 random;
    Platform platform;
    std::string family;  // the installed driver's first number
    // Drawn per database, so that some databases accept the installed driver,
    // some reject it and some never name it.
    int installedPercent = 0;
    int rejectedPercent = 0;

    int Pick(int count) { return static_cast<int>(random() % static_cast<unsigned>(count)); }
    bool Chance(int percent) { return Pick(100) < percent; }

    static std::string Escape(const std::string& text)
    {
        std::string escaped;
        for (char c : text) {
            if (c == '&') escaped += "&amp;";
            else if (c == '"') escaped += "&quot;";
            else if (c == '<') escaped += "&lt;";
            else escaped += c;
        }
        return escaped;
    }

    std::string DriverVersion()
    {
        std::string build = std::to_string(Pick(9000) + 100);
        if (Chance(installedPercent))
            return platform.driver;
        switch (Pick(6)) {
        case 0: case 1: return family + ".21.0013." + build;               // same family, as the check writes it
        case 2: return family + ".21.13." + build;                 // same family, third number unpadded
        case 3: return std::to_string(atoi(family.c_str()) + 1) + ".15.0011." + build;  // another family
        case 4: return "";
        default: return "." + family + ".0013." + build;
        }
    }

    std::string Attributes(bool mayMatch)
    {
        std::string text;
        auto add = [&](const char* name, const std::string& value) {
            text += std::string(" ") + name + "=\"" + Escape(value) + "\"";
        };
        const std::string vendors[] = {platform.vendor, platform.vendor, platform.vendor, "4098", " " + platform.vendor,
                                       platform.vendor + "x", "0x10DE"};
        const std::string devices[] = {platform.device, "*", "*", platform.device, "7", " " + platform.device};
        if (Chance(mayMatch ? 85 : 40))
            add("ManufacturerID", vendors[Pick(7)]);
        if (Chance(mayMatch ? 85 : 40))
            add("DeviceID", devices[Pick(6)]);
        if (Chance(25)) {
            const std::string cards[] = {platform.card, platform.card, "Another Card", platform.card + " "};
            add("CardName", cards[Pick(4)]);
        }
        std::string driver;
        if (Chance(75)) {
            driver = DriverVersion();
            add("DriverVersion", driver);
        }
        if (Chance(50)) {
            const std::string levels[] = {"0", "1", "2", "3", "2.0", "-1", "x"};
            add("PixelShaderVersion", levels[Pick(7)]);
        }
        if (driver == platform.driver && Chance(rejectedPercent)) {
            add("BlackList", "true");
        } else if (Chance(50)) {
            const std::string lists[] = {"true", "true", "not_recommended", "True", "false", ""};
            add("BlackList", lists[Pick(6)]);
        }
        return text;
    }

    std::string Candidate()
    {
        return "<Driver ManufacturerID=\"" + platform.vendor + "\" DeviceID=\"*\" DriverVersion=\"" + family +
               ".21.0013." + std::to_string(1000 + Pick(8000)) + "\"/>\n";
    }

    // A database of random records; `records` counts them (root included).
    std::string Database(int* records)
    {
        const int installed[] = {0, 4, 10, 25};
        installedPercent = installed[Pick(4)];
        rejectedPercent = Chance(50) ? 40 : 90;
        std::string xml = "<?xml version=\"1.0\"?>\n<VideoCardDB" + (Chance(15) ? Attributes(true) : "") + ">\n";
        *records = 1;
        int count = 3 + Pick(25);
        bool manyCandidates = Chance(15);
        for (int i = 0; i < count; ++i) {
            if (manyCandidates && i == count / 2) {
                for (int c = 0; c < 31 + Pick(6); ++c, ++*records)
                    xml += Candidate();
            }
            if (Chance(20)) {
                xml += "<Vendor" + (Chance(50) ? Attributes(false) : "") + ">\n";
                ++*records;
                for (int n = 1 + Pick(4); n > 0; --n, ++i, ++*records)
                    xml += "  <Card" + Attributes(true) + "/>\n";
                xml += "</Vendor>\n";
            } else {
                xml += (Chance(50) ? "<Card" : "<Driver") + Attributes(true) + "/>\n";
                ++*records;
            }
        }
        return xml + "</VideoCardDB>\n";
    }
};

// The answers of both builds for every database, one CheckGfx per database
// in one host process per build.
std::vector<std::map<std::string, std::string>> CheckEveryDatabase(const ScratchFolder& folder,
                                                                    const std::wstring& library, int databases)
{
    std::wstring command = L"\"" + folder.Path() + L"QuilletVidrake.exe\" \"" + library + L"\"";
    for (int i = 0; i < databases; ++i)
        command += L" \"" + folder.Path() + L"db" + std::to_wstring(i) + L".xml\"";
    ProgramRun run = RunProgram(command, folder.Path(), 600000);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    std::vector<std::map<std::string, std::string>> answers;
    std::stringstream lines(run.output);
    std::string line;
    while (std::getline(lines, line))
        answers.push_back(Fields(line));
    return answers;
}

// The first integer after `key` in `json`, and the JSON string after
// "alternates" that follows it.
struct ToolAnswer {
    int result;
    bool rejected;
    std::string alternates;
};

ToolAnswer ReadToolAnswer(const std::string& json, const std::string& build)
{
    ToolAnswer answer = {0, false, "<missing>"};
    size_t at = json.find("\"" + build + "\": {\"result\": ");
    if (at == std::string::npos)
        return answer;
    at = json.find(": ", at + build.size() + 4) + 2;
    answer.result = atoi(json.c_str() + at);
    answer.rejected = json.compare(json.find("\"rejected\": ", at) + 12, 4, "true") == 0;
    at = json.find("\"alternates\": \"", at) + 15;
    answer.alternates.clear();
    for (; at < json.size() && json[at] != '"'; ++at) {
        if (json[at] == '\\')
            ++at;
        answer.alternates += json[at];
    }
    return answer;
}

// What the Direct3D 8 check writes for a lookup result (its pixel shader text).
std::string Direct3D8LevelText(int result)
{
    if (result == -1)
        return "?";
    return std::to_string(result >= 0 ? result : -2 - result);
}

}  // namespace

TEST(ExplainAgreesWithLibrary, RandomDatabases)
{
    unsigned seed = getenv("VIDRAKE_DIFFERENTIAL_SEED") ? strtoul(getenv("VIDRAKE_DIFFERENTIAL_SEED"), nullptr, 10)
                                                        : GetTickCount();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (VIDRAKE_DIFFERENTIAL_SEED repeats this run)");
    ScratchFolder folder(L"explain-agrees");
    folder.CopyIn(FixtureDirectory() + L"database_check_host.exe", L"QuilletVidrake.exe");

    // The adapter as each build identifies it on this platform.
    folder.WriteFile(L"db0.xml", "<VideoCardDB/>");
    Platform platform[2];
    const std::wstring libraries[2] = {DistDirectory() + L"VidrakeDx9.dll", DistDirectory() + L"VidrakeDx8.dll"};
    for (int build = 0; build < 2; ++build) {
        std::vector<std::map<std::string, std::string>> answer = CheckEveryDatabase(folder, libraries[build], 1);
        ASSERT_EQ(1u, answer.size());
        platform[build] = {answer[0]["vendorId"], answer[0]["deviceId"], answer[0]["cardName"],
                           answer[0]["driverVersionText"]};
        ASSERT_FALSE(platform[build].driver.empty());
    }
    ASSERT_EQ(platform[0].card, platform[1].card);
    ASSERT_EQ(platform[0].driver, platform[1].driver);

    Generator generator{std::mt19937(seed), platform[0], platform[0].driver.substr(0, platform[0].driver.find('.'))};
    int records = 0;
    for (int i = 0; i < kDatabases; ++i) {
        int count = 0;
        folder.WriteFile(L"db" + std::to_wstring(i) + L".xml", generator.Database(&count));
        records += count;
    }
    std::vector<std::map<std::string, std::string>> checks[2];
    DWORD start = GetTickCount();
    for (int build = 0; build < 2; ++build) {
        checks[build] = CheckEveryDatabase(folder, libraries[build], kDatabases);
        ASSERT_EQ(static_cast<size_t>(kDatabases), checks[build].size());
    }

    DWORD libraryMs = GetTickCount() - start;
    start = GetTickCount();
    std::map<std::string, int> outcomes;
    for (int i = 0; i < kDatabases; ++i) {
        std::wstring database = folder.Path() + L"db" + std::to_wstring(i) + L".xml";
        SCOPED_TRACE("database " + Narrow(database));
        ProgramRun run = RunProgram(L"\"" + ToolPath() + L"\" explain \"" + database + L"\" --vendor " +
                                        Widen(platform[0].vendor) + L" --device " + Widen(platform[0].device) +
                                        L" --card \"" + Widen(platform[0].card) + L"\" --driver " +
                                        Widen(platform[0].driver) + L" --json",
                                    folder.Path());
        ASSERT_EQ(0u, run.exitCode) << run.output << run.errors;
        ToolAnswer dx9 = ReadToolAnswer(run.output, "direct3d9");
        ToolAnswer dx8 = ReadToolAnswer(run.output, "direct3d8");
        std::map<std::string, std::string>& lib9 = checks[0][i];
        std::map<std::string, std::string>& lib8 = checks[1][i];
        int status9 = atoi(lib9["status"].c_str());
        int status8 = atoi(lib8["status"].c_str());

        EXPECT_EQ(dx9.rejected, (status9 & 0x400) != 0) << run.output;
        EXPECT_EQ(dx9.alternates, lib9["alternates"]) << run.output;
        EXPECT_EQ(dx8.rejected, (status8 & 0x400) != 0) << run.output;
        EXPECT_EQ(Direct3D8LevelText(dx8.result), lib8["pixelShaderText"]) << run.output;
        EXPECT_EQ(dx8.result == -1, (status8 & 0x008) != 0) << run.output;
        EXPECT_EQ(dx8.alternates, lib8["alternates"]) << run.output;

        std::string decided = run.output.substr(run.output.find("\"decidedBy\": \"") + 14);
        decided = decided.substr(0, decided.find('"'));
        ++outcomes[decided];
        if (!dx9.alternates.empty())
            ++outcomes["alternates offered"];
        if (dx8.rejected != dx9.rejected)
            ++outcomes["rejection lost in the Direct3D 8 build"];
    }
    std::cout << kDatabases << " databases, " << records << " records, seed " << seed << "; both libraries "
              << libraryMs << " ms, explain " << GetTickCount() - start << " ms:";
    for (const auto& outcome : outcomes)
        std::cout << " " << outcome.first << " " << outcome.second << ";";
    std::cout << "\n";
    // The generator reaches every kind of answer, or the comparison says little.
    EXPECT_GT(outcomes["accepted"], 0);
    EXPECT_GT(outcomes["rejected"], 0);
    EXPECT_GT(outcomes["fallback"], 0);
    EXPECT_GT(outcomes["alternates offered"], 0);
}
