#include "text_output.h"

#include <windows.h>
#include <stdio.h>

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], size, nullptr, nullptr);
    return utf8;
}

std::string QuotedText(const std::wstring& text)
{
    std::string quoted = "\"";
    for (char c : Utf8(text)) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            snprintf(escape, sizeof(escape), "\\x%02x", static_cast<unsigned char>(c));
            quoted += escape;
            continue;
        }
        quoted += c;
    }
    return quoted + "\"";
}
