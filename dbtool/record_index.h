// Which records of a stored database can match an adapter, found without
// judging every record: the scan's own reading of each record's ids and name,
// worked out once, and the records grouped by them.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "database_file.h"


// What the reader makes of one element, worked out once.
struct RecordFacts {
    const wchar_t* values[kRecordAttributeKinds] = {};  // the last value of each kind; null: absent
    bool recognised = false;  // has at least one recognised attribute
    bool anyDevice = false;   // a DeviceID reads as "*"
    bool blackListRead = false;  // BlackList read as "true" or "not_recommended"
    bool offered = true;         // neither rejected nor not recommended
    // The ids and names the record can match by (an element may carry two
    // attributes that the reader takes for the same name).
    std::vector<DWORD> vendors;  // ManufacturerID values from 0
    std::vector<DWORD> devices;  // DeviceID values from 0
    std::vector<std::wstring> names;  // CardName values
};

struct RecordIndex {
    std::vector<RecordFacts> facts;  // one per stored element
    std::map<std::pair<DWORD, DWORD>, std::vector<long>> byIds;  // (vendor, device; kNoId: "*")
    std::map<std::wstring, std::vector<long>> byName;
};

// A query no record matches: numbers are read as signed 32-bit values and only
// values from 0 match, so 0xFFFFFFFF is never an id of a record; XML cannot
// carry U+0001, so no CardName or DriverVersion is "\x01".
const DWORD kNoId = 0xFFFFFFFF;
extern const wchar_t kNoText[];
HRESULT PrepareNeutralQuery(VideoCardQuery& neutral);

// Reads every element's facts with `neutral`, a query no record matches.
void IndexRecords(const StoredDatabase& database, const VideoCardQuery& neutral, RecordIndex& index);

// The elements, in document order, that can match the adapter: those the scan
// would find matching by ids or by name; every other element changes nothing.
void RecordsThatCanMatch(const RecordIndex& index, DWORD vendor, DWORD device, const std::wstring& name,
                         std::vector<long>& elements);

// The vendor's records for every device (DeviceID "*"), in document order;
// null when it has none.
const std::vector<long>* VendorWideRecords(const RecordIndex& index, DWORD vendor);

// The records that give the name, in document order; null when none does.
const std::vector<long>* RecordsNamed(const RecordIndex& index, const std::wstring& name);

// The elements of RecordsThatCanMatch less the vendor's records for every
// device, in document order; `named`: RecordsNamed of the adapter's name.
void OwnRecordsThatCanMatch(const RecordIndex& index, DWORD vendor, DWORD device, const std::vector<long>* named,
                            std::vector<long>& elements);
