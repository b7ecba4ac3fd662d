#include "lint.h"

#include <stdio.h>
#include <wchar.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "database_file.h"
#include "text_output.h"

namespace {

// Adapter parts no record can match: numbers are read as signed 32-bit values
// and only values from 0 match, so 0xFFFFFFFF is never an id of a record; XML
// cannot carry U+0001, so no CardName or DriverVersion is "\x01".
const DWORD kNoId = 0xFFFFFFFF;
const wchar_t kNoText[] = L"\x01";

// The matching rules judge records for many adapter and driver pairs; past
// this many record judgements they stop and say so.
const long kJudgementLimit = 1000000;

// What the reader makes of one element, worked out once.
struct ElementFacts {
    const wchar_t* values[kRecordAttributeKinds] = {};  // null: the attribute is absent
    bool recognised = false;  // has at least one recognised attribute
    bool idsUsable = false;   // both ids present, the vendor from 0, the device "*" or from 0
    bool anyDevice = false;
    DWORD vendor = kNoId;
    DWORD device = kNoId;
    bool blackListRead = false;  // BlackList read as "true" or "not_recommended"
    bool offered = false;        // neither rejected nor not recommended
};

struct Adapter {
    DWORD vendor;
    DWORD device;
    std::wstring name;
    bool operator<(const Adapter& other) const
    {
        return std::tie(vendor, device, name) < std::tie(other.vendor, other.device, other.name);
    }
};

struct Step {
    long element;  // index into the stored elements
    RecordEffect effect;
    int level;
    bool cardMatched;
    WideString driverText;
};

struct AdapterScan {
    std::vector<Step> steps;
    std::vector<long> shadowed;  // exact matches after the record that ended the scan
    bool accepted = false;
    long acceptedBy = -1;
    int result8 = 0;
    std::wstring alternates;
};

struct Linter {
    const StoredDatabase& database;
    std::vector<ElementFacts> facts;
    std::vector<LintFinding> findings;
    std::set<std::pair<long, std::string>> reported;
    long judgements = 0;
    bool complete = true;

    explicit Linter(const StoredDatabase& stored) : database(stored) {}

    void Report(long element, const char* rule, RecordAttributeKind kind, const std::string& consequence)
    {
        if (!reported.insert(std::make_pair(element, std::string(rule))).second)
            return;
        const StoredElement& stored = database.elements[element];
        LintFinding finding = {rule, stored.index + 1, stored.path, RecordAttributeName(kind), consequence};
        findings.push_back(finding);
    }

    void ReportAttribute(long element, const char* rule, const std::wstring& attribute, const std::string& consequence)
    {
        const StoredElement& stored = database.elements[element];
        LintFinding finding = {rule, stored.index + 1, stored.path, attribute, consequence};
        findings.push_back(finding);
    }

    std::string PathOf(long element) const { return Utf8(database.elements[element].path); }
};

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

std::string AdapterText(const Adapter& adapter)
{
    if (adapter.vendor == kNoId)
        return "card " + QuotedText(adapter.name);
    if (adapter.device == kNoId)
        return "other devices of vendor " + std::to_string(adapter.vendor);
    std::string text = "vendor " + std::to_string(adapter.vendor) + " device " + std::to_string(adapter.device);
    if (adapter.name != kNoText)
        text += " " + QuotedText(adapter.name);
    return text;
}

void ReadFacts(const VideoCardQuery& neutral, const StoredElement& element, ElementFacts& facts)
{
    BSTR device = nullptr;
    BSTR blackList = nullptr;
    for (const DatabaseAttribute& attribute : element.attributes) {
        if (attribute.kind == kOtherAttribute)
            continue;
        facts.recognised = true;
        facts.values[attribute.kind] = attribute.value ? attribute.value : L"";
        if (attribute.kind == kDeviceIdAttribute)
            device = attribute.value;
        if (attribute.kind == kBlackListAttribute)
            blackList = attribute.value;
    }
    const wchar_t* vendorText = facts.values[kManufacturerIdAttribute];
    const wchar_t* deviceText = facts.values[kDeviceIdAttribute];
    if (deviceText) {
        // The wildcard as the reader sees it: against a device id no number
        // matches, only "*" sets the device match.
        VideoCardRecord record;
        ReadRecordValue(neutral, kDeviceIdAttribute, device, record);
        facts.anyDevice = record.deviceMatched;
    }
    if (vendorText && deviceText) {
        long vendorNumber = DatabaseNumber(vendorText);
        long deviceNumber = DatabaseNumber(deviceText);
        facts.vendor = static_cast<DWORD>(vendorNumber);
        facts.device = facts.anyDevice ? kNoId : static_cast<DWORD>(deviceNumber);
        facts.idsUsable = vendorNumber >= 0 && (facts.anyDevice || deviceNumber >= 0);
    }
    facts.offered = true;
    if (facts.values[kBlackListAttribute]) {
        VideoCardRecord record;
        ReadRecordValue(neutral, kBlackListAttribute, blackList, record);
        facts.blackListRead = record.rejected || record.notRecommended;
        facts.offered = !record.rejected && !record.notRecommended;
    }
}

// --- Rules on single records -------------------------------------------------

void LintRecord(Linter& lint, long e)
{
    const StoredElement& element = lint.database.elements[e];
    const ElementFacts& facts = lint.facts[e];
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
        if (!IsSmallLevel(level))
            lint.Report(e, "bad-pixel-shader-version", kPixelShaderVersionAttribute,
                        Quoted(level) + " is not a whole number from 0 to 9: read as " +
                            std::to_string(DatabaseNumber(level)));
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
    for (size_t e = 0; e < lint.facts.size(); ++e) {
        const ElementFacts& facts = lint.facts[e];
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

// --- Rules on matching, judged by the library's scan -------------------------

// Scans `elements` (in document order) for the adapter and driver in `query`.
// With `judgeRest`, the elements after an accepted exact match are read too,
// to tell which of them the scan never reached as exact matches.
bool RunScan(Linter& lint, const std::vector<long>& elements, const VideoCardQuery& query, bool judgeRest,
             AdapterScan& out)
{
    VideoCardScan scan;
    size_t i = 0;
    for (; i < elements.size(); ++i) {
        if (++lint.judgements > kJudgementLimit)
            return false;
        VideoCardRecord record;
        RecordEffect effect =
            JudgeDatabaseElement(query, AsDatabaseElement(lint.database.elements[elements[i]]), record, scan);
        if (effect == kRecordNotMatching)
            continue;
        Step step = {elements[i], effect, record.pixelShaderLevel, record.cardMatched, record.driverText};
        out.steps.push_back(step);
        if (effect == kRecordAccepted) {
            out.accepted = true;
            out.acceptedBy = elements[i];
            break;
        }
    }
    if (out.accepted && judgeRest) {
        VideoCardScan scratch;  // whether a record is an exact match does not depend on the scan
        for (++i; i < elements.size(); ++i) {
            if (++lint.judgements > kJudgementLimit)
                return false;
            VideoCardRecord record;
            RecordEffect effect =
                JudgeDatabaseElement(query, AsDatabaseElement(lint.database.elements[elements[i]]), record, scratch);
            if (effect == kRecordAccepted || effect == kRecordRejected)
                out.shadowed.push_back(elements[i]);
        }
    }
    VideoCardScanEnd end;
    end.documentObject = true;
    end.accepted = out.accepted;
    end.scan = scan;
    WideString alternates;
    VideoCardLookupResult(kDirect3D9Build, end, alternates);
    out.alternates = alternates.Text();
    WideString ignored;
    out.result8 = VideoCardLookupResult(kDirect3D8Build, end, ignored);
    return true;
}

bool IsFallbackSetter(RecordEffect effect)
{
    return effect == kRecordCandidate || effect == kRecordNotRecommendedLeft || effect == kRecordBlackListedLeft ||
           effect == kRecordListFullLeft;
}

// A record that names the card itself (by name or its own device) says more
// about it than one for every device of the vendor.
int Specificity(const Linter& lint, const Step& step)
{
    return step.cardMatched || !lint.facts[step.element].anyDevice ? 2 : 1;
}

void LintLevelsAndCandidates(Linter& lint, const Adapter& adapter, const AdapterScan& scan)
{
    const Step* last = nullptr;
    for (const Step& step : scan.steps) {
        const wchar_t* driver = lint.facts[step.element].values[kDriverVersionAttribute];
        if (step.effect == kRecordListFullLeft && driver && *driver)
            lint.Report(step.element, "too-many-candidates", kDriverVersionAttribute,
                        "more than " + std::to_string(kMaxDriverCandidates) + " acceptable drivers match " +
                            AdapterText(adapter) + " before it: it is never offered");
        if (IsFallbackSetter(step.effect))
            last = &step;
    }
    if (!last)
        return;
    for (const Step& step : scan.steps) {
        if (&step == last)
            break;
        if (!IsFallbackSetter(step.effect) || !lint.facts[step.element].values[kPixelShaderVersionAttribute])
            continue;
        if (Specificity(lint, step) > Specificity(lint, *last) && step.level != last->level) {
            std::string level = last->level < 0 ? std::string("none") : std::to_string(last->level);
            lint.Report(last->element, "overridden-level", kPixelShaderVersionAttribute,
                        "comes after " + lint.PathOf(step.element) + " and replaces its pixel shader level " +
                            std::to_string(step.level) + " for " + AdapterText(adapter) + " with " + level);
            return;
        }
    }
}

void LintRejections(Linter& lint, const Adapter& adapter, const std::wstring& driver, const AdapterScan& scan)
{
    if (scan.accepted)
        return;
    for (const Step& step : scan.steps) {
        if (step.effect != kRecordRejected)
            continue;
        if (scan.alternates.empty())
            lint.Report(step.element, "rejected-without-alternate", kDriverVersionAttribute,
                        "rejects " + Utf8(driver) + " for " + AdapterText(adapter) +
                            ", and no acceptable driver of its family matches: the user is told the driver is "
                            "rejected and offered nothing");
        // Only for a card a record names: devices no record lists have no
        // level by design.
        if (scan.result8 == -1 && (adapter.vendor == kNoId || adapter.device != kNoId))
            lint.Report(step.element, "rejection-without-level", kDriverVersionAttribute,
                        "rejects " + Utf8(driver) + " for " + AdapterText(adapter) +
                            ", which has no pixel shader level here: the Direct3D 8 build reads the result -1 as an "
                            "unknown level and does not report the rejection");
        return;
    }
}

bool AimQuery(VideoCardQuery& query, const Adapter& adapter, const wchar_t* driver)
{
    query.vendorId = adapter.vendor;
    query.deviceId = adapter.device;
    query.description = adapter.name.c_str();
    *query.driverVersionText.Out() = SysAllocString(driver);
    return query.driverVersionText.Get() != nullptr;
}

void LintMatching(Linter& lint)
{
    std::map<std::pair<DWORD, DWORD>, std::vector<long>> byIds;  // device kNoId: "*"
    std::map<std::wstring, std::vector<long>> byName;
    std::set<Adapter> adapters;
    for (size_t e = 0; e < lint.facts.size(); ++e) {
        const ElementFacts& facts = lint.facts[e];
        const wchar_t* name = facts.values[kCardNameAttribute];
        if (facts.idsUsable) {
            byIds[std::make_pair(facts.vendor, facts.device)].push_back(static_cast<long>(e));
            adapters.insert(Adapter{facts.vendor, facts.device, name && !facts.anyDevice ? name : kNoText});
        }
        if (name) {
            byName[name].push_back(static_cast<long>(e));
            if (!facts.idsUsable)
                adapters.insert(Adapter{kNoId, kNoId, name});
        }
    }

    // One query, aimed at each adapter and driver in turn: its other texts stay.
    VideoCardQuery query;
    if (FAILED(PrepareVideoCardQuery(kNoId, kNoId, kNoText, kNoText, query)))
        return;
    std::vector<long> exactRoles(lint.facts.size()), shadowedRoles(lint.facts.size());
    std::vector<long> shadowedBy(lint.facts.size(), -1);
    for (const Adapter& adapter : adapters) {
        // The records that can match this adapter, in document order: the scan
        // decides which do.
        std::vector<long> elements;
        const std::vector<long>* groups[] = {nullptr, nullptr, nullptr};
        auto own = byIds.find(std::make_pair(adapter.vendor, adapter.device));
        auto wide = byIds.find(std::make_pair(adapter.vendor, kNoId));
        auto named = byName.find(adapter.name);
        if (own != byIds.end())
            groups[0] = &own->second;
        if (wide != byIds.end() && adapter.vendor != kNoId)
            groups[1] = &wide->second;
        if (named != byName.end())
            groups[2] = &named->second;
        for (const std::vector<long>* group : groups) {
            if (group)
                elements.insert(elements.end(), group->begin(), group->end());
        }
        std::sort(elements.begin(), elements.end());
        elements.erase(std::unique(elements.begin(), elements.end()), elements.end());

        if (!AimQuery(query, adapter, kNoText))
            continue;
        AdapterScan anyDriver;
        if (!RunScan(lint, elements, query, false, anyDriver)) {
            lint.complete = false;
            return;
        }
        LintLevelsAndCandidates(lint, adapter, anyDriver);

        std::set<std::wstring> drivers;
        for (const Step& step : anyDriver.steps) {
            if (!step.driverText.IsEmpty())
                drivers.insert(step.driverText.Text());
        }
        for (const std::wstring& driver : drivers) {
            if (!AimQuery(query, adapter, driver.c_str()))
                continue;
            AdapterScan scan;
            if (!RunScan(lint, elements, query, true, scan)) {
                lint.complete = false;
                return;
            }
            LintRejections(lint, adapter, driver, scan);
            for (const Step& step : scan.steps) {
                if (step.effect == kRecordAccepted || step.effect == kRecordRejected)
                    ++exactRoles[step.element];
            }
            for (long shadowed : scan.shadowed) {
                ++shadowedRoles[shadowed];
                shadowedBy[shadowed] = scan.acceptedBy;
            }
        }
    }
    for (size_t e = 0; e < lint.facts.size(); ++e) {
        if (exactRoles[e] == 0 && shadowedRoles[e] > 0 &&
            !lint.reported.count(std::make_pair(static_cast<long>(e), std::string("duplicate-record"))))
            lint.Report(static_cast<long>(e), "shadowed-record", kDriverVersionAttribute,
                        "for its driver, " + lint.PathOf(shadowedBy[e]) +
                            " always decides first: this record never accepts or rejects it");
    }
}

std::string FindingText(const LintFinding& finding)
{
    std::string text = finding.rule + "  element " + std::to_string(finding.element) + "  " + Utf8(finding.path);
    if (!finding.attribute.empty())
        text += "  @" + Utf8(finding.attribute);
    return text + "\n    " + finding.consequence + "\n";
}

}  // namespace

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
    if (*at == L'-')
        return "is negative: it matches nothing";
    if (*at == L'+')
        ++at;
    const wchar_t* digits = at;
    while (*at >= L'0' && *at <= L'9')
        ++at;
    if (at == digits)
        return "has no digits: " + read;
    if (*at != L'\0')
        return "has trailing characters: " + read;
    if (at - digits > 10 || wcstoll(digits, nullptr, 10) > 2147483647LL)
        return "is beyond 32 bits: " + read;
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

int LintExitStatus(const LintReport& report)
{
    if (report.readResult != S_OK)
        return 2;
    return report.findings.empty() ? 0 : 1;
}

HRESULT LintDatabase(const std::wstring& databasePath, LintReport& report)
{
    ComApartment apartment;  // the document object wants a single-threaded apartment
    VideoCardQuery neutral;
    HRESULT hr = PrepareVideoCardQuery(kNoId, kNoId, kNoText, kNoText, neutral);
    if (FAILED(hr))
        return report.readResult = hr;
    StoredDatabase database;
    report.readResult = ReadWholeDatabase(databasePath, neutral, database, report.loadError);
    if (report.readResult != S_OK)
        return report.readResult;
    report.elementCount = static_cast<long>(database.elements.size());

    Linter lint(database);
    lint.facts.resize(database.elements.size());
    for (size_t e = 0; e < database.elements.size(); ++e)
        ReadFacts(neutral, database.elements[e], lint.facts[e]);
    for (size_t e = 0; e < database.elements.size(); ++e)
        LintRecord(lint, static_cast<long>(e));
    LintDuplicates(lint);
    LintMatching(lint);
    report.complete = lint.complete;
    std::stable_sort(lint.findings.begin(), lint.findings.end(),
                     [](const LintFinding& a, const LintFinding& b) { return a.element < b.element; });
    report.findings.swap(lint.findings);
    return S_OK;
}

std::string LintText(const std::wstring& databasePath, const LintReport& report)
{
    std::string text = "Database: " + Utf8(databasePath) + "\n";
    if (report.readResult != S_OK) {
        std::string rule = report.loadError.line > 0 ? "not-well-formed" : "unreadable";
        return text + rule + "  " + Utf8(DescribeLoadFailure(report.readResult, report.loadError)) +
               "\n    the library finds no records in it: every card's level is unknown and no driver is rejected\n";
    }
    for (const LintFinding& finding : report.findings)
        text += FindingText(finding);
    text += std::to_string(report.findings.size()) + (report.findings.size() == 1 ? " finding" : " findings") +
            " in " + std::to_string(report.elementCount) + " elements\n";
    if (!report.complete)
        text += "The matching rules stopped after " + std::to_string(kJudgementLimit) +
                " record judgements: their findings are incomplete.\n";
    return text;
}

std::string LintJson(const std::wstring& databasePath, const LintReport& report)
{
    std::string json = "{\n  \"database\": " + JsonString(databasePath) + ",\n";
    json += "  \"readable\": " + std::string(report.readResult == S_OK ? "true" : "false") + ",\n";
    if (report.readResult != S_OK) {
        std::wstring reason = FAILED(report.readResult) ? DescribeLoadFailure(report.readResult, report.loadError)
                                                        : std::wstring(report.loadError.reason.Text());
        json += "  \"error\": {\"rule\": \"" + std::string(report.loadError.line > 0 ? "not-well-formed" : "unreadable") +
                "\", \"reason\": " + JsonString(reason) + ", \"line\": " + std::to_string(report.loadError.line) +
                ", \"column\": " + std::to_string(report.loadError.column) + "},\n";
    }
    json += "  \"elements\": " + std::to_string(report.elementCount) + ",\n";
    json += "  \"complete\": " + std::string(report.complete ? "true" : "false") + ",\n";
    json += "  \"findings\": [";
    for (size_t i = 0; i < report.findings.size(); ++i) {
        const LintFinding& finding = report.findings[i];
        json += std::string(i ? "," : "") + "\n    {\"rule\": \"" + finding.rule +
                "\", \"element\": " + std::to_string(finding.element) + ", \"path\": " + JsonString(finding.path) +
                ", \"attribute\": " + (finding.attribute.empty() ? std::string("null") : JsonString(finding.attribute)) +
                ", \"consequence\": " + JsonString(finding.consequence) + "}";
    }
    json += report.findings.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return json;
}
