#include "message_format.h"

#include <stdarg.h>
#include <wchar.h>

namespace {

// Appends one line-feed-free piece of a format, formatted with all arguments.
void AppendPiece(WideString& target, const wchar_t* piece, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER, piece, 0, 0,
                                  reinterpret_cast<wchar_t*>(&text), 0, &copy);
    va_end(copy);
    if (length == 0 && !text && GetLastError() == ERROR_NOT_ENOUGH_MEMORY)
        throw StringFailure{E_OUTOFMEMORY};
    try {
        target.Append(text, text ? static_cast<int>(length) : 0);
    } catch (...) {
        LocalFree(text);
        throw;
    }
    LocalFree(text);
}

// The formatter writes a line feed of its format as CR LF; the texts are meant
// character for character, so line feeds are appended as they are and only
// the pieces between them go through the formatter.
void AppendFormatted(WideString& target, const wchar_t* format, va_list args)
{
    WideString piece;
    for (const wchar_t* start = format;;) {
        const wchar_t* lineFeed = wcschr(start, L'\n');
        int length = lineFeed ? static_cast<int>(lineFeed - start) : static_cast<int>(wcslen(start));
        if (length > 0) {
            piece.Assign(start, length);
            AppendPiece(target, piece.Text(), args);
        }
        if (!lineFeed)
            return;
        target.Append(L"\n", 1);
        start = lineFeed + 1;
    }
}

}  // namespace

void AppendInserts(WideString& target, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    try {
        AppendFormatted(target, format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

void AssignInserts(WideString& target, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    WideString text;
    try {
        AppendFormatted(text, format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    target = text;
}
