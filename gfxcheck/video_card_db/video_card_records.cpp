#include "video_card_records.h"

#include <wchar.h>

namespace {

const wchar_t* const kAttributeNames[kRecordAttributeKinds] = {
    L"", L"ManufacturerID", L"DeviceID", L"CardName", L"DriverVersion", L"PixelShaderVersion", L"BlackList",
};

HRESULT SetBstr(BstrHolder& holder, const wchar_t* text, int length)
{
    *holder.Out() = SysAllocStringLen(text, static_cast<UINT>(length));
    return holder.Get() ? S_OK : E_OUTOFMEMORY;
}

HRESULT SetBstr(BstrHolder& holder, const wchar_t* text)
{
    return SetBstr(holder, text, static_cast<int>(wcslen(text)));
}

// The database's text comparison: case-sensitive, under the user's locale.
bool SameText(BSTR left, BSTR right)
{
    return VarBstrCmp(left, right, LOCALE_USER_DEFAULT, 0) == VARCMP_EQ;
}

// CardName is compared character by character, without any normalisation.
bool SameCharacters(BSTR value, const WideString& text)
{
    UINT length = SysStringLen(value);
    return length == static_cast<UINT>(text.Length()) && wmemcmp(value ? value : L"", text.Text(), length) == 0;
}

bool NumberEquals(const wchar_t* text, DWORD id)
{
    long value = DatabaseNumber(text);
    return value >= 0 && static_cast<DWORD>(value) == id;
}

}  // namespace

const wchar_t* RecordAttributeName(RecordAttributeKind kind)
{
    return kAttributeNames[kind];
}

long DatabaseNumber(const wchar_t* text)
{
    return wcstol(text, nullptr, 10);
}

HRESULT PrepareVideoCardQuery(DWORD vendorId, DWORD deviceId, const WideString& description,
                              const WideString& driverVersionText, VideoCardQuery& query)
{
    query.vendorId = vendorId;
    query.deviceId = deviceId;
    query.description = description;
    HRESULT hr = SetBstr(query.driverVersionText, driverVersionText.Text(), driverVersionText.Length());
    const struct {
        BstrHolder* holder;
        const wchar_t* text;
    } texts[] = {
        {&query.manufacturerIdName, kAttributeNames[kManufacturerIdAttribute]},
        {&query.deviceIdName, kAttributeNames[kDeviceIdAttribute]},
        {&query.cardNameName, kAttributeNames[kCardNameAttribute]},
        {&query.driverVersionName, kAttributeNames[kDriverVersionAttribute]},
        {&query.pixelShaderVersionName, kAttributeNames[kPixelShaderVersionAttribute]},
        {&query.blackListName, kAttributeNames[kBlackListAttribute]},
        {&query.anyDevice, L"*"},
        {&query.blackListed, L"true"},
        {&query.notRecommended, L"not_recommended"},
    };
    for (const auto& text : texts) {
        if (SUCCEEDED(hr))
            hr = SetBstr(*text.holder, text.text);
    }
    return hr;
}

RecordAttributeKind ClassifyRecordAttribute(const VideoCardQuery& query, BSTR name)
{
    if (SameText(name, query.manufacturerIdName.Get()))
        return kManufacturerIdAttribute;
    if (SameText(name, query.deviceIdName.Get()))
        return kDeviceIdAttribute;
    if (SameText(name, query.cardNameName.Get()))
        return kCardNameAttribute;
    if (SameText(name, query.driverVersionName.Get()))
        return kDriverVersionAttribute;
    if (SameText(name, query.pixelShaderVersionName.Get()))
        return kPixelShaderVersionAttribute;
    if (SameText(name, query.blackListName.Get()))
        return kBlackListAttribute;
    return kOtherAttribute;
}

RecordAttributeKind ClassifyRememberedAttribute(const VideoCardQuery& query, AttributeNameMemory& memory, BSTR name)
{
    // A null name is left to the comparison, which reads it as the empty text.
    if (!name)
        return ClassifyRecordAttribute(query, name);
    UINT length = SysStringLen(name);
    for (int i = 0; i < memory.count; ++i) {
        const WideString& known = memory.names[i];
        if (static_cast<UINT>(known.Length()) == length && wmemcmp(known.Text(), name, length) == 0)
            return memory.kinds[i];
    }
    RecordAttributeKind kind = ClassifyRecordAttribute(query, name);
    if (memory.count < kRememberedAttributeNames) {
        memory.names[memory.count].Assign(name, static_cast<int>(length));
        memory.kinds[memory.count++] = kind;
    }
    return kind;
}

void ReadRecordValue(const VideoCardQuery& query, RecordAttributeKind kind, BSTR value, VideoCardRecord& record)
{
    // The parser may hand over an attribute value as a null BSTR: that is the
    // empty text (VarBstrCmp already treats it so).
    const wchar_t* text = value ? value : L"";
    switch (kind) {
    case kManufacturerIdAttribute:
        if (NumberEquals(text, query.vendorId))
            record.vendorMatched = true;
        break;
    case kDeviceIdAttribute:
        if (SameText(value, query.anyDevice.Get()) || NumberEquals(text, query.deviceId))
            record.deviceMatched = true;
        break;
    case kCardNameAttribute:
        if (SameCharacters(value, query.description))
            record.cardMatched = true;
        break;
    case kDriverVersionAttribute: {
        UINT length = SysStringLen(value);
        if (length > 0)
            record.driverText.Assign(text, static_cast<int>(length));
        if (SameText(value, query.driverVersionText.Get()))
            record.driverMatched = true;
        break;
    }
    case kPixelShaderVersionAttribute:
        record.pixelShaderLevel = DatabaseNumber(text);
        break;
    case kBlackListAttribute:
        if (SameText(value, query.blackListed.Get()))
            record.rejected = true;
        if (SameText(value, query.notRecommended.Get()))
            record.notRecommended = true;
        break;
    case kOtherAttribute:
        break;
    }
}
