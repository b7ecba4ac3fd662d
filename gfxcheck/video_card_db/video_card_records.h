// The records of VideoCardDB.xml: every element is one record, read by its
// attributes alone, against the adapter and driver being looked up.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "holders.h"
#include "wide_string.h"

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

// Fills `query`; E_OUTOFMEMORY when a BSTR cannot be made.
HRESULT PrepareVideoCardQuery(DWORD vendorId, DWORD deviceId, const WideString& description,
                              const WideString& driverVersionText, VideoCardQuery& query);

// Which recognised name `name` is, compared as the database's texts are.
RecordAttributeKind ClassifyRecordAttribute(const VideoCardQuery& query, BSTR name);

// The kinds of the attribute names met so far, by their exact text. A
// database names the same few attributes on every element, and the same text
// always compares the same, so each name is compared with the recognised ones
// once; names past the first kRememberedAttributeNames are compared each time.
const int kRememberedAttributeNames = 16;
struct AttributeNameMemory {
    int count = 0;
    WideString names[kRememberedAttributeNames];
    RecordAttributeKind kinds[kRememberedAttributeNames];
};

// ClassifyRecordAttribute, answered from `memory` for a name met before.
RecordAttributeKind ClassifyRememberedAttribute(const VideoCardQuery& query, AttributeNameMemory& memory, BSTR name);

// Reads one attribute value of a known kind into `record`. A null `value` is
// read as an empty text.
void ReadRecordValue(const VideoCardQuery& query, RecordAttributeKind kind, BSTR value, VideoCardRecord& record);

// The base-10 conversion numbers in the database are read with (wcstol:
// leading white space and a sign taken, digits up to the first other
// character, clamped to the 32-bit signed range, 0 without digits).
long DatabaseNumber(const wchar_t* text);
