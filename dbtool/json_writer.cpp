#include "json_writer.h"

#include <stdio.h>

#include "text_output.h"

std::string JsonString(const std::wstring& text)
{
    return JsonString(Utf8(text));
}

std::string JsonString(const std::string& utf8)
{
    std::string quoted = "\"";
    for (char c : utf8) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (byte < 0x20) {
            char escape[8];
            snprintf(escape, sizeof(escape), "\\u%04x", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

void JsonWriter::BeforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty())
        return;
    Level& level = levels_.back();
    if (level.count > 0)
        text += ',';
    if (level.layout == kJsonLines)
        text += "\n" + std::string(2 * levels_.size(), ' ');
    else if (level.count > 0)
        text += ' ';
    ++level.count;
}

void JsonWriter::Open(char bracket, JsonLayout layout)
{
    BeforeValue();
    text += bracket;
    levels_.push_back(Level{layout, 0});
}

void JsonWriter::Close(char bracket)
{
    Level level = levels_.back();
    levels_.pop_back();
    if (level.layout == kJsonLines && level.count > 0)
        text += "\n" + std::string(2 * levels_.size(), ' ');
    text += bracket;
}

void JsonWriter::BeginObject(JsonLayout layout) { Open('{', layout); }
void JsonWriter::EndObject() { Close('}'); }
void JsonWriter::BeginArray(JsonLayout layout) { Open('[', layout); }
void JsonWriter::EndArray() { Close(']'); }

void JsonWriter::Key(const char* name)
{
    BeforeValue();
    text += JsonString(std::string(name)) + ": ";
    afterKey_ = true;
}

void JsonWriter::String(const std::wstring& value)
{
    BeforeValue();
    text += JsonString(value);
}

void JsonWriter::String(const std::string& utf8)
{
    BeforeValue();
    text += JsonString(utf8);
}

void JsonWriter::String(const char* utf8) { String(std::string(utf8)); }

void JsonWriter::Number(long long value)
{
    BeforeValue();
    text += std::to_string(value);
}

void JsonWriter::Bool(bool value)
{
    BeforeValue();
    text += value ? "true" : "false";
}

void JsonWriter::Null()
{
    BeforeValue();
    text += "null";
}
