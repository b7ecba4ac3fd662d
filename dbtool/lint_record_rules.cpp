#include "lint_record_rules.h"

#include <stdio.h>
#include <wchar.h>

#include <algorithm>
#include <map>

#include "linter.h"

namespace {

std::string Quoted(const wchar_t* text)
{
    return QuotedText(text ? text : L"");
}

int EditDistance(const std::wstring& a, const std::wstring& b)
{
    std::vector<int> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = static_cast<int>(j);
    for (size_t i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (size_t j = 1; j <= b.size(); ++j) {
            int above = row[j];
            row[j] = std::min(std::min(row[j] + 1, row[j - 1] + 1), diagonal + (a[i - 1] == b[j - 1] ? 0 : 1));
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(towlower(c));
    return text;
}

}  // namespace

void LintRecord(Linter& lint, long e)
{
    const StoredElement& element = lint.database.elements[e];
    const RecordFacts& facts = lint.index.facts[e];
    for (const DatabaseAttribute& attribute : element.attributes) {
        if (attribute.kind != kOtherAttribute)
            continue;
        RecordAttributeKind meant = MeantAttribute(attribute.name);
        if (meant != kOtherAttribute)
            lint.ReportAttribute(e, "misspelt-attribute", attribute.name,
                                 "not the recognised name " + Utf8(RecordAttributeName(meant)) +
                                     ": the attribute never counts");
    }
    for (RecordAttributeKind kind : {kManufacturerIdAttribute, kDeviceIdAttribute}) {
        const wchar_t* value = facts.values[kind];
        if (!value || (kind == kDeviceIdAttribute && facts.anyDevice))
            continue;
        std::string problem = IdProblem(value);
        if (!problem.empty())
            lint.Report(e, kind == kManufacturerIdAttribute ? "bad-vendor-id" : "bad-device-id", kind,
                        Quoted(value) + " " + problem);
    }
    if (const wchar_t* driver = facts.values[kDriverVersionAttribute]) {
        if (!*driver)
            lint.Report(e, "bad-driver-version", kDriverVersionAttribute,
                        "empty: the record names no driver and is never an exact match");
        else if (!IsCheckDriverVersion(driver))
            lint.Report(e, "bad-driver-version", kDriverVersionAttribute,
                        Quoted(driver) + " is not written as the check writes driver versions (four numbers, "
                                         "the third in four digits): never an exact match" +
                            std::string(facts.offered ? ", yet offered as an alternate as written" : ""));
    }
    if (const wchar_t* blackList = facts.values[kBlackListAttribute]) {
        if (!facts.blackListRead)
            lint.Report(e, "bad-blacklist", kBlackListAttribute,
                        Quoted(blackList) + " is neither \"true\" nor \"not_recommended\": ignored, the driver "
                                            "is neither rejected nor held back");
    }
    if (const wchar_t* level = facts.values[kPixelShaderVersionAttribute]) {
        long read = DatabaseNumber(level);
        if (!IsSmallLevel(level))
            lint.Report(e, "bad-pixel-shader-version", kPixelShaderVersionAttribute,
                        Quoted(level) + " is not a whole number from 0 to 9: read as " + std::to_string(read) +
                            (read < 0 ? std::string(", no level to the check: where it is the result, the Direct3D 8 "
                                                    "build reads -1 as an unknown level and -2 or less as a rejected "
                                                    "driver")
                                      : std::string()));
    }
    bool canMatch = (facts.values[kManufacturerIdAttribute] && facts.values[kDeviceIdAttribute]) ||
                    facts.values[kCardNameAttribute];
    if (facts.recognised && !canMatch)
        lint.Report(e, "never-matches", kOtherAttribute,
                    "has neither both ManufacturerID and DeviceID nor a CardName: it matches no adapter, so "
                    "nothing it says counts (nesting gives it nothing from its parent)");
}

void LintDuplicates(Linter& lint)
{
    std::map<std::wstring, long> first;
    for (size_t e = 0; e < lint.index.facts.size(); ++e) {
        const RecordFacts& facts = lint.index.facts[e];
        if (!facts.recognised)
            continue;
        std::wstring key;
        for (int kind = 1; kind < kRecordAttributeKinds; ++kind) {
            // Absent and empty differ: mark presence before the value.
            key += facts.values[kind] ? L'+' : L'-';
            if (facts.values[kind])
                key += facts.values[kind];
            key += L'\x01';
        }
        auto placed = first.insert(std::make_pair(key, static_cast<long>(e)));
        if (!placed.second)
            lint.Report(static_cast<long>(e), "duplicate-record", kOtherAttribute,
                        "repeats " + lint.PathOf(placed.first->second) +
                            " attribute for attribute: it can only repeat what that one decides" +
                            (facts.offered && facts.values[kDriverVersionAttribute]
                                 ? std::string(", and its driver is offered twice")
                                 : std::string()));
    }
}

RecordAttributeKind MeantAttribute(const std::wstring& name)
{
    size_t colon = name.find(L':');
    std::wstring local = colon == std::wstring::npos ? name : name.substr(colon + 1);
    for (int kind = 1; kind < kRecordAttributeKinds; ++kind) {
        std::wstring recognised = RecordAttributeName(static_cast<RecordAttributeKind>(kind));
        if (name == recognised)
            return kOtherAttribute;
        if (Lower(local) == Lower(recognised) || EditDistance(Lower(name), Lower(recognised)) <= 2)
            return static_cast<RecordAttributeKind>(kind);
    }
    return kOtherAttribute;
}

std::string IdProblem(const std::wstring& text)
{
    const wchar_t* at = text.c_str();
    while (iswspace(*at))
        ++at;
    long value = DatabaseNumber(text.c_str());
    std::string read = "read as " + std::to_string(value);
    if (*at == L'\0')
        return "is empty: " + read + ", which no real vendor or device is";
    if (at[0] == L'0' && (at[1] == L'x' || at[1] == L'X'))
        return "is hexadecimal: " + read + "; ids are written in decimal";
    if (value < 0)
        return "is negative: " + read + ", which matches no id";
    if (*at == L'-')
        return "is signed: " + read + ", so it matches " + std::to_string(value);
    if (*at == L'+')
        ++at;
    const wchar_t* digits = at;
    while (*at >= L'0' && *at <= L'9')
        ++at;
    if (at == digits)
        return "has no digits: " + read;
    if (*at != L'\0')
        return "has trailing characters: " + read + " (the digits before them), so it matches " +
               std::to_string(value);
    // Leading zeros change nothing: the number is what counts.
    while (*digits == L'0' && digits + 1 < at)
        ++digits;
    if (at - digits > 10 || wcstoll(digits, nullptr, 10) > 2147483647LL)
        return "is beyond 32 bits: " + read + ", the largest value the reader takes";
    return std::string();
}

bool IsCheckDriverVersion(const std::wstring& text)
{
    unsigned parts[4];
    wchar_t rest;
    if (swscanf(text.c_str(), L"%u.%u.%u.%u%lc", &parts[0], &parts[1], &parts[2], &parts[3], &rest) != 4)
        return false;
    for (unsigned part : parts) {
        if (part > 0xFFFF)
            return false;
    }
    wchar_t written[64];
    swprintf(written, 64, L"%u.%u.%04u.%u", parts[0], parts[1], parts[2], parts[3]);
    return text == written;
}

bool IsSmallLevel(const std::wstring& text)
{
    return text.size() == 1 && text[0] >= L'0' && text[0] <= L'9';
}
