#include "video_card_xml.h"

#include <msxml.h>

#include <map>
#include <string>
#include <vector>

namespace {

// The document object is taken from an in-process server, an in-process
// handler or a local server, whichever the system offers.
const DWORD kDocumentClassContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

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

void ReadElementAttributes(IXMLDOMNode* node, const VideoCardQuery& query, AttributeNameMemory& names,
                           AttributeBuffer& buffer)
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
        item.kind = ClassifyRememberedAttribute(query, names, item.name);
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
    AttributeNameMemory names;
    PathWalk paths;
    for (long index = 0;; ++index) {
        ComPtr<IXMLDOMNode> node;
        if (elements->nextNode(node.GetAddressOf()) != S_OK || !node)
            break;
        ReadElementAttributes(node.Get(), query, names, attributes);
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
