#include "explain.h"

#include <stdio.h>

#include "database_file.h"
#include "json_writer.h"
#include "text_output.h"

namespace {

struct ExplainContext {
    Explanation* explanation;
    bool everyRecord;
};

void AddTrailStep(const DatabaseElement& element, const VideoCardRecord& record, RecordEffect effect,
                  const VideoCardScan& scan, Explanation& explanation)
{
    TrailStep step = {};
    step.element = element.index + 1;
    step.path = element.path;
    for (long i = 0; i < element.attributeCount; ++i) {
        const DatabaseAttribute& attribute = element.attributes[i];
        step.attributes.push_back(std::make_pair(std::wstring(attribute.name ? attribute.name : L""),
                                                 std::wstring(attribute.value ? attribute.value : L"")));
    }
    step.effect = effect;
    if (effect == kRecordCandidate) {
        step.candidateNumber = scan.candidateCount;
        step.hasFamily = scan.candidates[scan.candidateCount - 1].hasFamily;
        step.family = scan.candidates[scan.candidateCount - 1].family;
    } else if (effect == kRecordRejected) {
        step.hasFamily = scan.rejectionHasFamily;
        step.family = scan.rejectionFamily;
    }
    step.fallbackLevel = effect == kRecordAccepted ? record.pixelShaderLevel : scan.fallbackLevel;
    explanation.trail.push_back(step);
}

void ObserveRecord(const DatabaseElement& element, const VideoCardRecord& record, RecordEffect effect,
                   const VideoCardScan& scan, void* context)
{
    ExplainContext& explain = *static_cast<ExplainContext*>(context);
    explain.explanation->elementsRead = element.index + 1;
    if (effect != kRecordNotMatching || explain.everyRecord)
        AddTrailStep(element, record, effect, scan, *explain.explanation);
}

// Both builds' answers from the end of a scan.
void AnswerFromScan(const VideoCardScanEnd& end, Explanation& explanation)
{
    explanation.accepted = end.accepted;
    explanation.rejected = !end.accepted && end.scan.rejected;
    WideString alternates9, alternates8;
    explanation.direct3D9 = AnswerOf(kDirect3D9Build, VideoCardLookupResult(kDirect3D9Build, end, alternates9),
                                             alternates9);
    explanation.direct3D8 = AnswerOf(kDirect3D8Build, VideoCardLookupResult(kDirect3D8Build, end, alternates8),
                                             alternates8);
}

std::string Number(long value)
{
    return std::to_string(value);
}

std::string LevelText(int level)
{
    return level == -1 ? std::string("none (-1)") : Number(level);
}

const char* EffectName(RecordEffect effect)
{
    switch (effect) {
    case kRecordNotMatching: return "notMatching";
    case kRecordAccepted: return "accepted";
    case kRecordRejected: return "rejected";
    case kRecordCandidate: return "candidate";
    case kRecordNotRecommendedLeft: return "notRecommended";
    case kRecordBlackListedLeft: return "blackListed";
    case kRecordListFullLeft: return "listFull";
    }
    return "";
}

std::string FamilyText(const TrailStep& step)
{
    return step.hasFamily ? "driver family " + Number(step.family) : std::string("no driver family");
}

std::string EffectText(const TrailStep& step)
{
    std::string fallback = "; set the fallback level to " + LevelText(step.fallbackLevel);
    switch (step.effect) {
    case kRecordNotMatching:
        return "does not match the adapter";
    case kRecordAccepted:
        return "the first accepted exact match: ended the scan; its level: " + LevelText(step.fallbackLevel);
    case kRecordRejected:
        return "rejected the installed driver (" + FamilyText(step) + ")";
    case kRecordCandidate:
        return "entered the candidate list as entry " + Number(step.candidateNumber) + " (" + FamilyText(step) + ")" +
               fallback;
    case kRecordNotRecommendedLeft:
        return "left out of the candidate list: not recommended" + fallback;
    case kRecordBlackListedLeft:
        return "left out of the candidate list: blacklisted" + fallback;
    case kRecordListFullLeft:
        return "left out of the candidate list: the list already holds " + Number(kMaxDriverCandidates) + fallback;
    }
    return "";
}

std::string AnswerText(Direct3DFlavour flavour, const BuildAnswer& answer)
{
    std::string text = Number(answer.result) + "  ";
    if (answer.rejected) {
        text += "rejected: the driver is not supported";
        if (flavour == kDirect3D8Build)
            text += ", pixel shader level " + Number(answer.level);
        text += answer.alternates.empty() ? "; no alternates offered"
                                          : "; alternates offered: " + Utf8(answer.alternates);
    } else if (flavour == kDirect3D9Build) {
        text += "not rejected (this build takes the pixel shader level from the device)";
    } else if (answer.level >= 0) {
        text += "not rejected, pixel shader level " + Number(answer.level);
    } else {
        text += "not rejected, pixel shader level unknown";
    }
    return text;
}

std::string HowDecided(const Explanation& explanation)
{
    if (explanation.accepted)
        return "The first accepted exact match decided.";
    if (explanation.rejected) {
        std::string text = "An exact match rejected the installed driver and none accepted it.";
        if (explanation.direct3D8.result == -1)
            text += " The Direct3D 8 build reads its result -1 as an unknown level: it does not report the rejection.";
        return text;
    }
    if (explanation.direct3D8.rejected)
        return "No record names the installed driver; the last matching record's pixel shader level is below -1, "
               "which the Direct3D 8 build reads as a rejection.";
    return "No record names the installed driver: the level is the last matching record's.";
}

void WriteAnswer(JsonWriter& json, const BuildAnswer& answer)
{
    json.BeginObject();
    json.Key("result");
    json.Number(answer.result);
    json.Key("rejected");
    json.Bool(answer.rejected);
    json.Key("level");
    if (answer.level < 0)
        json.Null();
    else
        json.Number(answer.level);
    json.Key("alternates");
    json.String(answer.alternates);
    json.EndObject();
}

}  // namespace

BuildAnswer AnswerOf(Direct3DFlavour flavour, int result, const WideString& alternates)
{
    LookupReading reading = ReadLookupResult(flavour, result);
    BuildAnswer answer = {result, reading.rejected, reading.level, alternates.Text()};
    return answer;
}

HRESULT ExplainAdapter(const std::wstring& databasePath, const AdapterIdentity& adapter, bool everyRecord,
                       Explanation& explanation)
{
    ComApartment apartment;  // the document object wants a single-threaded apartment
    VideoCardQuery query;
    HRESULT hr = PrepareVideoCardQuery(adapter.vendorId, adapter.deviceId, adapter.cardName.c_str(),
                                       adapter.driverVersion.c_str(), query);
    if (FAILED(hr))
        return hr;
    ExplainContext context = {&explanation, everyRecord};
    VideoCardScanEnd end;
    explanation.readResult = ScanVideoCardDatabase(DatabaseAddress(databasePath), query, ObserveRecord, &context,
                                                   end, &explanation.loadError);
    if (explanation.readResult == S_FALSE)
        CompleteLoadError(databasePath, explanation.loadError);
    AnswerFromScan(end, explanation);
    return explanation.readResult;
}

void ExplainStoredRecords(const StoredDatabase& database, const std::vector<long>& elements,
                          const VideoCardQuery& query, bool withTrail, Explanation& explanation)
{
    VideoCardScanEnd end;
    end.documentObject = true;
    for (long e : elements) {
        DatabaseElement element = AsDatabaseElement(database.elements[e]);
        VideoCardRecord record;
        RecordEffect effect = ScanDatabaseElement(query, element, record, end);
        explanation.elementsRead = element.index + 1;
        if (withTrail && effect != kRecordNotMatching)
            AddTrailStep(element, record, effect, end.scan, explanation);
        if (effect == kRecordAccepted)
            break;
    }
    AnswerFromScan(end, explanation);
}

void ExplainUnreadDatabase(HRESULT readResult, const DatabaseLoadError& loadError, Explanation& explanation)
{
    explanation.readResult = readResult;
    explanation.loadError = loadError;
    VideoCardScanEnd end;
    end.documentObject = SUCCEEDED(readResult);
    AnswerFromScan(end, explanation);
}

std::string ExplanationText(const std::wstring& databasePath, const AdapterIdentity& adapter,
                            const Explanation& explanation)
{
    std::string text = "Database: " + Utf8(databasePath) + "\n";
    text += "Adapter: vendor " + std::to_string(adapter.vendorId) + ", device " + std::to_string(adapter.deviceId) +
            ", card " + QuotedText(adapter.cardName) + ", driver " + Utf8(adapter.driverVersion) + "\n";
    if (explanation.readResult != S_OK)
        text += "The database could not be read: " +
                Utf8(DescribeLoadFailure(explanation.readResult, explanation.loadError)) +
                ". The library then finds no records.\n";
    text += "\nDirect3D 9 build: " + AnswerText(kDirect3D9Build, explanation.direct3D9) + "\n";
    text += "Direct3D 8 build: " + AnswerText(kDirect3D8Build, explanation.direct3D8) + "\n";
    text += HowDecided(explanation) + "\n";
    if (explanation.trail.empty()) {
        text += "\nNo record matches the adapter.\n";
        return text;
    }
    text += "\nRecords weighed, in document order:\n";
    for (const TrailStep& step : explanation.trail) {
        text += "  element " + Number(step.element) + "  " + Utf8(step.path) + "\n    ";
        for (size_t i = 0; i < step.attributes.size(); ++i)
            text += (i ? " " : "") + Utf8(step.attributes[i].first) + "=" + QuotedText(step.attributes[i].second);
        if (step.attributes.empty())
            text += "(no attributes)";
        text += "\n    " + EffectText(step) + "\n";
    }
    return text;
}

void WriteExplanationMembers(JsonWriter& json, const std::wstring& databasePath, long line,
                             const AdapterIdentity& adapter, const Explanation& explanation)
{
    json.Key("database");
    json.String(databasePath);
    if (line > 0) {
        json.Key("line");
        json.Number(line);
    }
    json.Key("readable");
    json.Bool(explanation.readResult == S_OK);
    if (explanation.readResult != S_OK) {
        json.Key("error");
        json.BeginObject();
        WriteLoadFailureMembers(json, explanation.readResult, explanation.loadError);
        json.EndObject();
    }
    json.Key("adapter");
    json.BeginObject();
    json.Key("vendorId");
    json.Number(adapter.vendorId);
    json.Key("deviceId");
    json.Number(adapter.deviceId);
    json.Key("cardName");
    json.String(adapter.cardName);
    json.Key("driverVersion");
    json.String(adapter.driverVersion);
    json.EndObject();
    json.Key("decidedBy");
    json.String(explanation.accepted ? "accepted" : explanation.rejected ? "rejected" : "fallback");
    json.Key("direct3d9");
    WriteAnswer(json, explanation.direct3D9);
    json.Key("direct3d8");
    WriteAnswer(json, explanation.direct3D8);
}

void WriteTrailStep(JsonWriter& json, const TrailStep& step)
{
    json.BeginObject();
    json.Key("element");
    json.Number(step.element);
    json.Key("path");
    json.String(step.path);
    json.Key("attributes");
    json.BeginArray();
    for (const auto& attribute : step.attributes) {
        json.BeginObject();
        json.Key("name");
        json.String(attribute.first);
        json.Key("value");
        json.String(attribute.second);
        json.EndObject();
    }
    json.EndArray();
    json.Key("effect");
    json.String(EffectName(step.effect));
    if (step.effect == kRecordCandidate) {
        json.Key("candidate");
        json.Number(step.candidateNumber);
    }
    if (step.effect == kRecordCandidate || step.effect == kRecordRejected) {
        json.Key("family");
        if (step.hasFamily)
            json.Number(step.family);
        else
            json.Null();
    }
    if (step.effect != kRecordNotMatching && step.effect != kRecordRejected) {
        json.Key(step.effect == kRecordAccepted ? "level" : "fallbackLevel");
        json.Number(step.fallbackLevel);
    }
    json.EndObject();
}

std::string TrailStepJson(const TrailStep& step)
{
    JsonWriter json;
    WriteTrailStep(json, step);
    return json.text;
}

std::string ExplanationJson(const std::wstring& databasePath, const AdapterIdentity& adapter,
                            const Explanation& explanation)
{
    JsonWriter json;
    json.BeginObject(kJsonLines);
    WriteExplanationMembers(json, databasePath, 0, adapter, explanation);
    json.Key("trail");
    json.BeginArray(kJsonLines);
    for (const TrailStep& step : explanation.trail)
        WriteTrailStep(json, step);
    json.EndArray();
    json.EndObject();
    return json.text + "\n";
}
