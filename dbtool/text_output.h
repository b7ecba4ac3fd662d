// Text the tool prints: UTF-8, and JSON strings.
#pragma once

#include <string>

std::string Utf8(const std::wstring& text);
// `text` as a JSON string literal, quotes included.
std::string JsonString(const std::wstring& text);
std::string JsonString(const std::string& utf8);
// `text` quoted for the text output: "..." with \" and \\ escaped.
std::string QuotedText(const std::wstring& text);
