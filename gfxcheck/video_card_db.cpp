#include "video_card_db.h"

#include <limits.h>
#include <msxml.h>
#include <wchar.h>

#include <map>
#include <string>
#include <vector>

namespace {

// The document object is taken from an in-process server, an in-process
// handler or a local server, whichever the system offers.
const DWORD kDocumentClassContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

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

void ReadLoadError(IXMLDOMDocument* document, DatabaseLoadError& error)
{
    ComPtr<IXMLDOMParseError> parseError;
    if (FAILED(document->get_parseError(parseError.GetAddressOf())) || !parseError)
        return;
    long code = 0;
    if (SUCCEEDED(parseError->get_errorCode(&code)) && code != 0)
        error.code = code;
    parseError->get_line(&error.line);
    parseError->get_linepos(&error.column);
    BstrHolder reason;
    if (SUCCEEDED(parseError->get_reason(reason.Out())) && reason.Get()) {
        error.reason.Assign(reason.Get(), static_cast<int>(SysStringLen(reason.Get())));
        // The parser ends its reason with a line break.
        int length = error.reason.Length();
        while (length > 0 && (error.reason.Text()[length - 1] == L'\n' || error.reason.Text()[length - 1] == L'\r'))
            --length;
        error.reason.Truncate(length);
    }
}

// Loads the database synchronously. A file that is missing or cannot be
// parsed counts as a document without elements.
HRESULT LoadDatabase(IXMLDOMDocument* document, const WideString& address, DatabaseLoadError* loadError)
{
    HRESULT hr = document->put_async(VARIANT_FALSE);
    if (FAILED(hr))
        return hr;
    VariantHolder source;
    V_VT(source.Get()) = VT_BSTR;
    V_BSTR(source.Get()) = SysAllocStringLen(address.Text(), static_cast<UINT>(address.Length()));
    if (!V_BSTR(source.Get()))
        return E_OUTOFMEMORY;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = document->load(*source.Get(), &loaded);
    if (loadError && (FAILED(hr) || loaded != VARIANT_TRUE)) {
        loadError->code = FAILED(hr) ? hr : S_FALSE;
        ReadLoadError(document, *loadError);
    }
    if (FAILED(hr))
        return hr;
    return loaded == VARIANT_TRUE ? S_OK : S_FALSE;
}

// The attributes of the element being visited; their texts are freed before
// the next element is read.
struct AttributeBuffer {
    std::vector<DatabaseAttribute> items;

    ~AttributeBuffer() { Clear(); }
    void Clear()
    {
        for (DatabaseAttribute& attribute : items) {
            SysFreeString(attribute.name);
            SysFreeString(attribute.value);
        }
        items.clear();
    }
};

void ReadElementAttributes(IXMLDOMNode* node, const VideoCardQuery& query, AttributeBuffer& buffer)
{
    buffer.Clear();
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
        // The buffer owns both texts from here on, even when one read failed.
        DatabaseAttribute read = {nullptr, nullptr, kOtherAttribute};
        buffer.items.push_back(read);
        DatabaseAttribute& item = buffer.items.back();
        if (FAILED(attribute->get_nodeName(&item.name)) || FAILED(attribute->get_text(&item.value))) {
            SysFreeString(item.name);
            SysFreeString(item.value);
            buffer.items.pop_back();
            continue;
        }
        item.kind = ClassifyRecordAttribute(query, item.name);
    }
}

// Element paths, from a walk of the tree in document order beside the element
// list: one frame per element from the root to the current one, each with
// how many children of each name it has shown so far, and the current path
// in one text that grows and shrinks with the walk. Each node is reached
// once, so deep nesting costs no more than wide.
struct PathFrame {
    ComPtr<IXMLDOMNode> node;
    size_t pathLength;  // of the path up to and including this element
    std::map<std::wstring, long> childCounts;
};

struct PathWalk {
    std::vector<PathFrame> frames;
    std::wstring path;
    std::wstring shown;  // the path as handed out, its middle left out when long
    bool started = false;
};

// Paths longer than this are handed out with their middle left out.
const size_t kLongestPathShown = 1024;

bool IsElement(IXMLDOMNode* node)
{
    DOMNodeType type;
    return SUCCEEDED(node->get_nodeType(&type)) && type == NODE_ELEMENT;
}

// The first element among `node` and the siblings after it.
ComPtr<IXMLDOMNode> ElementFrom(ComPtr<IXMLDOMNode> node)
{
    while (node && !IsElement(node.Get())) {
        ComPtr<IXMLDOMNode> next;
        if (node->get_nextSibling(next.GetAddressOf()) != S_OK)
            next.Reset();
        node = next;
    }
    return node;
}

ComPtr<IXMLDOMNode> FirstChildElement(IXMLDOMNode* node)
{
    ComPtr<IXMLDOMNode> child;
    if (node->get_firstChild(child.GetAddressOf()) != S_OK)
        return ComPtr<IXMLDOMNode>();
    return ElementFrom(child);
}

ComPtr<IXMLDOMNode> NextSiblingElement(IXMLDOMNode* node)
{
    ComPtr<IXMLDOMNode> next;
    if (node->get_nextSibling(next.GetAddressOf()) != S_OK)
        return ComPtr<IXMLDOMNode>();
    return ElementFrom(next);
}

void EnterElement(PathWalk& walk, const ComPtr<IXMLDOMNode>& node)
{
    BstrHolder name;
    node->get_nodeName(name.Out());
    std::wstring ownName(name.Get() ? name.Get() : L"");
    walk.path.resize(walk.frames.empty() ? 0 : walk.frames.back().pathLength);
    walk.path += L"/" + ownName;
    if (!walk.frames.empty())
        walk.path += L"[" + std::to_wstring(++walk.frames.back().childCounts[ownName]) + L"]";
    PathFrame frame;
    frame.node = node;
    frame.pathLength = walk.path.size();
    walk.frames.push_back(frame);
}

// Moves to the next element in document order; false after the last.
bool NextPath(IXMLDOMDocument* document, PathWalk& walk)
{
    if (!walk.started) {
        walk.started = true;
        ComPtr<IXMLDOMElement> root;
        ComPtr<IXMLDOMNode> node;
        if (document->get_documentElement(root.GetAddressOf()) != S_OK || !root ||
            FAILED(root->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(node.GetAddressOf()))))
            return false;
        EnterElement(walk, node);
        return true;
    }
    if (walk.frames.empty())
        return false;
    ComPtr<IXMLDOMNode> child = FirstChildElement(walk.frames.back().node.Get());
    if (child) {
        EnterElement(walk, child);
        return true;
    }
    while (!walk.frames.empty()) {
        ComPtr<IXMLDOMNode> sibling = NextSiblingElement(walk.frames.back().node.Get());
        walk.frames.pop_back();
        if (sibling && !walk.frames.empty()) {
            EnterElement(walk, sibling);
            return true;
        }
    }
    return false;
}

const wchar_t* ShownPath(PathWalk& walk, bool found)
{
    if (!found)
        return L"";
    if (walk.path.size() <= kLongestPathShown)
        return walk.path.c_str();
    walk.shown = walk.path.substr(0, kLongestPathShown / 2) + L"/.../" +
                 walk.path.substr(walk.path.size() - kLongestPathShown / 2);
    return walk.shown.c_str();
}

struct ScanContext {
    const VideoCardQuery* query;
    VideoCardObserver observer;
    void* observerContext;
    VideoCardScanEnd* end;
};

bool ScanElement(DatabaseElement& element, void* context)
{
    ScanContext& scan = *static_cast<ScanContext*>(context);
    VideoCardRecord record;
    RecordEffect effect = ScanDatabaseElement(*scan.query, element, record, *scan.end);
    if (scan.observer)
        scan.observer(element, record, effect, scan.end->scan, scan.observerContext);
    return effect != kRecordAccepted;
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

bool DriverFamilyNumber(const wchar_t* driverText, long* family)
{
    while (*driverText == L'.')
        ++driverText;
    if (*driverText == L'\0')
        return false;
    // wcstol stops at the next ".", so this converts the first field alone.
    *family = DatabaseNumber(driverText);
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

RecordEffect WeighVideoCardRecord(const VideoCardRecord& record, VideoCardScan& scan)
{
    bool matchesAdapter = (record.vendorMatched && record.deviceMatched) || record.cardMatched;
    if (!matchesAdapter)
        return kRecordNotMatching;
    if (record.driverMatched) {
        if (!record.rejected)
            return kRecordAccepted;
        scan.rejected = true;
        scan.rejectionHasFamily = DriverFamilyNumber(record.driverText.Text(), &scan.rejectionFamily);
        return kRecordRejected;
    }
    scan.fallbackLevel = record.pixelShaderLevel;
    if (record.rejected)
        return kRecordBlackListedLeft;
    if (record.notRecommended)
        return kRecordNotRecommendedLeft;
    if (scan.candidateCount == kMaxDriverCandidates)
        return kRecordListFullLeft;
    DriverCandidate& candidate = scan.candidates[scan.candidateCount++];
    candidate.driverText = record.driverText;
    candidate.hasFamily = DriverFamilyNumber(record.driverText.Text(), &candidate.family);
    return kRecordCandidate;
}

LookupReading ReadLookupResult(Direct3DFlavour flavour, int result)
{
    LookupReading reading = {false, -1};
    if (flavour == kDirect3D9Build) {
        reading.rejected = result == -2;
    } else if (result <= -2) {
        reading.rejected = true;
        reading.level = static_cast<int>(-2LL - result);
    } else {
        reading.level = result;
    }
    return reading;
}

int RejectionResult(Direct3DFlavour flavour, int fallbackLevel)
{
    if (flavour == kDirect3D9Build)
        return -2;
    // -2 minus the fallback level: a level of -1 gives -1, which callers read
    // as "no level"; a level near the top of the range stays a rejection.
    LONGLONG result = -2LL - fallbackLevel;
    return result < INT_MIN ? INT_MIN : static_cast<int>(result);
}

int FinishVideoCardScanFor(Direct3DFlavour flavour, const VideoCardScan& scan, WideString& alternates)
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
    return RejectionResult(flavour, scan.fallbackLevel);
}

RecordEffect JudgeDatabaseElement(const VideoCardQuery& query, const DatabaseElement& element,
                                  VideoCardRecord& record, VideoCardScan& scan)
{
    for (long i = 0; i < element.attributeCount; ++i)
        ReadRecordValue(query, element.attributes[i].kind, element.attributes[i].value, record);
    return WeighVideoCardRecord(record, scan);
}

RecordEffect ScanDatabaseElement(const VideoCardQuery& query, const DatabaseElement& element, VideoCardRecord& record,
                                 VideoCardScanEnd& end)
{
    RecordEffect effect = JudgeDatabaseElement(query, element, record, end.scan);
    if (effect == kRecordAccepted) {
        end.accepted = true;
        end.acceptedLevel = record.pixelShaderLevel;
    }
    return effect;
}

HRESULT WalkVideoCardDatabase(const WideString& address, const VideoCardQuery& query, bool withPaths,
                              DatabaseElementVisitor visit, void* context, DatabaseLoadError* loadError)
{
    ComPtr<IXMLDOMDocument> document;
    HRESULT hr = CreateXmlDocument(document);
    if (FAILED(hr))
        return hr;
    // A database that is missing or unreadable has no records.
    if (LoadDatabase(document.Get(), address, loadError) != S_OK)
        return S_FALSE;
    BstrHolder everyElement(L"*");
    ComPtr<IXMLDOMNodeList> elements;
    if (!everyElement.Get() ||
        FAILED(document->getElementsByTagName(everyElement.Get(), elements.GetAddressOf())) || !elements)
        return S_FALSE;

    AttributeBuffer attributes;
    PathWalk paths;
    for (long index = 0;; ++index) {
        ComPtr<IXMLDOMNode> node;
        if (elements->nextNode(node.GetAddressOf()) != S_OK || !node)
            break;
        ReadElementAttributes(node.Get(), query, attributes);
        // The tree walk meets the elements in the order the list gives them.
        const wchar_t* path = withPaths ? ShownPath(paths, NextPath(document.Get(), paths)) : L"";
        DatabaseElement element = {index, path, static_cast<long>(attributes.items.size()), attributes.items.data()};
        // A visitor that keeps texts sets them to null here; the rest are freed.
        if (!visit(element, context))
            break;
    }
    return S_OK;
}

HRESULT ScanVideoCardDatabase(const WideString& address, const VideoCardQuery& query, VideoCardObserver observer,
                              void* context, VideoCardScanEnd& end, DatabaseLoadError* loadError)
{
    ScanContext scan = {&query, observer, context, &end};
    HRESULT hr = WalkVideoCardDatabase(address, query, observer != nullptr, ScanElement, &scan, loadError);
    end.documentObject = SUCCEEDED(hr);
    return hr;
}

int VideoCardLookupResult(Direct3DFlavour flavour, const VideoCardScanEnd& end, WideString& alternates)
{
    if (!end.documentObject)
        return -1;
    if (end.accepted)
        return end.acceptedLevel;
    return FinishVideoCardScanFor(flavour, end.scan, alternates);
}
