// Reference-counted wide string shared by the driver and the graphics check
// libraries.
//
// Each buffer carries a header naming the allocator that owns it. Copies and
// assignments within the module that owns a buffer share it; across modules
// they copy the text into a buffer of their own. A write to a shared buffer
// first makes a private copy; the last release frees the buffer through the
// allocator in its header. A string object grows only through its own
// buffer's allocator, so a driver string filled by a library keeps
// driver-owned storage and outlives the library.
//
// Failures are raised as StringFailure: E_OUTOFMEMORY when memory runs out,
// E_INVALIDARG for a length below 0 or beyond the text.
#pragma once

#include <windows.h>
#include <wchar.h>

struct StringAllocator;

struct StringBuffer {
    StringAllocator* allocator;
    int length;    // characters, without the terminator
    int capacity;  // characters the text can hold, without the terminator
    LONG refs;     // 0 marks the allocator's shared empty buffer (never freed)
    wchar_t* Text() { return reinterpret_cast<wchar_t*>(this + 1); }
};

struct StringAllocator {
    StringBuffer* (*allocate)(StringAllocator* self, int capacity);
    void (*release)(StringAllocator* self, StringBuffer* buffer);
    StringBuffer* empty;
};

// The allocator of the module this code is linked into (one per deliverable).
StringAllocator* ModuleStringAllocator();

struct StringFailure {
    HRESULT code;
};

class WideString {
public:
    WideString();
    WideString(const wchar_t* text);
    WideString(const WideString& other);
    ~WideString();

    WideString& operator=(const WideString& other);
    WideString& operator=(const wchar_t* text);

    const wchar_t* Text() const { return buffer_->Text(); }
    int Length() const { return buffer_->length; }
    bool IsEmpty() const { return buffer_->length == 0; }
    const StringAllocator* Allocator() const { return buffer_->allocator; }

    void Assign(const wchar_t* text, int length);
    void Append(const wchar_t* text);
    void Append(const wchar_t* text, int length);
    void Append(const WideString& other) { Append(other.Text(), other.Length()); }
    // Appends narrow text converted with the thread's ANSI code page.
    void AppendAnsi(const char* text);
    void Empty();
    // Keeps the first `length` characters.
    void Truncate(int length);
    // Position of the first occurrence of `text`, or -1.
    int Find(const wchar_t* text) const;
    // Upper-cases ASCII a to z only.
    void UpperCaseAscii();

    // Writable room for at least `capacity` characters; ReleaseBuffer sets the
    // length afterwards (-1: up to the first terminator).
    wchar_t* GetBuffer(int capacity);
    void ReleaseBuffer(int length = -1);

private:
    void MakeWritable(int capacity);  // private, big enough, text kept

    StringBuffer* buffer_;
};

inline bool operator==(const WideString& a, const wchar_t* b) { return wcscmp(a.Text(), b) == 0; }
