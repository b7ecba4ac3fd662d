// Finding and reading a database file for the tool, through the same walk as
// the library's lookup.
#pragma once

#include <string>
#include <vector>

#include "json_writer.h"
#include "video_card_xml.h"

// This program's directory with its separator; empty when it cannot be told.
std::wstring ProgramDirectory();

// VideoCardDB.xml beside this program.
std::wstring DefaultDatabasePath();

// The address the document object loads `path` from: "file://" and the full
// path, the form the library itself uses.
WideString DatabaseAddress(const std::wstring& path);

// Every element of a database, with copies of its attributes, kept for
// judging it again against many adapters.
struct StoredElement {
    long index;
    std::wstring path;
    std::vector<DatabaseAttribute> attributes;  // texts owned by StoredDatabase
};

struct StoredDatabase {
    std::vector<StoredElement> elements;

    StoredDatabase() = default;
    ~StoredDatabase();
    StoredDatabase(const StoredDatabase&) = delete;
    StoredDatabase& operator=(const StoredDatabase&) = delete;
};

// The element as the scan reads it.
DatabaseElement AsDatabaseElement(const StoredElement& element);

// How reading a database ended: S_OK, S_FALSE (not loaded: `error` tells
// why) or the failure to create the document object.
HRESULT ReadWholeDatabase(const std::wstring& path, const VideoCardQuery& query, StoredDatabase& database,
                          DatabaseLoadError& error);

// Whether the file at `path` can be opened for reading; the error code in
// `error`, when given, if not.
bool DatabaseFileOpens(const std::wstring& path, DWORD* error = nullptr);

// The file at `path` opened for reading, shared with writers; invalid when it
// cannot be opened (GetLastError says why).
HANDLE OpenForReading(const std::wstring& path);

// Says why a database that did not load could not be read, when the
// document object did not: the file cannot be opened, or where the parser
// stops.
void CompleteLoadError(const std::wstring& path, DatabaseLoadError& error);

// The system's text for an error code, without its line break.
std::wstring SystemErrorText(DWORD code);

// One line on why a database could not be read.
std::wstring DescribeLoadFailure(HRESULT result, const DatabaseLoadError& error);

// Why a database could not be read, as the members "reason", "line" and
// "column" of the JSON object being written: the parser's own reason when the
// document did not load, the missing document object otherwise.
void WriteLoadFailureMembers(JsonWriter& json, HRESULT result, const DatabaseLoadError& error);
