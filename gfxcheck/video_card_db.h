// Reading VideoCardDB.xml and judging an adapter and its driver against it.
//
// This part is the same for both builds of the library and for the database
// tool: the builds differ only in the rejection result (RejectionResult), so
// the scan is compiled once and told which build it answers for.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "holders.h"
#include "wide_string.h"

enum Direct3DFlavour {
    kDirect3D9Build,
    kDirect3D8Build,
};

// The library's own lookup, one per build (video_card_lookup.cpp): the
// database beside the host program, judged for this build.
//
// Returns the pixel shader level of the first accepted exact match, the
// rejection result (Direct3D 9 build: -2; Direct3D 8 build: -2 minus the
// fallback level) after appending the accepted drivers of the installed
// driver's family to `alternates`, or else the fallback level (-1: none).
// -1 as well when the XML document object cannot be created.
int LookUpVideoCard(DWORD vendorId, DWORD deviceId, WideString description,
                    WideString driverVersionText, WideString& alternates);

// The scan behind LookUpVideoCard, apart from the XML walk. Each element of
// the document is one record: ScanDatabaseElement reads its attributes into a
// fresh VideoCardRecord and weighs it; after the last element (or the first
// accepted exact match) VideoCardLookupResult gives the result.

const int kMaxDriverCandidates = 30;

// The attribute names a record is read by; anything else is ignored.
enum RecordAttributeKind {
    kOtherAttribute,
    kManufacturerIdAttribute,
    kDeviceIdAttribute,
    kCardNameAttribute,
    kDriverVersionAttribute,
    kPixelShaderVersionAttribute,
    kBlackListAttribute,
};
const int kRecordAttributeKinds = kBlackListAttribute + 1;

// The name of each kind as the database writes it (kOtherAttribute: "").
const wchar_t* RecordAttributeName(RecordAttributeKind kind);

// The adapter records are judged against, and the texts that attribute names
// and values are compared with. VarBstrCmp needs real BSTRs, so they are made
// once per lookup (PrepareVideoCardQuery).
struct VideoCardQuery {
    DWORD vendorId;
    DWORD deviceId;
    WideString description;
    BstrHolder driverVersionText;
    BstrHolder manufacturerIdName;
    BstrHolder deviceIdName;
    BstrHolder cardNameName;
    BstrHolder driverVersionName;
    BstrHolder pixelShaderVersionName;
    BstrHolder blackListName;
    BstrHolder anyDevice;       // "*"
    BstrHolder blackListed;     // "true"
    BstrHolder notRecommended;  // "not_recommended"
};

// What one element says about the adapter.
struct VideoCardRecord {
    bool vendorMatched = false;
    bool deviceMatched = false;
    bool cardMatched = false;
    bool driverMatched = false;
    bool rejected = false;
    bool notRecommended = false;
    int pixelShaderLevel = -1;
    WideString driverText;  // empty until a non-empty DriverVersion is read
};

struct DriverCandidate {
    WideString driverText;
    bool hasFamily = false;  // false: the text has no first number to compare
    long family = 0;
};

struct VideoCardScan {
    int fallbackLevel = -1;
    bool rejected = false;
    bool rejectionHasFamily = false;
    long rejectionFamily = 0;
    int candidateCount = 0;
    DriverCandidate candidates[kMaxDriverCandidates];
};

// What weighing one record did to the scan.
enum RecordEffect {
    kRecordNotMatching,         // matches another adapter: nothing changes
    kRecordAccepted,            // the first accepted exact match: the scan ends
    kRecordRejected,            // an exact match with BlackList "true"
    kRecordCandidate,           // entered the candidate list; set the fallback level
    kRecordNotRecommendedLeft,  // left out, BlackList "not_recommended"; set the fallback level
    kRecordBlackListedLeft,     // left out, BlackList "true"; set the fallback level
    kRecordListFullLeft,        // left out, the list was full; set the fallback level
};

// Fills `query`; E_OUTOFMEMORY when a BSTR cannot be made.
HRESULT PrepareVideoCardQuery(DWORD vendorId, DWORD deviceId, const WideString& description,
                              const WideString& driverVersionText, VideoCardQuery& query);

// Which recognised name `name` is, compared as the database's texts are.
RecordAttributeKind ClassifyRecordAttribute(const VideoCardQuery& query, BSTR name);

// Reads one attribute value of a known kind into `record`. A null `value` is
// read as an empty text.
void ReadRecordValue(const VideoCardQuery& query, RecordAttributeKind kind, BSTR value, VideoCardRecord& record);

// Weighs a complete record and tells what it did.
RecordEffect WeighVideoCardRecord(const VideoCardRecord& record, VideoCardScan& scan);

// The result after the last record for `flavour`; on a rejection appends the
// candidates of the rejected driver's family to `alternates`, joined by ", ".
int FinishVideoCardScanFor(Direct3DFlavour flavour, const VideoCardScan& scan, WideString& alternates);

// What the check of `flavour` makes of LookUpVideoCard's result: the Direct3D
// 9 build only whether it is -2; the Direct3D 8 build a level from 0, -1 for
// an unknown level, and from -2 down a rejection with the level -2 minus it.
struct LookupReading {
    bool rejected;
    int level;  // -1: unknown (always for the Direct3D 9 build, which takes it from the device)
};
LookupReading ReadLookupResult(Direct3DFlavour flavour, int result);

// LookUpVideoCard's result on a rejection, the one difference between the
// builds: -2 (Direct3D 9), or -2 minus the fallback level (Direct3D 8).
int RejectionResult(Direct3DFlavour flavour, int fallbackLevel);

// The first number of a driver version text (leading dots skipped), by the
// base-10 conversion. False when there is none: an empty text or dots alone.
bool DriverFamilyNumber(const wchar_t* driverText, long* family);

// The base-10 conversion numbers in the database are read with (wcstol:
// leading white space and a sign taken, digits up to the first other
// character, clamped to the 32-bit signed range, 0 without digits).
long DatabaseNumber(const wchar_t* text);

// --- The walk over the document -----------------------------------------------

// One attribute as the parser gave it.
struct DatabaseAttribute {
    BSTR name;
    BSTR value;  // may be null: the empty text
    RecordAttributeKind kind;
};

// One element of the document: one record.
struct DatabaseElement {
    long index;       // position among all elements in document order, 0 first
    const wchar_t* path;  // such as /VideoCardDB/Vendor[2]/Card[5]; "" unless asked for; a long one has its middle left out
    long attributeCount;
    DatabaseAttribute* attributes;
};

// Reads the element's attributes into a fresh `record` and weighs it.
RecordEffect JudgeDatabaseElement(const VideoCardQuery& query, const DatabaseElement& element,
                                  VideoCardRecord& record, VideoCardScan& scan);

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

// How a scan of a whole database ended.
struct VideoCardScanEnd {
    bool documentObject = false;  // false: no XML document object
    bool accepted = false;        // an accepted exact match ended the scan
    int acceptedLevel = -1;
    VideoCardScan scan;
};

// Reads `element` into a fresh `record` and weighs it into `end`, as the scan
// does for each element; the first accepted exact match ends the scan
// (end.accepted, with its level). Returns what the record did.
RecordEffect ScanDatabaseElement(const VideoCardQuery& query, const DatabaseElement& element, VideoCardRecord& record,
                                 VideoCardScanEnd& end);

// Scans the database at `address` for the adapter in `query`, telling
// `observer` (when given; it then also receives element paths) of each record.
HRESULT ScanVideoCardDatabase(const WideString& address, const VideoCardQuery& query, VideoCardObserver observer,
                              void* context, VideoCardScanEnd& end, DatabaseLoadError* loadError);

// LookUpVideoCard's result for `flavour` from the end of a scan; on a
// rejection the alternates are appended to `alternates`.
int VideoCardLookupResult(Direct3DFlavour flavour, const VideoCardScanEnd& end, WideString& alternates);
