#include "system_probes.h"

namespace {

const int kMinimumFreeDiskMegabytes = 250;
const int kMinimumMemoryMegabytes = 500;

}  // namespace

int MegabytesOf(ULONGLONG bytes)
{
    return static_cast<int>(static_cast<DWORD>(bytes >> 20));
}

int MeasureLargestFreeDisk()
{
    wchar_t roots[512];
    DWORD length = GetLogicalDriveStringsW(ARRAYSIZE(roots), roots);
    if (length == 0 || length >= ARRAYSIZE(roots))
        return 0;
    int largest = 0;
    for (const wchar_t* root = roots; *root; root += lstrlenW(root) + 1) {
        if (GetDriveTypeW(root) != DRIVE_FIXED)
            continue;
        ULARGE_INTEGER available, total, totalFree;
        // The volume's whole free space, not only what this user may fill.
        if (!GetDiskFreeSpaceExW(root, &available, &total, &totalFree))
            continue;
        int megabytes = MegabytesOf(totalFree.QuadPart);
        if (megabytes > largest)
            largest = megabytes;
    }
    return largest;
}

int MeasurePhysicalMemory()
{
    MEMORYSTATUS status = {};
    status.dwLength = sizeof(status);
    GlobalMemoryStatus(&status);
    return MegabytesOf(status.dwTotalPhys);
}

OsVersion ReadOsVersion()
{
    OSVERSIONINFOEXW info = {};
    static_assert(sizeof(info) == 284, "the extended version record");
    info.dwOSVersionInfoSize = sizeof(info);
    // A version we cannot read counts as the oldest one.
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)))
        return OsVersion{0, 0, 0, 0};
    return OsVersion{info.dwMajorVersion, info.dwMinorVersion, info.wServicePackMajor, info.wServicePackMinor};
}

bool IsDiskLow(int freeMegabytes) { return freeMegabytes < kMinimumFreeDiskMegabytes; }

bool IsMemoryLow(int physicalMegabytes) { return physicalMegabytes < kMinimumMemoryMegabytes; }

bool IsOsTooOld(const OsVersion& version)
{
    if (version.major != 5)
        return version.major < 5;
    return version.minor == 0 || version.servicePackMajor < 2;
}
