#include "lint.h"

#include <stdio.h>
#include <wchar.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "database_file.h"
#include "record_index.h"
#include "text_output.h"

// The matching rules weigh records for many adapters and drivers; past this
// many record judgements (a guard against hostile input, far beyond what
// 100,000 records of ordinary shape need) they stop and say so.
const long long kJudgementLimit = 50000000;

namespace {

const char* const kMatchingRules[] = {"overridden-level", "too-many-candidates", "rejected-without-alternate",
                                      "rejection-without-level", "accepted-without-level", "shadowed-record"};

// An adapter the matching rules consider: kNoId for an id no record gives,
// kNoText for a name no record gives.
struct Adapter {
    DWORD vendor;
    DWORD device;
    std::wstring name;
    bool operator<(const Adapter& other) const
    {
        return std::tie(vendor, device, name) < std::tie(other.vendor, other.device, other.name);
    }
};

// One record as the scan weighed it for an adapter and a driver no record names.
struct Step {
    long element;  // index into the stored elements
    RecordEffect effect;
    int level;
    bool cardMatched;
};

struct Linter {
    const StoredDatabase& database;
    RecordIndex index;
    std::vector<LintFinding> findings;
    std::set<std::pair<long, std::string>> reported;
    long long judgements = 0;
    long long judgementLimit = kJudgementLimit;
    bool complete = true;
    // Per element: how often it accepted or rejected a driver, how often it
    // was an exact match after the record that ended the scan, and that record.
    std::vector<long> decisive, shadowed, shadowedBy;

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

    // Counts one record judgement; false past the limit.
    bool Judge()
    {
        if (++judgements <= judgementLimit)
            return true;
        complete = false;
        return false;
    }
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
    std::string name = adapter.name == kNoText ? std::string() : " " + QuotedText(adapter.name);
    if (adapter.vendor == kNoId)
        return "card" + name + " with ids no record gives";
    if (adapter.device == kNoId)
        return (name.empty() ? "other devices" : "card" + name + " as another device") + std::string(" of vendor ") +
               std::to_string(adapter.vendor);
    return "vendor " + std::to_string(adapter.vendor) + " device " + std::to_string(adapter.device) + name;
}

// --- Rules on single records -------------------------------------------------

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

// --- Rules on matching, judged by the library's scan -------------------------

bool IsFallbackSetter(RecordEffect effect)
{
    return effect == kRecordCandidate || effect == kRecordNotRecommendedLeft || effect == kRecordBlackListedLeft ||
           effect == kRecordListFullLeft;
}

bool UsableIds(const RecordFacts& facts)
{
    return !facts.vendors.empty() && (facts.anyDevice || !facts.devices.empty());
}

// A record that names the card itself (by name or its own device) says more
// about it than one for every device of the vendor.
int Specificity(const Linter& lint, const Step& step)
{
    return step.cardMatched || !lint.index.facts[step.element].anyDevice ? 2 : 1;
}

bool AimQuery(VideoCardQuery& query, const Adapter& adapter, const wchar_t* driver)
{
    query.vendorId = adapter.vendor;
    query.deviceId = adapter.device;
    query.description = adapter.name.c_str();
    *query.driverVersionText.Out() = SysAllocString(driver);
    return query.driverVersionText.Get() != nullptr;
}

// The adapters a record can match: each of its ids (a "*" device: the
// vendor's devices no record gives) with a name no record gives and with each
// of its names; each of its names with ids no record gives and as another
// device of its vendor, or of every vendor when it has no usable ids.
void ConsideredAdapters(const RecordIndex& index, std::set<Adapter>& adapters)
{
    std::set<DWORD> vendors;
    for (const auto& group : index.byIds) {
        vendors.insert(group.first.first);
        adapters.insert(Adapter{group.first.first, group.first.second, kNoText});
        adapters.insert(Adapter{group.first.first, kNoId, kNoText});
    }
    for (const auto& group : index.byName) {
        const std::wstring& name = group.first;
        adapters.insert(Adapter{kNoId, kNoId, name});
        std::set<DWORD> nameVendors;
        bool byNameAlone = false;
        for (long e : group.second) {
            const RecordFacts& facts = index.facts[e];
            if (!UsableIds(facts)) {
                byNameAlone = true;
                continue;
            }
            for (DWORD vendor : facts.vendors) {
                nameVendors.insert(vendor);
                for (DWORD device : facts.devices)
                    adapters.insert(Adapter{vendor, device, name});
            }
        }
        for (DWORD vendor : byNameAlone ? vendors : nameVendors)
            adapters.insert(Adapter{vendor, kNoId, name});
    }
}

void LintLevelsAndCandidates(Linter& lint, const Adapter& adapter, const std::vector<Step>& steps)
{
    const Step* last = nullptr;
    for (const Step& step : steps) {
        const wchar_t* driver = lint.index.facts[step.element].values[kDriverVersionAttribute];
        if (step.effect == kRecordListFullLeft && driver && *driver)
            lint.Report(step.element, "too-many-candidates", kDriverVersionAttribute,
                        "more than " + std::to_string(kMaxDriverCandidates) + " acceptable drivers match " +
                            AdapterText(adapter) + " before it: it is never offered");
        if (IsFallbackSetter(step.effect))
            last = &step;
    }
    if (!last)
        return;
    for (const Step& step : steps) {
        if (&step == last)
            break;
        if (!IsFallbackSetter(step.effect) || !lint.index.facts[step.element].values[kPixelShaderVersionAttribute])
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

// What the scan makes of one driver that records name for an adapter.
struct DriverOutcome {
    long acceptedBy = -1;
    int acceptedLevel = -1;
    std::vector<long> rejecting;  // exact matches that rejected it before any accepted it
    std::vector<long> later;      // exact matches after the one that accepted it
    VideoCardScan rejection;      // the rejection's family, as the scan records it
};

// Judges the records that name `driver` for the adapter in `query`, in
// document order: whether an exact match accepts or rejects it does not
// depend on the scan state.
bool JudgeExactMatches(Linter& lint, const std::vector<long>& named, const VideoCardQuery& query,
                       DriverOutcome& outcome)
{
    for (long e : named) {
        if (!lint.Judge())
            return false;
        VideoCardRecord record;
        RecordEffect effect = JudgeDatabaseElement(query, AsDatabaseElement(lint.database.elements[e]), record,
                                                   outcome.rejection);
        if (effect != kRecordAccepted && effect != kRecordRejected)
            continue;
        if (outcome.acceptedBy >= 0) {
            outcome.later.push_back(e);
        } else if (effect == kRecordAccepted) {
            outcome.acceptedBy = e;
            outcome.acceptedLevel = record.pixelShaderLevel;
        } else {
            outcome.rejecting.push_back(e);
        }
    }
    return true;
}

// The scan's end for a driver that only rejecting records name: the records
// that do not name it weigh as they do for a driver no record names, so the
// candidates are those of `none`, and the fallback level is the last such
// record's.
VideoCardScanEnd RejectionEnd(const VideoCardScanEnd& none, const std::vector<Step>& steps,
                              const std::vector<long>& rejecting, const VideoCardScan& rejection)
{
    VideoCardScanEnd end = none;
    end.scan.rejected = true;
    end.scan.rejectionHasFamily = rejection.rejectionHasFamily;
    end.scan.rejectionFamily = rejection.rejectionFamily;
    end.scan.fallbackLevel = -1;
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        if (IsFallbackSetter(step->effect) &&
            std::find(rejecting.begin(), rejecting.end(), step->element) == rejecting.end()) {
            end.scan.fallbackLevel = step->level;
            break;
        }
    }
    return end;
}

// Only for a card a record names, by its name or its device: devices no
// record lists have no level by design.
bool NamedByARecord(const Linter& lint, const Adapter& adapter)
{
    return lint.index.byName.count(adapter.name) > 0 || adapter.device != kNoId;
}

void LintRejection(Linter& lint, const Adapter& adapter, const std::wstring& driver, long first,
                   const VideoCardScanEnd& end)
{
    WideString alternates;
    VideoCardLookupResult(kDirect3D9Build, end, alternates);
    int result8 = RejectionResult(kDirect3D8Build, end.scan.fallbackLevel);
    if (alternates.IsEmpty())
        lint.Report(first, "rejected-without-alternate", kDriverVersionAttribute,
                    "rejects " + Utf8(driver) + " for " + AdapterText(adapter) +
                        ", and no acceptable driver of its family matches: the user is told the driver is "
                        "rejected and offered nothing");
    if (result8 == -1 && NamedByARecord(lint, adapter))
        lint.Report(first, "rejection-without-level", kDriverVersionAttribute,
                    "rejects " + Utf8(driver) + " for " + AdapterText(adapter) +
                        ", which has no pixel shader level here: the Direct3D 8 build reads the result -1 as an "
                        "unknown level and does not report the rejection");
}

// The records of a list weighed for an adapter and a driver no record names,
// and the drivers they name, with the records that name each.
struct WeighedList {
    VideoCardScanEnd none;
    std::vector<Step> steps;
    std::vector<std::wstring> drivers;                 // in the order records name them
    std::map<std::wstring, std::vector<long>> naming;  // the records that name each driver
    std::map<std::wstring, DriverOutcome> outcomes;    // filled per driver

    WeighedList() { none.documentObject = true; }
};

// Weighs `elements` on from where `list` stands, for the adapter in `query`
// with a driver no record names: the whole list is weighed, and the card's
// level and candidates come out of it.
bool WeighRecords(Linter& lint, const std::vector<long>& elements, size_t from, const VideoCardQuery& query,
                  WeighedList& list)
{
    for (size_t i = from; i < elements.size(); ++i) {
        long e = elements[i];
        if (!lint.Judge())
            return false;
        const StoredElement& element = lint.database.elements[e];
        VideoCardRecord record;
        RecordEffect effect = ScanDatabaseElement(query, AsDatabaseElement(element), record, list.none);
        Step step = {e, effect, record.pixelShaderLevel, record.cardMatched};
        list.steps.push_back(step);
        for (const DatabaseAttribute& attribute : element.attributes) {
            if (attribute.kind != kDriverVersionAttribute || SysStringLen(attribute.value) == 0)
                continue;
            std::vector<long>& records = list.naming[attribute.value];
            if (records.empty())
                list.drivers.push_back(attribute.value);
            if (records.empty() || records.back() != e)
                records.push_back(e);
        }
    }
    return true;
}

// Judges, for each driver, the records that name it from `fromElement` on.
bool JudgeDrivers(Linter& lint, const Adapter& adapter, long fromElement, VideoCardQuery& query, WeighedList& list)
{
    for (const std::wstring& driver : list.drivers) {
        std::vector<long> named;
        for (long e : list.naming[driver]) {
            if (e >= fromElement)
                named.push_back(e);
        }
        if (named.empty())
            continue;
        if (!AimQuery(query, adapter, driver.c_str()))
            throw std::bad_alloc();
        if (!JudgeExactMatches(lint, named, query, list.outcomes[driver]))
            return false;
    }
    return true;
}

// The rules on one driver for one adapter.
void LintDriver(Linter& lint, const Adapter& adapter, const std::wstring& driver, const DriverOutcome& outcome,
                const WeighedList& list, int levelOtherwise)
{
    if (outcome.acceptedBy >= 0) {
        if (outcome.acceptedLevel == -1 && levelOtherwise >= 0 &&
            !lint.reported.count(std::make_pair(outcome.acceptedBy, std::string("accepted-without-level"))))
            lint.Report(outcome.acceptedBy, "accepted-without-level", kOtherAttribute,
                        "accepts " + Utf8(driver) + " for " + AdapterText(adapter) +
                            " and ends the scan without a PixelShaderVersion: while this driver is installed "
                            "the Direct3D 8 build reports the level as unknown, though the database gives it " +
                            std::to_string(levelOtherwise) + " otherwise");
    } else if (!outcome.rejecting.empty()) {
        LintRejection(lint, adapter, driver, outcome.rejecting[0],
                      RejectionEnd(list.none, list.steps, outcome.rejecting, outcome.rejection));
    }
}

void CountRoles(Linter& lint, const DriverOutcome& outcome)
{
    for (long e : outcome.rejecting)
        ++lint.decisive[e];
    for (long e : outcome.later) {
        ++lint.shadowed[e];
        lint.shadowedBy[e] = outcome.acceptedBy;
    }
    if (outcome.acceptedBy >= 0)
        ++lint.decisive[outcome.acceptedBy];
}

// A vendor's vendor-wide records weighed once for all its devices, and the
// drivers they name that can still give a finding for one of them.
struct VendorWide {
    WeighedList list;
    std::vector<std::wstring> open;  // rejected, or accepted without a level
};

// The rules for one adapter from its weighed list; `shared`, when given, holds
// the vendor-wide records the list starts with, and `list` names only the
// drivers of the adapter's own records.
void LintWeighedList(Linter& lint, const Adapter& adapter, WeighedList& list, VendorWide* shared)
{
    LintLevelsAndCandidates(lint, adapter, list.steps);
    WideString ignored;
    int levelOtherwise = VideoCardLookupResult(kDirect3D8Build, list.none, ignored);
    for (const std::wstring& driver : list.drivers) {
        CountRoles(lint, list.outcomes[driver]);
        LintDriver(lint, adapter, driver, list.outcomes[driver], list, levelOtherwise);
    }
    if (!shared)
        return;
    std::vector<std::wstring> stillOpen;
    for (const std::wstring& driver : shared->open) {
        const DriverOutcome& outcome = shared->list.outcomes[driver];
        if (!list.naming.count(driver))
            LintDriver(lint, adapter, driver, outcome, list, levelOtherwise);
        // An acceptance without a level is reported once.
        if (outcome.acceptedBy < 0 ||
            !lint.reported.count(std::make_pair(outcome.acceptedBy, std::string("accepted-without-level"))))
            stillOpen.push_back(driver);
    }
    shared->open.swap(stillOpen);
}

void LintMatching(Linter& lint)
{
    std::set<Adapter> adapters;
    ConsideredAdapters(lint.index, adapters);
    VideoCardQuery query;  // aimed at each adapter and driver in turn: its other texts stay
    if (FAILED(PrepareNeutralQuery(query)))
        throw std::bad_alloc();
    size_t count = lint.index.facts.size();
    lint.decisive.assign(count, 0);
    lint.shadowed.assign(count, 0);
    lint.shadowedBy.assign(count, -1);
    // Adapters that the same records match, with the same of them by name
    // where that makes a record more specific, come to the same findings.
    std::set<std::tuple<std::vector<long>, std::vector<long>, bool>> weighed;
    std::map<DWORD, VendorWide> vendorWide;
    std::vector<long> elements;
    for (const Adapter& adapter : adapters) {
        RecordsThatCanMatch(lint.index, adapter.vendor, adapter.device, adapter.name, elements);
        if (elements.empty())
            continue;
        std::vector<long> byName;
        auto named = lint.index.byName.find(adapter.name);
        if (named != lint.index.byName.end()) {
            for (long e : named->second) {
                if (lint.index.facts[e].anyDevice || !UsableIds(lint.index.facts[e]))
                    byName.push_back(e);
            }
        }
        if (!weighed.insert(std::make_tuple(elements, byName, NamedByARecord(lint, adapter))).second)
            continue;
        // Every device of a vendor shares its vendor-wide records: weighed once
        // when all the adapter's own records come after them.
        WeighedList list;
        VendorWide* vendor = nullptr;
        size_t from = 0;
        long fromElement = 0;
        auto wide = lint.index.byIds.find(std::make_pair(adapter.vendor, kNoId));
        if (adapter.vendor != kNoId && wide != lint.index.byIds.end() && byName.empty()) {
            const std::vector<long>& records = wide->second;
            size_t own = 0;  // the adapter's records before the last vendor-wide one
            for (long e : elements)
                own += e < records.back() && !std::binary_search(records.begin(), records.end(), e);
            if (own == 0) {
                auto found = vendorWide.find(adapter.vendor);
                if (found == vendorWide.end()) {
                    VendorWide& prefix = vendorWide[adapter.vendor];
                    Adapter other = {adapter.vendor, kNoId, kNoText};
                    if (!AimQuery(query, other, kNoText))
                        throw std::bad_alloc();
                    if (!WeighRecords(lint, records, 0, query, prefix.list) ||
                        !JudgeDrivers(lint, other, 0, query, prefix.list))
                        return;
                    for (const std::wstring& driver : prefix.list.drivers) {
                        const DriverOutcome& outcome = prefix.list.outcomes[driver];
                        CountRoles(lint, outcome);
                        if (outcome.acceptedBy < 0 || outcome.acceptedLevel == -1)
                            prefix.open.push_back(driver);
                    }
                    found = vendorWide.find(adapter.vendor);
                }
                vendor = &found->second;
                list.none = vendor->list.none;
                list.steps = vendor->list.steps;
                from = records.size();
                fromElement = records.back() + 1;
            }
        }
        if (!AimQuery(query, adapter, kNoText))
            throw std::bad_alloc();
        if (!WeighRecords(lint, elements, from, query, list))
            return;
        // A driver the adapter's own records name too goes on from where the
        // vendor-wide records left it.
        for (const std::wstring& driver : list.drivers) {
            if (vendor && vendor->list.outcomes.count(driver))
                list.outcomes[driver] = vendor->list.outcomes[driver];
        }
        if (!JudgeDrivers(lint, adapter, fromElement, query, list))
            return;
        LintWeighedList(lint, adapter, list, vendor);
    }
    for (size_t e = 0; e < count; ++e) {
        if (lint.decisive[e] == 0 && lint.shadowed[e] > 0 &&
            !lint.reported.count(std::make_pair(static_cast<long>(e), std::string("duplicate-record"))))
            lint.Report(static_cast<long>(e), "shadowed-record", kDriverVersionAttribute,
                        "for its driver, " + lint.PathOf(lint.shadowedBy[e]) +
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

int LintExitStatus(const LintReport& report)
{
    if (report.readResult != S_OK)
        return 2;
    if (!report.complete)
        return 3;
    return report.findings.empty() ? 0 : 1;
}

HRESULT LintDatabase(const std::wstring& databasePath, LintReport& report, long long judgementLimit)
{
    ComApartment apartment;  // the document object wants a single-threaded apartment
    VideoCardQuery neutral;
    HRESULT hr = PrepareNeutralQuery(neutral);
    if (FAILED(hr))
        return report.readResult = hr;
    StoredDatabase database;
    report.readResult = ReadWholeDatabase(databasePath, neutral, database, report.loadError);
    if (report.readResult == S_FALSE)
        report.notWellFormed = DatabaseFileOpens(databasePath);
    if (report.readResult != S_OK)
        return report.readResult;
    report.elementCount = static_cast<long>(database.elements.size());

    Linter lint(database);
    lint.judgementLimit = judgementLimit;
    IndexRecords(database, neutral, lint.index);
    for (size_t e = 0; e < database.elements.size(); ++e)
        LintRecord(lint, static_cast<long>(e));
    LintDuplicates(lint);
    LintMatching(lint);
    report.complete = lint.complete;
    report.judgements = lint.judgements;
    report.judgementLimit = judgementLimit;
    std::stable_sort(lint.findings.begin(), lint.findings.end(),
                     [](const LintFinding& a, const LintFinding& b) { return a.element < b.element; });
    report.findings.swap(lint.findings);
    return S_OK;
}

std::string UnfinishedRules()
{
    std::string rules;
    for (const char* rule : kMatchingRules)
        rules += std::string(rules.empty() ? "" : ", ") + rule;
    return rules;
}

const char* LoadFailureRule(const LintReport& report)
{
    return report.notWellFormed ? "not-well-formed" : "unreadable";
}

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
    std::string json = "{\n  \"database\": " + JsonString(databasePath) + ",\n";
    json += "  \"readable\": " + std::string(report.readResult == S_OK ? "true" : "false") + ",\n";
    if (report.readResult != S_OK) {
        std::wstring reason = FAILED(report.readResult) ? DescribeLoadFailure(report.readResult, report.loadError)
                                                        : std::wstring(report.loadError.reason.Text());
        json += "  \"error\": {\"rule\": \"" + std::string(LoadFailureRule(report)) +
                "\", \"reason\": " + JsonString(reason) + ", \"line\": " + std::to_string(report.loadError.line) +
                ", \"column\": " + std::to_string(report.loadError.column) + "},\n";
    }
    json += "  \"elements\": " + std::to_string(report.elementCount) + ",\n";
    json += "  \"complete\": " + std::string(report.complete ? "true" : "false") + ",\n";
    if (!report.complete) {
        json += "  \"unfinished\": [";
        for (size_t i = 0; i < sizeof(kMatchingRules) / sizeof(kMatchingRules[0]); ++i)
            json += std::string(i ? ", " : "") + "\"" + kMatchingRules[i] + "\"";
        json += "],\n";
    }
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
