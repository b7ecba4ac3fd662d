#include "explain_batch.h"

#include <windows.h>

#include <map>
#include <new>
#include <tuple>

#include "arguments.h"
#include "holders.h"
#include "json_writer.h"
#include "record_index.h"
#include "text_output.h"

namespace {

std::string ReadAdapter(const std::wstring& text, AdapterIdentity& adapter)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = text.find(L'\t', start);
        fields.push_back(text.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
        if (tab == std::wstring::npos)
            break;
        start = tab + 1;
    }
    if (fields.size() != 4)
        return "expected four tab-separated fields (vendorId, deviceId, driverVersion, cardName), found " +
               std::to_string(fields.size());
    if (text.find(L'\r') != std::wstring::npos || text.find(L'\0') != std::wstring::npos)
        return "a carriage return or NUL character inside the line";
    if (!ReadAdapterId(fields[0].c_str(), &adapter.vendorId))
        return "vendorId " + QuotedText(fields[0]) + " is not a number from 0 to 4294967295";
    if (!ReadAdapterId(fields[1].c_str(), &adapter.deviceId))
        return "deviceId " + QuotedText(fields[1]) + " is not a number from 0 to 4294967295";
    adapter.driverVersion = fields[2];
    adapter.cardName = fields[3];
    return std::string();
}

typedef std::tuple<DWORD, DWORD, std::wstring, std::wstring> AdapterKey;

struct DatabaseAnswers {
    const std::wstring* path;
    HRESULT readResult;
    DatabaseLoadError loadError;
    StoredDatabase stored;
    RecordIndex index;
    std::map<AdapterKey, Explanation> answered;  // the same adapter twice is answered once
};

const Explanation& Answer(DatabaseAnswers& database, const AdapterIdentity& adapter, bool withTrail)
{
    AdapterKey key(adapter.vendorId, adapter.deviceId, adapter.cardName, adapter.driverVersion);
    auto found = database.answered.find(key);
    if (found != database.answered.end())
        return found->second;
    Explanation& explanation = database.answered[key];
    if (database.readResult != S_OK) {
        ExplainUnreadDatabase(database.readResult, database.loadError, explanation);
        return explanation;
    }
    VideoCardQuery query;
    if (FAILED(PrepareVideoCardQuery(adapter.vendorId, adapter.deviceId, adapter.cardName.c_str(),
                                     adapter.driverVersion.c_str(), query)))
        throw std::bad_alloc();
    std::vector<long> elements;
    RecordsThatCanMatch(database.index, adapter.vendorId, adapter.deviceId, adapter.cardName, elements);
    ExplainStoredRecords(database.stored, elements, query, withTrail, explanation);
    return explanation;
}

std::string AnswerLine(const DatabaseAnswers& database, const AdapterLine& line, const Explanation& explanation,
                       bool withTrail)
{
    JsonWriter json;
    json.BeginObject();
    WriteExplanationMembers(json, *database.path, line.line, line.adapter, explanation);
    if (withTrail) {
        json.Key("trail");
        json.BeginArray();
        for (const TrailStep& step : explanation.trail)
            WriteTrailStep(json, step);
        json.EndArray();
    }
    json.EndObject();
    return json.text + "\n";
}

std::string ErrorLine(const std::wstring& databasePath, const AdapterLine& line)
{
    JsonWriter json;
    json.BeginObject();
    json.Key("database");
    json.String(databasePath);
    json.Key("line");
    json.Number(line.line);
    json.Key("error");
    json.String(line.error);
    json.EndObject();
    return json.text + "\n";
}

}  // namespace

void ReadAdapterList(const std::string& content, std::vector<AdapterLine>& lines)
{
    size_t start = content.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (long number = 1; start < content.size(); ++number) {
        size_t end = content.find('\n', start);
        std::string text = content.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? content.size() : end + 1;
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (text.empty())
            continue;
        AdapterLine line = {number, false, AdapterIdentity(), std::string()};
        int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
        if (size <= 0) {
            line.error = "not UTF-8 text";
        } else {
            std::wstring wide(size, L'\0');
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &wide[0],
                                size);
            line.error = ReadAdapter(wide, line.adapter);
        }
        line.readable = line.error.empty();
        lines.push_back(line);
    }
}

bool ReadWholeFile(const std::wstring& path, std::string& content, std::wstring& error)
{
    FileHolder file(OpenForReading(path));
    if (!file.Valid()) {
        error = SystemErrorText(GetLastError());
        return false;
    }
    content.clear();
    char buffer[65536];
    DWORD read = 0;
    BOOL ok;
    while ((ok = ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr)) && read > 0)
        content.append(buffer, read);
    if (!ok) {
        error = SystemErrorText(GetLastError());
        return false;
    }
    return true;
}

void ExplainBatch(const std::vector<AdapterLine>& lines, const std::vector<std::wstring>& databases, bool withTrail,
                  BatchLineSink sink, void* context)
{
    ComApartment apartment;  // the document object wants a single-threaded apartment
    VideoCardQuery neutral;
    if (FAILED(PrepareNeutralQuery(neutral)))
        throw std::bad_alloc();
    for (const std::wstring& path : databases) {
        DatabaseAnswers database;
        database.path = &path;
        database.readResult = ReadWholeDatabase(path, neutral, database.stored, database.loadError);
        if (database.readResult == S_OK)
            IndexRecords(database.stored, neutral, database.index);
        for (const AdapterLine& line : lines) {
            if (!line.readable) {
                sink(ErrorLine(path, line), context);
                continue;
            }
            sink(AnswerLine(database, line, Answer(database, line.adapter, withTrail), withTrail), context);
        }
    }
}
