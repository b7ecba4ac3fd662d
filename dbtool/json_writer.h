// The tool's JSON: objects and arrays written either on one line
// ({"a": 1, "b": [2, 3]}) or with one member or item per line, indented by
// two spaces a level. Strings are UTF-8 with quotes, backslashes and control
// characters escaped; other characters are written as they are.
#pragma once

#include <string>
#include <vector>

// `text` as a JSON string literal, quotes included.
std::string JsonString(const std::wstring& text);
std::string JsonString(const std::string& utf8);

enum JsonLayout {
    kJsonOneLine,
    kJsonLines,  // one member or item per line
};

struct JsonWriter {
    std::string text;

    void BeginObject(JsonLayout layout = kJsonOneLine);
    void EndObject();
    void BeginArray(JsonLayout layout = kJsonOneLine);
    void EndArray();
    // The name of the next object member.
    void Key(const char* name);

    void String(const std::wstring& value);
    void String(const std::string& utf8);
    void String(const char* utf8);
    void Number(long long value);
    void Bool(bool value);
    void Null();

private:
    struct Level {
        JsonLayout layout;
        int count;  // members or items written so far
    };
    std::vector<Level> levels_;
    bool afterKey_ = false;

    void BeforeValue();
    void Open(char bracket, JsonLayout layout);
    void Close(char bracket);
};
