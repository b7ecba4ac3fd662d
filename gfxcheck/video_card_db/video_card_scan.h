// The scan of VideoCardDB.xml's records, one element after another in
// document order, and the lookup's result from it. Both builds of the library
// and the database tool share it: the builds differ only in the rejection
// result (RejectionResult), so the scan is told which build it answers for.
//
// ScanDatabaseElement reads each element's attributes into a fresh
// VideoCardRecord and weighs it; after the last element (or the first
// accepted exact match) VideoCardLookupResult gives the result.
#pragma once

#include "video_card_records.h"

enum Direct3DFlavour {
    kDirect3D9Build,
    kDirect3D8Build,
};

const int kMaxDriverCandidates = 30;

// A matching record's driver, offered as an alternate on a rejection of its family.
struct DriverCandidate {
    WideString driverText;
    bool hasFamily = false;  // false: the text has no first number to compare
    long family = 0;
};

// What the records weighed so far leave: the fallback level, the rejection
// and the candidate list.
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

// Weighs a complete record and tells what it did.
RecordEffect WeighVideoCardRecord(const VideoCardRecord& record, VideoCardScan& scan);

// The result after the last record for `flavour`; on a rejection appends the
// candidates of the rejected driver's family to `alternates`, joined by ", ".
int FinishVideoCardScanFor(Direct3DFlavour flavour, const VideoCardScan& scan, WideString& alternates);

// Whether `candidate` is offered as an alternate on the scan's rejection: it
// is of the rejected driver's family.
bool OffersAsAlternate(const VideoCardScan& scan, const DriverCandidate& candidate);

// Whether the scan's rejection offers any alternate.
bool OffersAlternates(const VideoCardScan& scan);

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

// Reads the element's attributes into a fresh `record` and weighs it.
RecordEffect JudgeDatabaseElement(const VideoCardQuery& query, const DatabaseElement& element,
                                  VideoCardRecord& record, VideoCardScan& scan);

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

// LookUpVideoCard's result for `flavour` from the end of a scan; on a
// rejection the alternates are appended to `alternates`.
int VideoCardLookupResult(Direct3DFlavour flavour, const VideoCardScanEnd& end, WideString& alternates);
