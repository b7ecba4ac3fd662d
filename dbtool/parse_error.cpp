#include "parse_error.h"

#include <msxml2.h>

#include "holders.h"

namespace {

// The MSXML interface identifiers (the MinGW headers declare but do not define them).
const IID kSaxReaderInterface = {0xa4f96ed0, 0xf829, 0x476e, {0x81, 0xc0, 0xcd, 0xc7, 0xbd, 0x2a, 0x08, 0x02}};
const IID kSaxErrorHandlerInterface = {0xa60511c4, 0xccf5, 0x479e, {0x98, 0xa3, 0xdc, 0x8d, 0xc5, 0x45, 0xb7, 0xd0}};

// Keeps the first fatal error the reader reports, with its place.
struct FirstErrorHandler : public ISAXErrorHandler {
    bool found = false;
    int line = 0;
    int column = 0;
    std::wstring reason;

    HRESULT WINAPI QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == kSaxErrorHandlerInterface) {
            *object = static_cast<ISAXErrorHandler*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the caller's stack for the whole parse.
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }

    HRESULT WINAPI error(ISAXLocator* locator, const wchar_t* message, HRESULT code) override
    {
        return fatalError(locator, message, code);
    }
    HRESULT WINAPI fatalError(ISAXLocator* locator, const wchar_t* message, HRESULT) override
    {
        if (!found) {
            found = true;
            if (locator) {
                locator->getLineNumber(&line);
                locator->getColumnNumber(&column);
            }
            reason = message ? message : L"";
        }
        return E_FAIL;  // stop at the first
    }
    HRESULT WINAPI ignorableWarning(ISAXLocator*, const wchar_t*, HRESULT) override { return S_OK; }
};

}  // namespace

bool LocateParseError(const WideString& address, DatabaseLoadError& error)
{
    CLSID readerClass;
    if (FAILED(CLSIDFromProgID(L"Msxml2.SAXXMLReader.3.0", &readerClass)))
        return false;
    ComPtr<ISAXXMLReader> reader;
    if (FAILED(CoCreateInstance(readerClass, nullptr, CLSCTX_INPROC_SERVER, kSaxReaderInterface,
                                reinterpret_cast<void**>(reader.GetAddressOf()))))
        return false;
    FirstErrorHandler handler;
    reader->putErrorHandler(&handler);
    reader->parseURL(address.Text());
    reader->putErrorHandler(nullptr);
    if (!handler.found)
        return false;
    error.line = handler.line;
    error.column = handler.column;
    // The reader ends its reason with a line break.
    while (!handler.reason.empty() && (handler.reason.back() == L'\n' || handler.reason.back() == L'\r'))
        handler.reason.pop_back();
    error.reason = handler.reason.c_str();
    return true;
}
