#include "record_index.h"

#include <algorithm>
#include <iterator>

const wchar_t kNoText[] = L"\x01";

HRESULT PrepareNeutralQuery(VideoCardQuery& neutral)
{
    return PrepareVideoCardQuery(kNoId, kNoId, kNoText, kNoText, neutral);
}

namespace {

void ReadFacts(const VideoCardQuery& neutral, const StoredElement& element, RecordFacts& facts)
{
    std::vector<long> vendorNumbers, deviceNumbers;
    for (const DatabaseAttribute& attribute : element.attributes) {
        if (attribute.kind == kOtherAttribute)
            continue;
        facts.recognised = true;
        const wchar_t* text = attribute.value ? attribute.value : L"";
        facts.values[attribute.kind] = text;
        // Flags as the reader sets them against a query that matches nothing:
        // what is left set does not depend on the adapter.
        VideoCardRecord record;
        ReadRecordValue(neutral, attribute.kind, attribute.value, record);
        switch (attribute.kind) {
        case kManufacturerIdAttribute:
            vendorNumbers.push_back(DatabaseNumber(text));
            break;
        case kDeviceIdAttribute:
            // A value that reads as "*" matches every device whatever its number.
            if (record.deviceMatched)
                facts.anyDevice = true;
            else
                deviceNumbers.push_back(DatabaseNumber(text));
            break;
        case kCardNameAttribute:
            facts.names.push_back(std::wstring(text, SysStringLen(attribute.value)));
            break;
        case kBlackListAttribute:
            facts.blackListRead = facts.blackListRead || record.rejected || record.notRecommended;
            facts.offered = facts.offered && !record.rejected && !record.notRecommended;
            break;
        default:
            break;
        }
    }
    // An id matches only when its number reads from 0 and equals the adapter's.
    for (long number : vendorNumbers) {
        if (number >= 0)
            facts.vendors.push_back(static_cast<DWORD>(number));
    }
    for (long number : deviceNumbers) {
        if (number >= 0)
            facts.devices.push_back(static_cast<DWORD>(number));
    }
}

void AddGroup(const std::vector<long>* group, std::vector<long>& elements)
{
    if (group)
        elements.insert(elements.end(), group->begin(), group->end());
}

}  // namespace

void IndexRecords(const StoredDatabase& database, const VideoCardQuery& neutral, RecordIndex& index)
{
    index.facts.resize(database.elements.size());
    for (size_t e = 0; e < database.elements.size(); ++e) {
        RecordFacts& facts = index.facts[e];
        ReadFacts(neutral, database.elements[e], facts);
        long element = static_cast<long>(e);
        for (DWORD vendor : facts.vendors) {
            std::vector<DWORD> devices = facts.devices;
            if (facts.anyDevice)
                devices.assign(1, kNoId);
            for (DWORD device : devices) {
                std::vector<long>& group = index.byIds[std::make_pair(vendor, device)];
                if (group.empty() || group.back() != element)
                    group.push_back(element);
            }
        }
        for (const std::wstring& name : facts.names) {
            std::vector<long>& group = index.byName[name];
            if (group.empty() || group.back() != element)
                group.push_back(element);
        }
    }
}

const std::vector<long>* VendorWideRecords(const RecordIndex& index, DWORD vendor)
{
    auto wide = index.byIds.find(std::make_pair(vendor, kNoId));
    return wide != index.byIds.end() ? &wide->second : nullptr;
}

const std::vector<long>* RecordsNamed(const RecordIndex& index, const std::wstring& name)
{
    auto named = index.byName.find(name);
    return named != index.byName.end() ? &named->second : nullptr;
}

void OwnRecordsThatCanMatch(const RecordIndex& index, DWORD vendor, DWORD device, const std::vector<long>* named,
                            std::vector<long>& elements)
{
    elements.clear();
    if (device != kNoId) {
        auto own = index.byIds.find(std::make_pair(vendor, device));
        AddGroup(own != index.byIds.end() ? &own->second : nullptr, elements);
    }
    AddGroup(named, elements);
    std::sort(elements.begin(), elements.end());
    elements.erase(std::unique(elements.begin(), elements.end()), elements.end());
    const std::vector<long>* wide = VendorWideRecords(index, vendor);
    if (wide) {
        elements.erase(std::remove_if(elements.begin(), elements.end(),
                                      [wide](long e) { return std::binary_search(wide->begin(), wide->end(), e); }),
                       elements.end());
    }
}

void RecordsThatCanMatch(const RecordIndex& index, DWORD vendor, DWORD device, const std::wstring& name,
                         std::vector<long>& elements)
{
    std::vector<long> own;
    OwnRecordsThatCanMatch(index, vendor, device, RecordsNamed(index, name), own);
    const std::vector<long>* wide = VendorWideRecords(index, vendor);
    elements.clear();
    if (wide)
        std::merge(wide->begin(), wide->end(), own.begin(), own.end(), std::back_inserter(elements));
    else
        elements.swap(own);
}
