// explain: what both builds of the library answer for one adapter and driver,
// and the records that led there.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "database_file.h"
#include "json_writer.h"
#include "video_card_xml.h"

struct AdapterIdentity {
    DWORD vendorId = 0;
    DWORD deviceId = 0;
    std::wstring cardName;
    std::wstring driverVersion;
};

// One record the scan weighed, as it stands in the document.
struct TrailStep {
    long element;  // 1 for the first element of the document
    std::wstring path;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;  // as written
    RecordEffect effect;
    int candidateNumber;  // kRecordCandidate: its place in the list, 1 first
    bool hasFamily;       // kRecordCandidate, kRecordRejected: the driver family
    long family;
    int fallbackLevel;  // the fallback level after this record
};

// LookUpVideoCard's answer in one build, and what the check makes of it.
struct BuildAnswer {
    int result;
    bool rejected;
    int level;  // -1: unknown (and always for the Direct3D 9 build, which takes it from the device)
    std::wstring alternates;
};

struct Explanation {
    HRESULT readResult = S_OK;  // S_FALSE: not loaded; a failure: no document object
    DatabaseLoadError loadError;
    long elementsRead = 0;
    std::vector<TrailStep> trail;
    bool accepted = false;
    bool rejected = false;
    BuildAnswer direct3D9 = {};
    BuildAnswer direct3D8 = {};
};

// The answer of a lookup result as the check of `flavour` reads it (ReadLookupResult).
BuildAnswer AnswerOf(Direct3DFlavour flavour, int result, const WideString& alternates);

// Scans the database for the adapter; records that do not match it are kept
// in the trail only with `everyRecord`.
HRESULT ExplainAdapter(const std::wstring& databasePath, const AdapterIdentity& adapter, bool everyRecord,
                       Explanation& explanation);

// The same scan over stored records: `elements` in document order, among them
// every one that can match the adapter in `query` (RecordsThatCanMatch). The
// trail, with `withTrail`, holds the records that matched.
void ExplainStoredRecords(const StoredDatabase& database, const std::vector<long>& elements,
                          const VideoCardQuery& query, bool withTrail, Explanation& explanation);

// The answers for a database that was not read: the library's for no records.
void ExplainUnreadDatabase(HRESULT readResult, const DatabaseLoadError& loadError, Explanation& explanation);

std::string ExplanationText(const std::wstring& databasePath, const AdapterIdentity& adapter,
                            const Explanation& explanation);
std::string ExplanationJson(const std::wstring& databasePath, const AdapterIdentity& adapter,
                            const Explanation& explanation);
// The members of explain --json's document before "trail"; `line`, from 1,
// follows "database" when given (explain --batch), 0 leaves it out.
void WriteExplanationMembers(JsonWriter& json, const std::wstring& databasePath, long line,
                             const AdapterIdentity& adapter, const Explanation& explanation);
void WriteTrailStep(JsonWriter& json, const TrailStep& step);
std::string TrailStepJson(const TrailStep& step);
