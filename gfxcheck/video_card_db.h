// Judging the adapter and its driver against VideoCardDB.xml in the host
// directory.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "holders.h"
#include "wide_string.h"

// Returns the pixel shader level of the first accepted exact match, the
// rejection result (Direct3D 9 build: -2; Direct3D 8 build: -2 minus the
// fallback level) after appending the accepted drivers of the installed
// driver's family to `alternates`, or else the fallback level (-1: none).
// -1 as well when the XML document object cannot be created.
int LookUpVideoCard(DWORD vendorId, DWORD deviceId, WideString description,
                    WideString driverVersionText, WideString& alternates);

// The scan behind LookUpVideoCard, apart from the XML walk. Each element of
// the document is one record: its attributes go through ReadRecordAttribute
// into a fresh VideoCardRecord, which JudgeVideoCardRecord then weighs; after
// the last element FinishVideoCardScan gives the result.

const int kMaxDriverCandidates = 30;

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

// Fills `query`; E_OUTOFMEMORY when a BSTR cannot be made.
HRESULT PrepareVideoCardQuery(DWORD vendorId, DWORD deviceId, const WideString& description,
                           const WideString& driverVersionText, VideoCardQuery& query);

// Reads one attribute (qualified name, value text) into `record`. A null
// `value` is read as an empty text.
void ReadRecordAttribute(const VideoCardQuery& query, BSTR name, BSTR value, VideoCardRecord& record);

// Weighs a complete record. Returns true when the scan ends here (the first
// accepted exact match), with that record's pixel shader level in *result.
bool JudgeVideoCardRecord(const VideoCardRecord& record, VideoCardScan& scan, int* result);

// The result after the last record; on a rejection appends the candidates of
// the rejected driver's family to `alternates`, joined by ", ".
int FinishVideoCardScan(const VideoCardScan& scan, WideString& alternates);

// The first number of a driver version text (leading dots skipped), by the
// base-10 conversion. False when there is none: an empty text or dots alone.
bool DriverFamilyNumber(const wchar_t* driverText, long* family);
