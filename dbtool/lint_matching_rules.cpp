#include "lint_matching_rules.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <new>
#include <set>
#include <tuple>

#include "linter.h"

const char* const kMatchingRules[] = {"overridden-level", "too-many-candidates", "rejected-without-alternate",
                                      "rejection-without-level", "accepted-without-level", "shadowed-record"};
const int kMatchingRuleCount = sizeof(kMatchingRules) / sizeof(kMatchingRules[0]);

namespace {

// An adapter the matching rules consider: kNoId for an id no record gives,
// kNoText for a name no record gives. The name is the index's own text and
// `named` the records that give it (null for kNoText), so that no adapter
// looks its name up again.
struct Adapter {
    DWORD vendor;
    DWORD device;
    const std::wstring* name;
    const std::vector<long>* named;
    bool operator<(const Adapter& other) const
    {
        return std::tie(vendor, device, *name) < std::tie(other.vendor, other.device, *other.name);
    }
};

const std::wstring kNoName = kNoText;

// The records an adapter's findings come from: those that can match it, in
// document order (`shared`, a vendor's vendor-wide records when they all come
// first, then `own`), those of them by name that are more specific for it,
// and whether a record names it.
struct WeighedKey {
    const std::vector<long>* shared;
    std::vector<long> own;
    std::vector<long> byName;
    bool named;

    size_t Size() const { return (shared ? shared->size() : 0) + own.size(); }
    long At(size_t i) const
    {
        size_t first = shared ? shared->size() : 0;
        return i < first ? (*shared)[i] : own[i - first];
    }
};

// Orders the keys by their records from the last: the devices of a vendor
// share its long list of vendor-wide records and differ in their own, which
// come last.
struct LastElementsFirst {
    bool operator()(const WeighedKey& a, const WeighedKey& b) const
    {
        if (a.Size() != b.Size())
            return a.Size() < b.Size();
        // The same shared records: only the own ones can differ.
        size_t first = a.shared == b.shared && a.shared ? a.shared->size() : 0;
        for (size_t i = a.Size(); i-- > first;) {
            if (a.At(i) != b.At(i))
                return a.At(i) < b.At(i);
        }
        return std::tie(a.byName, a.named) < std::tie(b.byName, b.named);
    }
};

// One record as the scan weighed it for an adapter and a driver no record names.
struct Step {
    long element;  // index into the stored elements
    RecordEffect effect;
    int level;
    bool cardMatched;
};

std::string AdapterText(const Adapter& adapter)
{
    std::string name = adapter.named ? " " + QuotedText(*adapter.name) : std::string();
    if (adapter.vendor == kNoId)
        return "card" + name + " with ids no record gives";
    if (adapter.device == kNoId)
        return (name.empty() ? "other devices" : "card" + name + " as another device") + std::string(" of vendor ") +
               std::to_string(adapter.vendor);
    return "vendor " + std::to_string(adapter.vendor) + " device " + std::to_string(adapter.device) + name;
}

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
    query.description = adapter.name->c_str();
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
        adapters.insert(Adapter{group.first.first, group.first.second, &kNoName, nullptr});
        adapters.insert(Adapter{group.first.first, kNoId, &kNoName, nullptr});
    }
    for (const auto& group : index.byName) {
        const std::wstring& name = group.first;
        adapters.insert(Adapter{kNoId, kNoId, &name, &group.second});
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
                    adapters.insert(Adapter{vendor, device, &name, &group.second});
            }
        }
        for (DWORD vendor : byNameAlone ? vendors : nameVendors)
            adapters.insert(Adapter{vendor, kNoId, &name, &group.second});
    }
}

// `candidatesFrom`: the first step whose too-many-candidates finding may not
// have been reported yet.
void LintLevelsAndCandidates(Linter& lint, const Adapter& adapter, const std::vector<Step>& steps,
                             size_t candidatesFrom)
{
    const Step* last = nullptr;
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        const wchar_t* driver = step.effect == kRecordListFullLeft && i >= candidatesFrom
                                    ? lint.index.facts[step.element].values[kDriverVersionAttribute]
                                    : nullptr;
        if (driver && *driver)
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
// candidates are those of the list's `none`, which `end` is a copy of (made
// once for all the list's drivers), and the fallback level is the last such
// record's.
void AimRejectionEnd(VideoCardScanEnd& end, const std::vector<Step>& steps, const std::vector<long>& rejecting,
                     const VideoCardScan& rejection)
{
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
}

// Only for a card a record names, by its name or its device: devices no
// record lists have no level by design.
bool NamedByARecord(const Linter& lint, const Adapter& adapter)
{
    return adapter.named || adapter.device != kNoId;
}

void LintRejection(Linter& lint, const Adapter& adapter, const std::wstring& driver, long first,
                   const VideoCardScanEnd& end)
{
    int result8 = RejectionResult(kDirect3D8Build, end.scan.fallbackLevel);
    if (!OffersAlternates(end.scan))
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
bool WeighRecords(Linter& lint, const std::vector<long>& elements, const VideoCardQuery& query,
                  WeighedList& list)
{
    for (long e : elements) {
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
// `rejectionEnd`: a copy of the list's `none`, aimed at each rejected driver in turn.
void LintDriver(Linter& lint, const Adapter& adapter, const std::wstring& driver, const DriverOutcome& outcome,
                const WeighedList& list, int levelOtherwise, VideoCardScanEnd& rejectionEnd)
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
        AimRejectionEnd(rejectionEnd, list.steps, outcome.rejecting, outcome.rejection);
        LintRejection(lint, adapter, driver, outcome.rejecting[0], rejectionEnd);
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
    // The drivers still open: rejected, or accepted without a level.
    std::vector<std::map<std::wstring, DriverOutcome>::const_iterator> open;
    bool candidatesReported = false;  // the list's too-many-candidates findings
};

// The rules for one adapter from its weighed list; `shared`, when given, holds
// the vendor-wide records the list starts with, and `list` names only the
// drivers of the adapter's own records.
void LintWeighedList(Linter& lint, const Adapter& adapter, WeighedList& list, VendorWide* shared)
{
    // The shared records weigh the same for every adapter that starts with
    // them: their too-many-candidates findings stand after the first.
    size_t candidatesFrom = shared && shared->candidatesReported ? shared->list.steps.size() : 0;
    LintLevelsAndCandidates(lint, adapter, list.steps, candidatesFrom);
    if (shared)
        shared->candidatesReported = true;
    WideString ignored;
    int levelOtherwise = VideoCardLookupResult(kDirect3D8Build, list.none, ignored);
    VideoCardScanEnd rejectionEnd = list.none;
    for (const std::wstring& driver : list.drivers) {
        CountRoles(lint, list.outcomes[driver]);
        LintDriver(lint, adapter, driver, list.outcomes[driver], list, levelOtherwise, rejectionEnd);
    }
    if (!shared)
        return;
    std::vector<std::map<std::wstring, DriverOutcome>::const_iterator> stillOpen;
    for (const auto& open : shared->open) {
        const std::wstring& driver = open->first;
        const DriverOutcome& outcome = open->second;
        if (!list.naming.count(driver))
            LintDriver(lint, adapter, driver, outcome, list, levelOtherwise, rejectionEnd);
        // An acceptance without a level is reported once.
        if (outcome.acceptedBy < 0 ||
            !lint.reported.count(std::make_pair(outcome.acceptedBy, std::string("accepted-without-level"))))
            stillOpen.push_back(open);
    }
    shared->open.swap(stillOpen);
}

}  // namespace

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
    std::set<WeighedKey, LastElementsFirst> weighed;
    std::map<DWORD, VendorWide> vendorWide;
    std::vector<long> elements;
    for (const Adapter& adapter : adapters) {
        WeighedKey key = {nullptr, std::vector<long>(), std::vector<long>(), NamedByARecord(lint, adapter)};
        if (adapter.named) {
            for (long e : *adapter.named) {
                if (lint.index.facts[e].anyDevice || !UsableIds(lint.index.facts[e]))
                    key.byName.push_back(e);
            }
        }
        // Every device of a vendor shares its vendor-wide records: weighed once
        // when all the adapter's own records come after them.
        const std::vector<long>* wide = VendorWideRecords(lint.index, adapter.vendor);
        OwnRecordsThatCanMatch(lint.index, adapter.vendor, adapter.device, adapter.named, key.own);
        if (wide && key.byName.empty() && (key.own.empty() || key.own.front() > wide->back())) {
            key.shared = wide;
        } else if (wide) {
            elements.clear();
            std::merge(wide->begin(), wide->end(), key.own.begin(), key.own.end(), std::back_inserter(elements));
            key.own.swap(elements);
        }
        if (key.Size() == 0 || !weighed.insert(key).second)
            continue;
        elements.swap(key.own);
        WeighedList list;
        VendorWide* vendor = nullptr;
        long fromElement = 0;
        if (key.shared) {
            const std::vector<long>& records = *key.shared;
            auto found = vendorWide.find(adapter.vendor);
            if (found == vendorWide.end()) {
                VendorWide& prefix = vendorWide[adapter.vendor];
                Adapter other = {adapter.vendor, kNoId, &kNoName, nullptr};
                if (!AimQuery(query, other, kNoText))
                    throw std::bad_alloc();
                if (!WeighRecords(lint, records, query, prefix.list) ||
                    !JudgeDrivers(lint, other, 0, query, prefix.list))
                    return;
                for (const std::wstring& driver : prefix.list.drivers) {
                    auto outcome = prefix.list.outcomes.find(driver);
                    CountRoles(lint, outcome->second);
                    if (outcome->second.acceptedBy < 0 || outcome->second.acceptedLevel == -1)
                        prefix.open.push_back(outcome);
                }
                found = vendorWide.find(adapter.vendor);
            }
            vendor = &found->second;
            list.none = vendor->list.none;
            list.steps = vendor->list.steps;
            fromElement = records.back() + 1;
        }
        if (!AimQuery(query, adapter, kNoText))
            throw std::bad_alloc();
        if (!WeighRecords(lint, elements, query, list))
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
