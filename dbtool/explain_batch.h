// explain --batch: the answers for many adapters, each database read once.
#pragma once

#include <string>
#include <vector>

#include "explain.h"

// One line of an adapter list:
//   vendorId <TAB> deviceId <TAB> driverVersion <TAB> cardName
struct AdapterLine {
    long line;  // 1 for the first line of the file
    bool readable;
    AdapterIdentity adapter;
    std::string error;  // why the line is not an adapter, when it is not
};

// Reads an adapter list (UTF-8, an optional byte-order mark, lines ending in
// LF or CRLF). Empty lines are skipped; every other line gives an entry, an
// error for a line that is not an adapter.
void ReadAdapterList(const std::string& content, std::vector<AdapterLine>& lines);

// The whole file at `path`; false, with the reason in `error`, when it cannot be read.
bool ReadWholeFile(const std::wstring& path, std::string& content, std::wstring& error);

// Called with each output line, line feed included.
typedef void (*BatchLineSink)(const std::string& line, void* context);

// For each database in order, for each adapter line in order: the line
// `explain --json` would print for it (without the trail unless `withTrail`),
// on one line and with "line"; or, for a line that is not an adapter, its
// database, line and error.
void ExplainBatch(const std::vector<AdapterLine>& lines, const std::vector<std::wstring>& databases, bool withTrail,
                  BatchLineSink sink, void* context);
