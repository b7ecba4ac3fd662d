// VideoCardDB.xml through the platform's XML document object
// (Microsoft.XMLDOM): loading it and walking its elements in document order,
// each with its attributes, for the scan.
#pragma once

#include "video_card_scan.h"

// Called for each element in document order; false ends the walk. The walk
// frees the attribute texts afterwards; a visitor keeps one by taking it and
// setting it to null in `element`.
typedef bool (*DatabaseElementVisitor)(DatabaseElement& element, void* context);

// Why a document did not load, as its parser tells.
struct DatabaseLoadError {
    HRESULT code = S_OK;
    long line = 0;    // 0: not known
    long column = 0;
    WideString reason;
};

// Creates the document object, loads `address` (a path or URL) synchronously
// and visits every element with its attributes (classified for `query`).
// Returns a failure code when the document object cannot be created, S_FALSE
// when the document did not load (then `loadError`, when given, tells why),
// and S_OK after the walk. Paths are worked out only when `withPaths` is set.
HRESULT WalkVideoCardDatabase(const WideString& address, const VideoCardQuery& query, bool withPaths,
                              DatabaseElementVisitor visit, void* context, DatabaseLoadError* loadError);

// Told of every element the scan weighs, with the scan as it stands after it.
typedef void (*VideoCardObserver)(const DatabaseElement& element, const VideoCardRecord& record,
                                  RecordEffect effect, const VideoCardScan& scan, void* context);

// Scans the database at `address` for the adapter in `query`, telling
// `observer` (when given; it then also receives element paths) of each record.
HRESULT ScanVideoCardDatabase(const WideString& address, const VideoCardQuery& query, VideoCardObserver observer,
                              void* context, VideoCardScanEnd& end, DatabaseLoadError* loadError);
