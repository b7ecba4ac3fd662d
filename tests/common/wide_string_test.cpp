#include <gtest/gtest.h>

#include <optional>

#include "holders.h"
#include "program_directory.h"
#include "message_format.h"
#include "wide_string.h"
#include "test_support.h"

namespace {

// A second allocator standing in for another module's, counting its buffers.
int g_foreignLive = 0;

StringBuffer* ForeignAllocate(StringAllocator* self, int capacity)
{
    StringBuffer* buffer = static_cast<StringBuffer*>(
        HeapAlloc(GetProcessHeap(), 0, sizeof(StringBuffer) + (capacity + 1) * sizeof(wchar_t)));
    buffer->allocator = self;
    buffer->length = 0;
    buffer->capacity = capacity;
    buffer->refs = 1;
    buffer->Text()[0] = L'\0';
    ++g_foreignLive;
    return buffer;
}

void ForeignRelease(StringAllocator*, StringBuffer* buffer)
{
    --g_foreignLive;
    HeapFree(GetProcessHeap(), 0, buffer);
}

struct ForeignEmpty {
    StringBuffer header;
    wchar_t terminator;
};
extern StringAllocator g_foreign;
ForeignEmpty g_foreignEmpty = {{&g_foreign, 0, 0, 0}, L'\0'};
StringAllocator g_foreign = {ForeignAllocate, ForeignRelease, &g_foreignEmpty.header};

// A string whose buffers come from the foreign allocator, as a string made by
// another module would.
WideString ForeignString(const wchar_t* text)
{
    WideString s;
    *reinterpret_cast<StringBuffer**>(&s) = g_foreign.empty;  // the object holds only its buffer pointer
    s.Append(text);
    return s;
}

HRESULT FailureOf(void (*operation)())
{
    try {
        operation();
    } catch (const StringFailure& failure) {
        return failure.code;
    }
    return S_OK;
}

}  // namespace

TEST(WideString, CopiesShareUntilOneIsWritten)
{
    WideString a(L"graphics");
    WideString b = a;
    EXPECT_EQ(a.Text(), b.Text());
    b.Append(L" card");
    EXPECT_NE(a.Text(), b.Text());
    EXPECT_TRUE(a == L"graphics");
    EXPECT_TRUE(b == L"graphics card");
    WideString c = b;
    c.UpperCaseAscii();
    EXPECT_TRUE(b == L"graphics card");
    EXPECT_TRUE(c == L"GRAPHICS CARD");
    c.Truncate(8);
    EXPECT_TRUE(c == L"GRAPHICS");
    EXPECT_TRUE(b == L"graphics card");
}

TEST(WideString, AppendingItsOwnTextAndGrowingKeepsEverything)
{
    WideString s(L"ab");
    for (int i = 0; i < 12; ++i)
        s.Append(s.Text(), s.Length());  // the source lies in the buffer being grown
    EXPECT_EQ(2 << 12, s.Length());
    EXPECT_EQ(L'a', s.Text()[4094]);
    EXPECT_EQ(L'b', s.Text()[8191]);
    EXPECT_EQ(L'\0', s.Text()[8192]);
    s.Assign(s.Text() + 1, 3);
    EXPECT_TRUE(s == L"bab");
}

// Counts the buffers the module's allocator hands out while installed.
int g_moduleAllocations = 0;
StringBuffer* (*g_moduleAllocate)(StringAllocator*, int) = nullptr;

StringBuffer* CountingAllocate(StringAllocator* self, int capacity)
{
    ++g_moduleAllocations;
    return g_moduleAllocate(self, capacity);
}

TEST(WideString, RepeatedAppendsGrowTheBufferGeometrically)
{
    StringAllocator* allocator = ModuleStringAllocator();
    g_moduleAllocate = allocator->allocate;
    allocator->allocate = CountingAllocate;
    g_moduleAllocations = 0;
    WideString s;
    for (int i = 0; i < 1000; ++i)
        s.Append(i % 2 ? L"x" : L"yz");
    int appendAllocations = g_moduleAllocations;
    int appended = s.Length();
    g_moduleAllocations = 0;
    s.Assign(L"short", 5);  // fits the grown buffer
    int assignAllocations = g_moduleAllocations;
    allocator->allocate = g_moduleAllocate;

    EXPECT_EQ(1500, appended);
    EXPECT_TRUE(s == L"short");
    // Growth by half again each time needs about twenty buffers for 1500
    // characters; a copy per append would need a thousand.
    EXPECT_LE(appendAllocations, 30);
    EXPECT_EQ(0, assignAllocations);
}

TEST(WideString, EmptyStringsUseTheSharedEmptyBufferOfTheirAllocator)
{
    WideString a, b;
    EXPECT_EQ(a.Text(), b.Text());
    WideString c(L"x");
    c.Empty();
    EXPECT_EQ(a.Text(), c.Text());
    EXPECT_EQ(ModuleStringAllocator(), c.Allocator());
    WideString foreign = ForeignString(L"y");
    foreign.Empty();
    EXPECT_EQ(&g_foreign, foreign.Allocator());
}

TEST(WideString, ForeignStringsGrowAndStayWithTheirOwnAllocator)
{
    g_foreignLive = 0;
    {
        WideString foreign = ForeignString(L"card");
        EXPECT_EQ(1, g_foreignLive);
        foreign.Append(L": a long description that needs a larger buffer than before");
        EXPECT_EQ(&g_foreign, foreign.Allocator());
        EXPECT_EQ(1, g_foreignLive);

        // Assigning our string into a foreign object copies into the foreign
        // allocator's storage instead of sharing our buffer.
        WideString ours(L"6.14.0010.6764");
        foreign = ours;
        EXPECT_TRUE(foreign == L"6.14.0010.6764");
        EXPECT_NE(ours.Text(), foreign.Text());
        EXPECT_EQ(&g_foreign, foreign.Allocator());

        WideString copyOfForeign(L"");
        copyOfForeign = foreign;  // and the other way round
        EXPECT_EQ(ModuleStringAllocator(), copyOfForeign.Allocator());
        EXPECT_EQ(1, g_foreignLive);
    }
    EXPECT_EQ(0, g_foreignLive);
}

struct LibraryCopyFacts {
    const StringAllocator* allocator;
    const wchar_t* text;
    bool equal;
};

struct ReceivedString {
    const StringAllocator* allocator = nullptr;
    const wchar_t* text = nullptr;
    std::optional<WideString> copy;
};

// A fixture library linked with its own copy of the string code plays the
// other module: a copy made on either side of a string from the other owns a
// buffer of its own module's allocator, so it outlives the module it came from.
TEST(WideString, CopiesAcrossModulesOwnABufferOfTheirOwnAllocator)
{
    ModuleHolder library(LoadLibraryW((FixtureDirectory() + L"module_string.dll").c_str()));
    ASSERT_NE(nullptr, library.Get());
    auto libraryAllocator = reinterpret_cast<const StringAllocator* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(library.Get(), "LibraryStringAllocator")));
    auto handLibraryString = reinterpret_cast<void (*)(const wchar_t*, void (*)(const WideString&, void*), void*)>(
        reinterpret_cast<void*>(GetProcAddress(library.Get(), "HandLibraryString")));
    auto copyInLibrary = reinterpret_cast<void (*)(const WideString&, LibraryCopyFacts*)>(
        reinterpret_cast<void*>(GetProcAddress(library.Get(), "CopyInLibrary")));
    ASSERT_TRUE(libraryAllocator && handLibraryString && copyInLibrary);
    ASSERT_NE(ModuleStringAllocator(), libraryAllocator());

    ReceivedString received;
    handLibraryString(L"NVIDIA GeForce GTX 470", [](const WideString& made, void* context) {
        ReceivedString& into = *static_cast<ReceivedString*>(context);
        into.allocator = made.Allocator();
        into.text = made.Text();
        into.copy.emplace(made);
    }, &received);
    EXPECT_EQ(libraryAllocator(), received.allocator);
    ASSERT_TRUE(received.copy.has_value());
    EXPECT_EQ(ModuleStringAllocator(), received.copy->Allocator());
    EXPECT_NE(received.text, received.copy->Text());
    EXPECT_TRUE(*received.copy == L"NVIDIA GeForce GTX 470");

    WideString ours(L"6.14.0010.7164");
    LibraryCopyFacts facts = {};
    copyInLibrary(ours, &facts);
    EXPECT_EQ(libraryAllocator(), facts.allocator);
    EXPECT_NE(ours.Text(), facts.text);
    EXPECT_TRUE(facts.equal);

    // An empty string of the other module becomes our own shared empty buffer.
    received.copy.reset();
    handLibraryString(L"", [](const WideString& made, void* context) {
        static_cast<ReceivedString*>(context)->copy.emplace(made);
    }, &received);
    EXPECT_EQ(WideString().Text(), received.copy->Text());
}

TEST(WideString, BadLengthsAndExhaustedMemoryRaiseFailures)
{
    EXPECT_EQ(E_INVALIDARG, FailureOf([] { WideString(L"abc").Truncate(4); }));
    EXPECT_EQ(E_INVALIDARG, FailureOf([] { WideString(L"abc").Truncate(-1); }));
    EXPECT_EQ(E_INVALIDARG, FailureOf([] { WideString s; s.Append(L"abc", -2); }));
    EXPECT_EQ(E_OUTOFMEMORY, FailureOf([] { WideString s; s.GetBuffer(0x7FFFFFF0); }));
    EXPECT_EQ(E_OUTOFMEMORY, FailureOf([] {
                  WideString s(L"x");
                  s.Append(L"y", 0x7FFFFFFF);
              }));
}

TEST(WideString, FindAndAnsiText)
{
    WideString s(L"C:\\PROGRAM FILES\\BROWSER.EXE\\X.EXE");
    EXPECT_EQ(24, s.Find(L".EXE"));
    EXPECT_EQ(-1, s.Find(L".exe"));
    WideString ansi;
    ansi.AppendAnsi("NVIDIA GeForce GTX 470");
    EXPECT_TRUE(ansi == L"NVIDIA GeForce GTX 470");
}

TEST(MessageInserts, FormatsNumbersAndTextThroughTheMessageFormatter)
{
    WideString s(L"old");
    AssignInserts(s, L"%1!d! MB", 256);
    EXPECT_TRUE(s == L"256 MB");
    AppendInserts(s, L" %1!d!.%2!d!", 3, 0);
    EXPECT_TRUE(s == L"256 MB 3.0");
    AssignInserts(s, L"%1!d!", -2147483647 - 1);
    EXPECT_TRUE(s == L"-2147483648");
    AssignInserts(s, L"low: %1!d! MB.\n\nnext", 32);
    EXPECT_TRUE(s == L"low: 32 MB.\n\nnext");  // line feeds stay single characters
    AssignInserts(s, L"%1!s! not found (2)", L"C:\\Tools\\\\VidrakeDx8.dll");
    EXPECT_TRUE(s == L"C:\\Tools\\\\VidrakeDx8.dll not found (2)");
}

TEST(ProgramDirectory, TrimsTheLongestTailOfProgramNameCharacters)
{
    EXPECT_TRUE(TrimProgramFileName(L"C:\\Tools\\QuilletVidrake.exe") == L"C:\\Tools\\");
    EXPECT_TRUE(TrimProgramFileName(L"C:\\Tools\\Vidrake.exe") == L"C:\\Tools\\");
    EXPECT_TRUE(TrimProgramFileName(L"C:\\WINDOWS\\system32\\msiexec.exe") == L"C:\\WINDOWS\\system32\\msiexec");
    EXPECT_TRUE(TrimProgramFileName(L"C:\\Tools\\QuilletVidrake.EXE") == L"C:\\Tools\\QuilletVidrake.EXE");
    EXPECT_TRUE(TrimProgramFileName(L"") == L"");
    EXPECT_TRUE(TrimProgramFileName(L"Quillet") == L"");
}
