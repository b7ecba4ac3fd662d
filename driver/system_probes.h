// Free disk, physical memory and the operating system version.
#pragma once

#include <windows.h>

struct OsVersion {
    DWORD major;
    DWORD minor;
    WORD servicePackMajor;
    WORD servicePackMinor;
};

int MeasureLargestFreeDisk();
int MeasurePhysicalMemory();
// 0.0 SP 0.0 when the version cannot be read.
OsVersion ReadOsVersion();

// Whole megabytes (2^20 bytes) of a byte count, as the low 32 bits, signed.
int MegabytesOf(ULONGLONG bytes);
bool IsDiskLow(int freeMegabytes);
bool IsMemoryLow(int physicalMegabytes);
bool IsOsTooOld(const OsVersion& version);
