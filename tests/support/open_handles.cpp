#include "open_handles.h"

#include <string>

namespace {

// Handles of the process `processId` in the system's handle table, or of every
// process when it is 0.
DWORD CountHandles(DWORD processId)
{
    struct HandleEntry {
        USHORT processId;
        USHORT creatorBackTraceIndex;
        UCHAR objectType;
        UCHAR attributes;
        USHORT handle;
        void* object;
        ACCESS_MASK access;
    };
    // The entries follow the count at their own alignment (8 bytes on 64-bit).
    struct HandleTable {
        ULONG count;
        HandleEntry entries[1];
    };
    typedef LONG(WINAPI * QueryFunction)(ULONG, void*, ULONG, ULONG*);
    const ULONG kSystemHandleInformation = 16;
    QueryFunction query = reinterpret_cast<QueryFunction>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"));
    if (!query)
        return 0;
    std::string table(1 << 22, '\0');
    ULONG got = 0;
    if (query(kSystemHandleInformation, &table[0], static_cast<ULONG>(table.size()), &got) != 0)
        return 0;
    const HandleTable* handles = reinterpret_cast<const HandleTable*>(table.data());
    ULONG entries = handles->count;
    const HandleEntry* entry = handles->entries;
    DWORD count = 0;
    for (ULONG i = 0; i < entries; ++i) {
        if (processId == 0 || entry[i].processId == static_cast<USHORT>(processId))
            ++count;
    }
    return count;
}


}  // namespace

DWORD OpenHandleCount() { return CountHandles(GetCurrentProcessId()); }

DWORD SystemHandleCount() { return CountHandles(0); }
