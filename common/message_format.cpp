#include "message_format.h"

#include <stdarg.h>

namespace {

// Formats into a buffer of the formatter's own and hands it to `use`.
template <typename Use>
void FormatInserts(const wchar_t* format, va_list* args, Use use)
{
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  format, 0, 0, reinterpret_cast<wchar_t*>(&text), 0, args);
    if (length == 0 && text == nullptr && GetLastError() == ERROR_NOT_ENOUGH_MEMORY)
        throw StringFailure{E_OUTOFMEMORY};
    try {
        use(text ? text : L"", static_cast<int>(length));
    } catch (...) {
        LocalFree(text);
        throw;
    }
    LocalFree(text);
}

}  // namespace

void AppendInserts(WideString& target, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatInserts(format, &args, [&](const wchar_t* text, int length) { target.Append(text, length); });
    va_end(args);
}

void AssignInserts(WideString& target, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatInserts(format, &args, [&](const wchar_t* text, int length) { target.Assign(text, length); });
    va_end(args);
}
