#include "lint_output.h"

#include "database_file.h"
#include "json_writer.h"
#include "lint_matching_rules.h"
#include "text_output.h"

namespace {

std::string FindingText(const LintFinding& finding)
{
    std::string text = finding.rule + "  element " + std::to_string(finding.element) + "  " + Utf8(finding.path);
    if (!finding.attribute.empty())
        text += "  @" + Utf8(finding.attribute);
    return text + "\n    " + finding.consequence + "\n";
}

std::string UnfinishedRules()
{
    std::string rules;
    for (int i = 0; i < kMatchingRuleCount; ++i) {
        const char* rule = kMatchingRules[i];
        rules += std::string(rules.empty() ? "" : ", ") + rule;
    }
    return rules;
}

const char* LoadFailureRule(const LintReport& report)
{
    return report.notWellFormed ? "not-well-formed" : "unreadable";
}

}  // namespace

std::string LintText(const std::wstring& databasePath, const LintReport& report)
{
    std::string text = "Database: " + Utf8(databasePath) + "\n";
    if (report.readResult != S_OK) {
        return text + LoadFailureRule(report) + "  " + Utf8(DescribeLoadFailure(report.readResult, report.loadError)) +
               "\n    the library finds no records in it: every card's level is unknown and no driver is rejected\n";
    }
    for (const LintFinding& finding : report.findings)
        text += FindingText(finding);
    text += std::to_string(report.findings.size()) + (report.findings.size() == 1 ? " finding" : " findings") +
            " in " + std::to_string(report.elementCount) + " elements\n";
    if (!report.complete)
        text += "incomplete  the matching rules (" + UnfinishedRules() + ") stopped after " +
                std::to_string(report.judgementLimit) + " record judgements: their findings are incomplete\n";
    return text;
}

std::string LintJson(const std::wstring& databasePath, const LintReport& report)
{
    JsonWriter json;
    json.BeginObject(kJsonLines);
    json.Key("database");
    json.String(databasePath);
    json.Key("readable");
    json.Bool(report.readResult == S_OK);
    if (report.readResult != S_OK) {
        json.Key("error");
        json.BeginObject();
        json.Key("rule");
        json.String(LoadFailureRule(report));
        WriteLoadFailureMembers(json, report.readResult, report.loadError);
        json.EndObject();
    }
    json.Key("elements");
    json.Number(report.elementCount);
    json.Key("complete");
    json.Bool(report.complete);
    if (!report.complete) {
        json.Key("unfinished");
        json.BeginArray();
        for (int i = 0; i < kMatchingRuleCount; ++i)
            json.String(kMatchingRules[i]);
        json.EndArray();
    }
    json.Key("findings");
    json.BeginArray(kJsonLines);
    for (const LintFinding& finding : report.findings) {
        json.BeginObject();
        json.Key("rule");
        json.String(finding.rule);
        json.Key("element");
        json.Number(finding.element);
        json.Key("path");
        json.String(finding.path);
        json.Key("attribute");
        if (finding.attribute.empty())
            json.Null();
        else
            json.String(finding.attribute);
        json.Key("consequence");
        json.String(finding.consequence);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return json.text + "\n";
}
