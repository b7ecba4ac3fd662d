// Text the tool prints: UTF-8, and quoted texts.
#pragma once

#include <string>

std::string Utf8(const std::wstring& text);
// `text` quoted for the text output: "..." with \" and \\ escaped.
std::string QuotedText(const std::wstring& text);
