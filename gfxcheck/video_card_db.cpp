#include "video_card_db.h"

#include <limits.h>
#include <msxml.h>
#include <wchar.h>

#include "host_path.h"

namespace {

const wchar_t kDatabaseFileName[] = L"VideoCardDB.xml";

// Class context 7: in-process server, in-process handler and local server.
const DWORD kDocumentClassContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

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

// The base-10 conversion; wcstol clamps to the 32-bit signed range.
long ToNumber(const wchar_t* text)
{
    return wcstol(text, nullptr, 10);
}

bool NumberEquals(const wchar_t* text, DWORD id)
{
    long value = ToNumber(text);
    return value >= 0 && static_cast<DWORD>(value) == id;
}

// -2 minus the fallback level: a level of -1 gives -1, which callers read as
// "no level"; a level near the top of the range stays a rejection.
int RejectionResult(int fallbackLevel)
{
#if defined(VIDRAKE_D3D9)
    return -2;
#else
    LONGLONG result = -2LL - fallbackLevel;
    return result < INT_MIN ? INT_MIN : static_cast<int>(result);
#endif
}

HRESULT CreateXmlDocument(ComPtr<IXMLDOMDocument>& document)
{
    CLSID documentClass;
    HRESULT hr = CLSIDFromProgID(L"Microsoft.XMLDOM", &documentClass);
    if (FAILED(hr))
        return hr;
    hr = CoCreateInstance(documentClass, nullptr, kDocumentClassContext, IID_IXMLDOMDocument,
                          reinterpret_cast<void**>(document.ReleaseAndGetAddressOf()));
    if (SUCCEEDED(hr) && !document)
        hr = E_NOINTERFACE;
    return hr;
}

// Loads the database synchronously. A file that is missing or cannot be
// parsed counts as a document without elements.
HRESULT LoadDatabase(IXMLDOMDocument* document)
{
    HRESULT hr = document->put_async(VARIANT_FALSE);
    if (FAILED(hr))
        return hr;
    WideString address = L"file://";
    address.Append(g_hostDirectory);
    address.Append(kDatabaseFileName);
    VariantHolder source;
    V_VT(source.Get()) = VT_BSTR;
    V_BSTR(source.Get()) = SysAllocStringLen(address.Text(), static_cast<UINT>(address.Length()));
    if (!V_BSTR(source.Get()))
        return E_OUTOFMEMORY;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = document->load(*source.Get(), &loaded);
    if (FAILED(hr))
        return hr;
    return loaded == VARIANT_TRUE ? S_OK : S_FALSE;
}

void ReadElementAttributes(IXMLDOMNode* node, const VideoCardQuery& query, VideoCardRecord& record)
{
    ComPtr<IXMLDOMElement> element;
    if (FAILED(node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.GetAddressOf()))) ||
        !element)
        return;
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    if (FAILED(element->get_attributes(attributes.GetAddressOf())) || !attributes)
        return;
    long count = 0;
    if (FAILED(attributes->get_length(&count)))
        return;
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> attribute;
        if (attributes->get_item(i, attribute.GetAddressOf()) != S_OK || !attribute)
            continue;
        BstrHolder name;
        BstrHolder value;
        if (FAILED(attribute->get_nodeName(name.Out())) || FAILED(attribute->get_text(value.Out())))
            continue;
        ReadRecordAttribute(query, name.Get(), value.Get(), record);
    }
}

}  // namespace

bool DriverFamilyNumber(const wchar_t* driverText, long* family)
{
    while (*driverText == L'.')
        ++driverText;
    if (*driverText == L'\0')
        return false;
    // wcstol stops at the next ".", so this converts the first field alone.
    *family = ToNumber(driverText);
    return true;
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
        {&query.manufacturerIdName, L"ManufacturerID"},
        {&query.deviceIdName, L"DeviceID"},
        {&query.cardNameName, L"CardName"},
        {&query.driverVersionName, L"DriverVersion"},
        {&query.pixelShaderVersionName, L"PixelShaderVersion"},
        {&query.blackListName, L"BlackList"},
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

void ReadRecordAttribute(const VideoCardQuery& query, BSTR name, BSTR value, VideoCardRecord& record)
{
    // The parser may hand over an attribute value as a null BSTR: that is the
    // empty text (VarBstrCmp already treats it so).
    const wchar_t* text = value ? value : L"";
    if (SameText(name, query.manufacturerIdName.Get())) {
        if (NumberEquals(text, query.vendorId))
            record.vendorMatched = true;
    } else if (SameText(name, query.deviceIdName.Get())) {
        if (SameText(value, query.anyDevice.Get()) || NumberEquals(text, query.deviceId))
            record.deviceMatched = true;
    } else if (SameText(name, query.cardNameName.Get())) {
        if (SameCharacters(value, query.description))
            record.cardMatched = true;
    } else if (SameText(name, query.driverVersionName.Get())) {
        UINT length = SysStringLen(value);
        if (length > 0)
            record.driverText.Assign(text, static_cast<int>(length));
        if (SameText(value, query.driverVersionText.Get()))
            record.driverMatched = true;
    } else if (SameText(name, query.pixelShaderVersionName.Get())) {
        record.pixelShaderLevel = ToNumber(text);
    } else if (SameText(name, query.blackListName.Get())) {
        if (SameText(value, query.blackListed.Get()))
            record.rejected = true;
        if (SameText(value, query.notRecommended.Get()))
            record.notRecommended = true;
    }
}

bool JudgeVideoCardRecord(const VideoCardRecord& record, VideoCardScan& scan, int* result)
{
    bool matchesAdapter = (record.vendorMatched && record.deviceMatched) || record.cardMatched;
    if (!matchesAdapter)
        return false;
    if (record.driverMatched) {
        if (!record.rejected) {
            *result = record.pixelShaderLevel;
            return true;
        }
        scan.rejected = true;
        scan.rejectionHasFamily = DriverFamilyNumber(record.driverText.Text(), &scan.rejectionFamily);
        return false;
    }
    if (!record.rejected && !record.notRecommended && scan.candidateCount < kMaxDriverCandidates) {
        DriverCandidate& candidate = scan.candidates[scan.candidateCount++];
        candidate.driverText = record.driverText;
        candidate.hasFamily = DriverFamilyNumber(record.driverText.Text(), &candidate.family);
    }
    scan.fallbackLevel = record.pixelShaderLevel;
    return false;
}

int FinishVideoCardScan(const VideoCardScan& scan, WideString& alternates)
{
    if (!scan.rejected)
        return scan.fallbackLevel;
    bool first = true;
    for (int i = 0; i < scan.candidateCount; ++i) {
        const DriverCandidate& candidate = scan.candidates[i];
        // A candidate without a first number never stands for the rejected family.
        if (!candidate.hasFamily || !scan.rejectionHasFamily || candidate.family != scan.rejectionFamily)
            continue;
        if (!first)
            alternates.Append(L", ");
        alternates.Append(candidate.driverText);
        first = false;
    }
    return RejectionResult(scan.fallbackLevel);
}

int LookUpVideoCard(DWORD vendorId, DWORD deviceId, WideString description,
                    WideString driverVersionText, WideString& alternates)
{
    // A single-threaded apartment for the document object, deliberately never
    // uninitialised here; the result does not matter, the creation below tells.
    CoInitialize(nullptr);

    ComPtr<IXMLDOMDocument> document;
    if (FAILED(CreateXmlDocument(document)))
        return -1;
    VideoCardQuery query;
    if (FAILED(PrepareVideoCardQuery(vendorId, deviceId, description, driverVersionText, query)))
        return -1;

    // A database that is missing or unreadable has no records: the result is
    // the initial fallback level, -1.
    if (LoadDatabase(document.Get()) != S_OK)
        return -1;
    BstrHolder everyElement(L"*");
    ComPtr<IXMLDOMNodeList> elements;
    if (!everyElement.Get() ||
        FAILED(document->getElementsByTagName(everyElement.Get(), elements.GetAddressOf())) || !elements)
        return -1;

    VideoCardScan scan;
    for (;;) {
        ComPtr<IXMLDOMNode> node;
        if (elements->nextNode(node.GetAddressOf()) != S_OK || !node)
            break;
        VideoCardRecord record;
        ReadElementAttributes(node.Get(), query, record);
        int result;
        if (JudgeVideoCardRecord(record, scan, &result))
            return result;
    }
    return FinishVideoCardScan(scan, alternates);
}
