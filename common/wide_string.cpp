#include "wide_string.h"

#include <stdint.h>
#include <string.h>

namespace {

const int kMaxCapacity = (0x7FFFFFFF - static_cast<int>(sizeof(StringBuffer))) / 2 - 1;

StringBuffer* HeapAllocate(StringAllocator* self, int capacity)
{
    SIZE_T bytes = sizeof(StringBuffer) + (static_cast<SIZE_T>(capacity) + 1) * sizeof(wchar_t);
    StringBuffer* buffer = static_cast<StringBuffer*>(HeapAlloc(GetProcessHeap(), 0, bytes));
    if (!buffer)
        return nullptr;
    buffer->allocator = self;
    buffer->length = 0;
    buffer->capacity = capacity;
    buffer->refs = 1;
    buffer->Text()[0] = L'\0';
    return buffer;
}

void HeapRelease(StringAllocator*, StringBuffer* buffer)
{
    HeapFree(GetProcessHeap(), 0, buffer);
}

// The shared empty buffer: a header followed by one terminator.
struct EmptyBuffer {
    StringBuffer header;
    wchar_t terminator;
};

extern StringAllocator g_allocator;
EmptyBuffer g_empty = {{&g_allocator, 0, 0, 0}, L'\0'};
StringAllocator g_allocator = {HeapAllocate, HeapRelease, &g_empty.header};

void AddRef(StringBuffer* buffer)
{
    if (buffer->refs != 0)
        InterlockedIncrement(&buffer->refs);
}

void Release(StringBuffer* buffer)
{
    if (buffer->refs != 0 && InterlockedDecrement(&buffer->refs) == 0)
        buffer->allocator->release(buffer->allocator, buffer);
}

bool IsShared(const StringBuffer* buffer) { return buffer->refs != 1; }

void Fail(HRESULT code) { throw StringFailure{code}; }

int CheckedLength(const wchar_t* text)
{
    if (!text)
        return 0;
    size_t length = wcslen(text);
    if (length > static_cast<size_t>(kMaxCapacity))
        Fail(E_OUTOFMEMORY);
    return static_cast<int>(length);
}

}  // namespace

StringAllocator* ModuleStringAllocator() { return &g_allocator; }

WideString::WideString() : buffer_(g_allocator.empty) {}

WideString::WideString(const wchar_t* text) : buffer_(g_allocator.empty)
{
    Assign(text, CheckedLength(text));
}

WideString::WideString(const WideString& other) : buffer_(g_allocator.empty)
{
    if (other.buffer_->allocator == &g_allocator) {
        buffer_ = other.buffer_;
        AddRef(buffer_);
    } else {
        // Another module's buffer is never shared: it may be freed with that
        // module while this copy lives on.
        Assign(other.Text(), other.Length());
    }
}

WideString::~WideString() { Release(buffer_); }

WideString& WideString::operator=(const WideString& other)
{
    if (other.buffer_ == buffer_)
        return *this;
    if (other.buffer_->allocator == buffer_->allocator) {
        AddRef(other.buffer_);
        Release(buffer_);
        buffer_ = other.buffer_;
    } else {
        // Another module's buffer is never shared: copy into our own.
        Assign(other.Text(), other.Length());
    }
    return *this;
}

WideString& WideString::operator=(const wchar_t* text)
{
    Assign(text, CheckedLength(text));
    return *this;
}

void WideString::MakeWritable(int capacity)
{
    if (capacity < 0 || capacity > kMaxCapacity)
        Fail(E_OUTOFMEMORY);
    if (!IsShared(buffer_) && buffer_->capacity >= capacity)
        return;
    int grown = capacity;
    if (!IsShared(buffer_) && grown < buffer_->capacity + buffer_->capacity / 2)
        grown = buffer_->capacity + buffer_->capacity / 2;  // amortise repeated appends
    if (grown > kMaxCapacity)
        grown = capacity;
    StringAllocator* allocator = buffer_->allocator;
    StringBuffer* fresh = allocator->allocate(allocator, grown);
    if (!fresh)
        Fail(E_OUTOFMEMORY);
    int kept = buffer_->length < grown ? buffer_->length : grown;
    memcpy(fresh->Text(), Text(), kept * sizeof(wchar_t));
    fresh->Text()[kept] = L'\0';
    fresh->length = kept;
    Release(buffer_);
    buffer_ = fresh;
}

void WideString::Assign(const wchar_t* text, int length)
{
    if (length < 0 || (length > 0 && !text))
        Fail(E_INVALIDARG);
    if (length == 0) {
        Empty();
        return;
    }
    if (IsShared(buffer_) || buffer_->capacity < length) {
        StringBuffer* fresh = buffer_->allocator->allocate(buffer_->allocator, length);
        if (!fresh)
            Fail(E_OUTOFMEMORY);
        // The source may live in the old buffer: copy before releasing it.
        memcpy(fresh->Text(), text, length * sizeof(wchar_t));
        Release(buffer_);
        buffer_ = fresh;
    } else {
        memmove(buffer_->Text(), text, length * sizeof(wchar_t));
    }
    buffer_->Text()[length] = L'\0';
    buffer_->length = length;
}

void WideString::Append(const wchar_t* text) { Append(text, CheckedLength(text)); }

void WideString::Append(const wchar_t* text, int length)
{
    if (length < 0 || (length > 0 && !text))
        Fail(E_INVALIDARG);
    if (length == 0)
        return;
    if (length > kMaxCapacity - Length())
        Fail(E_OUTOFMEMORY);
    // Text from our own buffer (appending a string to itself) moves with it
    // when the buffer grows: keep its offset, not its address.
    uintptr_t start = reinterpret_cast<uintptr_t>(Text());
    uintptr_t at = reinterpret_cast<uintptr_t>(text);
    bool own = at >= start && at <= start + Length() * sizeof(wchar_t);
    size_t offset = (at - start) / sizeof(wchar_t);
    MakeWritable(Length() + length);
    if (own)
        text = buffer_->Text() + offset;
    memmove(buffer_->Text() + buffer_->length, text, length * sizeof(wchar_t));
    buffer_->length += length;
    buffer_->Text()[buffer_->length] = L'\0';
}

void WideString::AppendAnsi(const char* text)
{
    if (!text || !*text)
        return;
    int needed = MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, nullptr, 0);
    if (needed <= 1)
        return;
    int start = Length();
    MakeWritable(start + needed - 1);
    MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, buffer_->Text() + start, needed);
    buffer_->length = start + needed - 1;
    buffer_->Text()[buffer_->length] = L'\0';
}

void WideString::Empty()
{
    if (buffer_->length == 0 && buffer_->refs == 0)
        return;
    StringBuffer* empty = buffer_->allocator->empty;
    Release(buffer_);
    buffer_ = empty;
}

void WideString::Truncate(int length)
{
    if (length < 0 || length > Length())
        Fail(E_INVALIDARG);
    if (length == Length())
        return;
    if (length == 0) {
        Empty();
        return;
    }
    MakeWritable(length);
    buffer_->length = length;
    buffer_->Text()[length] = L'\0';
}

int WideString::Find(const wchar_t* text) const
{
    const wchar_t* found = wcsstr(Text(), text);
    return found ? static_cast<int>(found - Text()) : -1;
}

void WideString::UpperCaseAscii()
{
    if (IsEmpty())
        return;
    MakeWritable(Length());
    for (wchar_t* c = buffer_->Text(); *c; ++c) {
        if (*c >= L'a' && *c <= L'z')
            *c = static_cast<wchar_t>(*c - L'a' + L'A');
    }
}

wchar_t* WideString::GetBuffer(int capacity)
{
    if (capacity < Length())
        capacity = Length();
    if (capacity == 0)
        capacity = 1;  // never hand out the shared empty buffer for writing
    MakeWritable(capacity);
    return buffer_->Text();
}

void WideString::ReleaseBuffer(int length)
{
    if (buffer_->refs == 0)
        return;
    if (length < 0)
        for (length = 0; length < buffer_->capacity && buffer_->Text()[length]; ++length) {
        }
    if (length > buffer_->capacity)
        Fail(E_INVALIDARG);
    buffer_->length = length;
    buffer_->Text()[length] = L'\0';
}
