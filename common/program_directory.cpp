#include "program_directory.h"

#include <wchar.h>

WideString TrimProgramFileName(const wchar_t* path)
{
    static const wchar_t kProgramFileName[] = L"QuilletVidrake.exe";
    int runStart = -1;
    int length = 0;
    for (; path[length]; ++length) {
        bool inSet = wcschr(kProgramFileName, path[length]) != nullptr;
        if (inSet && runStart < 0)
            runStart = length;
        else if (!inSet)
            runStart = -1;
    }
    WideString directory;
    directory.Assign(path, runStart < 0 ? length : runStart);
    return directory;
}

WideString HostProgramDirectory()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length >= MAX_PATH)
        length = MAX_PATH - 1;  // Windows 2000 leaves a cut path unterminated
    path[length] = L'\0';
    return TrimProgramFileName(path);
}
