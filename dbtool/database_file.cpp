#include "database_file.h"

#include <windows.h>

#include "holders.h"
#include "parse_error.h"

std::wstring ProgramDirectory()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    // A path that does not fit leaves the current directory.
    std::wstring directory(path, length < MAX_PATH ? length : 0);
    size_t separator = directory.find_last_of(L"\\/");
    directory.erase(separator == std::wstring::npos ? 0 : separator + 1);
    return directory;
}

std::wstring DefaultDatabasePath()
{
    return ProgramDirectory() + L"VideoCardDB.xml";
}

WideString DatabaseAddress(const std::wstring& path)
{
    wchar_t full[32768];
    DWORD length = GetFullPathNameW(path.c_str(), sizeof(full) / sizeof(full[0]), full, nullptr);
    WideString address = L"file://";
    if (length == 0 || length >= sizeof(full) / sizeof(full[0]))
        address.Append(path.c_str());
    else
        address.Append(full, static_cast<int>(length));
    return address;
}

StoredDatabase::~StoredDatabase()
{
    for (StoredElement& element : elements) {
        for (DatabaseAttribute& attribute : element.attributes) {
            SysFreeString(attribute.name);
            SysFreeString(attribute.value);
        }
    }
}

DatabaseElement AsDatabaseElement(const StoredElement& element)
{
    // The scan only reads the attributes.
    DatabaseElement read = {element.index, element.path.c_str(), static_cast<long>(element.attributes.size()),
                            const_cast<DatabaseAttribute*>(element.attributes.data())};
    return read;
}

namespace {

// Keeps the element, taking its attribute texts over from the walk.
bool StoreElement(DatabaseElement& element, void* context)
{
    StoredDatabase& database = *static_cast<StoredDatabase*>(context);
    database.elements.push_back(StoredElement());
    StoredElement& stored = database.elements.back();
    stored.index = element.index;
    stored.path = element.path;
    stored.attributes.assign(element.attributes, element.attributes + element.attributeCount);
    for (long i = 0; i < element.attributeCount; ++i) {
        element.attributes[i].name = nullptr;
        element.attributes[i].value = nullptr;
    }
    return true;
}

}  // namespace

HRESULT ReadWholeDatabase(const std::wstring& path, const VideoCardQuery& query, StoredDatabase& database,
                          DatabaseLoadError& error)
{
    HRESULT hr = WalkVideoCardDatabase(DatabaseAddress(path), query, true, StoreElement, &database, &error);
    if (hr == S_FALSE)
        CompleteLoadError(path, error);
    return hr;
}

HANDLE OpenForReading(const std::wstring& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool DatabaseFileOpens(const std::wstring& path, DWORD* error)
{
    FileHolder file(OpenForReading(path));
    if (!file.Valid() && error)
        *error = GetLastError();
    return file.Valid();
}

void CompleteLoadError(const std::wstring& path, DatabaseLoadError& error)
{
    if (error.line > 0)
        return;
    DWORD code = 0;
    if (!DatabaseFileOpens(path, &code)) {
        error.reason = (L"cannot open the file: " + SystemErrorText(code)).c_str();
        return;
    }
    LocateParseError(DatabaseAddress(path), error);
}

std::wstring SystemErrorText(DWORD code)
{
    wchar_t text[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                   sizeof(text) / sizeof(text[0]), nullptr);
    std::wstring reason = text[0] ? text : L"unknown error";
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
        reason.pop_back();
    return reason;
}

std::wstring DescribeLoadFailure(HRESULT result, const DatabaseLoadError& error)
{
    wchar_t text[64];
    if (FAILED(result)) {
        wsprintfW(text, L"0x%08lX", static_cast<unsigned long>(result));
        return std::wstring(L"the XML document object (Microsoft.XMLDOM) is not available: ") + text;
    }
    std::wstring reason = error.reason.IsEmpty() ? L"the document could not be loaded" : error.reason.Text();
    if (error.line > 0) {
        wsprintfW(text, L" (line %ld, column %ld)", error.line, error.column);
        reason += text;
    }
    return reason;
}

void WriteLoadFailureMembers(JsonWriter& json, HRESULT result, const DatabaseLoadError& error)
{
    json.Key("reason");
    json.String(FAILED(result) ? DescribeLoadFailure(result, error) : std::wstring(error.reason.Text()));
    json.Key("line");
    json.Number(error.line);
    json.Key("column");
    json.Number(error.column);
}
