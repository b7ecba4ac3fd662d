// The matching rules against brute force: over random small databases whose
// ids, names and drivers collide, every rule's claim is worked out for every
// adapter the rules consider and every driver of the small universe, through
// the library's scan of the whole document, and lint must find exactly that.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "database_file.h"
#include "lint.h"
#include "lint_output.h"
#include "record_index.h"
#include "small_databases.h"
#include "test_support.h"

namespace {

const int kDatabases = 300;
const DWORD kVendors[] = {0, 10, 11, 12};  // no record gives 12
const DWORD kDevices[] = {0, 20, 21, 22};  // no record gives 22
const wchar_t* const kNames[] = {L"A", L"B", L"C"};  // no record gives C
const DWORD kOtherVendor = 12, kOtherDevice = 22;
const wchar_t kOtherName[] = L"C";
const wchar_t* const kDrivers[] = {L"1.0.0000.1", L"1.0.0000.2", L"1.0.0000.3", L"2.0.0000.1", L"1.0.0.4"};
const wchar_t kNoDriver[] = L"9.9.9999.9";  // no record names it

const char* const kMatchingRules[] = {"overridden-level", "too-many-candidates", "rejected-without-alternate",
                                      "rejection-without-level", "accepted-without-level", "shadowed-record"};

typedef std::set<std::pair<std::string, long>> Claims;  // rule, element (1 for the root)

struct Key {
    DWORD vendor, device;
    std::wstring name;
    bool operator<(const Key& o) const
    {
        return vendor != o.vendor ? vendor < o.vendor : device != o.device ? device < o.device : name < o.name;
    }
};

// How each element matches each adapter of the small universe, as the scan reads it.
struct Matching {
    std::map<Key, std::vector<VideoCardRecord>> records;  // per adapter, per element

    bool IdsMatch(const Key& adapter, size_t e) const
    {
        const VideoCardRecord& record = records.at(adapter)[e];
        return record.vendorMatched && record.deviceMatched;
    }
    bool NameMatch(const Key& adapter, size_t e) const { return records.at(adapter)[e].cardMatched; }
    // "*": it matches a device no record gives.
    bool Wildcard(size_t e) const
    {
        for (DWORD vendor : kVendors) {
            if (IdsMatch(Key{vendor, kOtherDevice, kOtherName}, e))
                return true;
        }
        return false;
    }
    bool UsableIds(size_t e) const
    {
        for (const auto& adapter : records) {
            if (IdsMatch(adapter.first, e))
                return true;
        }
        return false;
    }
};

// The adapters the rules consider, as the small universe spells them.
std::set<Key> ConsideredAdapters(const Matching& matching, size_t elements)
{
    std::set<Key> adapters;
    std::set<DWORD> givenVendors;
    for (size_t e = 0; e < elements; ++e) {
        for (DWORD vendor : kVendors)
            for (DWORD device : kDevices)
                if (matching.IdsMatch(Key{vendor, device, kOtherName}, e))
                    givenVendors.insert(vendor);
    }
    for (DWORD vendor : kVendors)
        for (DWORD device : kDevices)
            adapters.insert(Key{vendor, device, kOtherName});
    for (const wchar_t* name : {L"A", L"B"}) {
        adapters.insert(Key{kOtherVendor, kOtherDevice, name});
        for (size_t e = 0; e < elements; ++e) {
            if (!matching.NameMatch(Key{kOtherVendor, kOtherDevice, name}, e))
                continue;
            bool usable = matching.UsableIds(e);
            for (DWORD vendor : kVendors) {
                bool ownVendor = false;
                for (DWORD device : kDevices) {
                    if (!matching.IdsMatch(Key{vendor, device, kOtherName}, e))
                        continue;
                    ownVendor = true;
                    if (!matching.Wildcard(e))
                        adapters.insert(Key{vendor, device, name});
                }
                if (usable ? ownVendor : givenVendors.count(vendor) > 0)
                    adapters.insert(Key{vendor, kOtherDevice, name});
            }
        }
    }
    return adapters;
}

struct ScanStep {
    RecordEffect effect;
    int level;
    bool cardMatched;
};

struct FullScan {
    std::vector<ScanStep> steps;  // kRecordNotMatching beyond the end
    std::vector<long> later;      // exact matches after the record that ended the scan
    VideoCardScanEnd end;
    long acceptedBy = -1;
};

FullScan ScanEverything(const StoredDatabase& database, const Key& adapter, const wchar_t* driver)
{
    VideoCardQuery query;
    EXPECT_EQ(S_OK, PrepareVideoCardQuery(adapter.vendor, adapter.device, adapter.name.c_str(), driver, query));
    FullScan scan;
    scan.end.documentObject = true;
    VideoCardScan scratch;
    for (size_t e = 0; e < database.elements.size(); ++e) {
        VideoCardRecord record;
        DatabaseElement element = AsDatabaseElement(database.elements[e]);
        if (scan.acceptedBy >= 0) {
            RecordEffect effect = JudgeDatabaseElement(query, element, record, scratch);
            if (effect == kRecordAccepted || effect == kRecordRejected)
                scan.later.push_back(static_cast<long>(e));
            scan.steps.push_back(ScanStep{kRecordNotMatching, -1, false});
            continue;
        }
        RecordEffect effect = ScanDatabaseElement(query, element, record, scan.end);
        scan.steps.push_back(ScanStep{effect, record.pixelShaderLevel, record.cardMatched});
        if (effect == kRecordAccepted)
            scan.acceptedBy = static_cast<long>(e);
    }
    return scan;
}

bool FallbackSetter(RecordEffect effect)
{
    return effect == kRecordCandidate || effect == kRecordNotRecommendedLeft || effect == kRecordBlackListedLeft ||
           effect == kRecordListFullLeft;
}

const wchar_t* AttributeValue(const StoredElement& element, RecordAttributeKind kind)
{
    const wchar_t* value = nullptr;
    for (const DatabaseAttribute& attribute : element.attributes) {
        if (attribute.kind == kind)
            value = attribute.value ? attribute.value : L"";
    }
    return value;
}

// Every claim by brute force; `duplicates` are the records lint calls duplicates.
Claims BruteForce(const StoredDatabase& database, const std::set<long>& duplicates, long* pairs)
{
    size_t count = database.elements.size();
    Matching matching;
    for (DWORD vendor : kVendors)
        for (DWORD device : kDevices)
            for (const wchar_t* name : kNames) {
                Key adapter = {vendor, device, name};
                FullScan none = ScanEverything(database, adapter, kNoDriver);
                std::vector<VideoCardRecord>& records = matching.records[adapter];
                VideoCardQuery query;
                PrepareVideoCardQuery(vendor, device, name, kNoDriver, query);
                for (size_t e = 0; e < count; ++e) {
                    VideoCardRecord record;
                    VideoCardScan scratch;
                    JudgeDatabaseElement(query, AsDatabaseElement(database.elements[e]), record, scratch);
                    records.push_back(record);
                }
            }
    Claims claims;
    std::vector<bool> decisive(count), shadowed(count);
    for (const Key& adapter : ConsideredAdapters(matching, count)) {
        bool named = false;
        for (size_t e = 0; e < count; ++e)
            named = named || matching.NameMatch(adapter, e) || (matching.IdsMatch(adapter, e) && !matching.Wildcard(e));

        FullScan none = ScanEverything(database, adapter, kNoDriver);
        ++*pairs;
        long last = -1;
        for (size_t e = 0; e < count; ++e) {
            const wchar_t* driver = AttributeValue(database.elements[e], kDriverVersionAttribute);
            if (none.steps[e].effect == kRecordListFullLeft && driver && *driver)
                claims.insert(std::make_pair("too-many-candidates", static_cast<long>(e) + 1));
            if (FallbackSetter(none.steps[e].effect))
                last = static_cast<long>(e);
        }
        auto specificity = [&](long e) { return none.steps[e].cardMatched || !matching.Wildcard(e) ? 2 : 1; };
        if (last >= 0 && specificity(last) == 1) {
            for (long e = 0; e < last; ++e) {
                if (FallbackSetter(none.steps[e].effect) &&
                    AttributeValue(database.elements[e], kPixelShaderVersionAttribute) && specificity(e) == 2 &&
                    none.steps[e].level != none.steps[last].level)
                    claims.insert(std::make_pair("overridden-level", last + 1));
            }
        }
        WideString ignored;
        int levelOtherwise = VideoCardLookupResult(kDirect3D8Build, none.end, ignored);

        for (const wchar_t* driver : kDrivers) {
            FullScan scan = ScanEverything(database, adapter, driver);
            ++*pairs;
            long firstRejected = -1;
            for (size_t e = 0; e < count; ++e) {
                RecordEffect effect = scan.steps[e].effect;
                if (effect == kRecordAccepted || effect == kRecordRejected)
                    decisive[e] = true;
                if (effect == kRecordRejected && firstRejected < 0)
                    firstRejected = static_cast<long>(e);
            }
            for (long e : scan.later)
                shadowed[e] = true;
            if (scan.acceptedBy >= 0) {
                if (scan.steps[scan.acceptedBy].level == -1 && levelOtherwise >= 0)
                    claims.insert(std::make_pair("accepted-without-level", scan.acceptedBy + 1));
                continue;
            }
            if (firstRejected < 0)
                continue;
            WideString alternates, ignoredToo;
            VideoCardLookupResult(kDirect3D9Build, scan.end, alternates);
            if (alternates.IsEmpty())
                claims.insert(std::make_pair("rejected-without-alternate", firstRejected + 1));
            if (VideoCardLookupResult(kDirect3D8Build, scan.end, ignoredToo) == -1 && named)
                claims.insert(std::make_pair("rejection-without-level", firstRejected + 1));
        }
    }
    for (size_t e = 0; e < count; ++e) {
        if (!decisive[e] && shadowed[e] && !duplicates.count(static_cast<long>(e) + 1))
            claims.insert(std::make_pair("shadowed-record", static_cast<long>(e) + 1));
    }
    return claims;
}

std::string Describe(const Claims& claims)
{
    std::string text;
    for (const auto& claim : claims)
        text += " " + claim.first + "@" + std::to_string(claim.second);
    return text.empty() ? " (none)" : text;
}

}  // namespace

TEST(LintProperty, MatchingRulesEqualBruteForceOverTheScan)
{
    unsigned seed = getenv("VIDRAKE_PROPERTY_SEED") ? strtoul(getenv("VIDRAKE_PROPERTY_SEED"), nullptr, 10)
                                                    : GetTickCount();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (VIDRAKE_PROPERTY_SEED repeats this run)");
    SmallUniverse universe(seed);
    ScratchFolder folder(L"lint-property");
    std::wstring path = folder.Path() + L"VideoCardDB.xml";
    ComApartment apartment;
    VideoCardQuery neutral;
    ASSERT_EQ(S_OK, PrepareNeutralQuery(neutral));

    long pairs = 0;
    std::map<std::string, int> found;
    for (int d = 0; d < kDatabases; ++d) {
        std::string xml = universe.Database(4 + universe.Pick(14));
        folder.WriteFile(L"VideoCardDB.xml", xml);
        LintReport report;
        ASSERT_EQ(S_OK, LintDatabase(path, report)) << xml;
        ASSERT_TRUE(report.complete);
        Claims linted;
        std::set<long> duplicates;
        for (const LintFinding& finding : report.findings) {
            if (finding.rule == "duplicate-record")
                duplicates.insert(finding.element);
            for (const char* rule : kMatchingRules) {
                if (finding.rule == rule)
                    linted.insert(std::make_pair(finding.rule, finding.element));
            }
        }
        StoredDatabase database;
        DatabaseLoadError error;
        ASSERT_EQ(S_OK, ReadWholeDatabase(path, neutral, database, error));
        Claims claimed = BruteForce(database, duplicates, &pairs);
        ASSERT_EQ(claimed, linted) << "database " << d << ":\n"
                                   << xml << "brute force:" << Describe(claimed) << "\nlint:" << Describe(linted)
                                   << "\n" << LintText(path, report);
        for (const auto& claim : claimed)
            ++found[claim.first];
    }
    std::cout << kDatabases << " databases, " << pairs << " adapter and driver pairs scanned, seed " << seed << ":";
    for (const char* rule : kMatchingRules)
        std::cout << " " << rule << " " << found[rule] << ";";
    std::cout << "\n";
    // The universe reaches every rule, or the comparison says little.
    for (const char* rule : kMatchingRules)
        EXPECT_GT(found[rule], 0) << rule;
}
