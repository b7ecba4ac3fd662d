// Times one video card database lookup over a given file, in process:
//   lookup_benchmark <folder with VideoCardDB.xml, separator included>
//     -> "ms=<milliseconds> result=<lookup result>"
#include <windows.h>
#include <stdio.h>

#include "video_card_lookup.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    WideString alternates;
    // An adapter that no record names exactly, so the whole file is scanned.
    int result = LookUpVideoCard(argv[1], 4318, 1741, L"NVIDIA GeForce GTX 470", L"8.21.0013.9135", alternates);
    QueryPerformanceCounter(&end);
    printf("ms=%.1f result=%d\n", (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart, result);
    return 0;
}
