#include <gtest/gtest.h>

#include "system_probes.h"

namespace {

const ULONGLONG kMegabyte = 1 << 20;

}  // namespace

TEST(SystemThresholds, DiskPassesFromExactly250Megabytes)
{
    EXPECT_FALSE(IsDiskLow(MegabytesOf(250 * kMegabyte)));
    // 249.9 MB rounds down to 249.
    EXPECT_EQ(249, MegabytesOf(250 * kMegabyte - kMegabyte / 10));
    EXPECT_TRUE(IsDiskLow(MegabytesOf(250 * kMegabyte - 1)));
    EXPECT_TRUE(IsDiskLow(249));
    EXPECT_TRUE(IsDiskLow(0));
    EXPECT_FALSE(IsDiskLow(250));
}

TEST(SystemThresholds, MemoryPassesFromExactly500Megabytes)
{
    EXPECT_EQ(500, MegabytesOf(524288000));
    EXPECT_FALSE(IsMemoryLow(MegabytesOf(524288000)));
    EXPECT_EQ(499, MegabytesOf(524287999));
    EXPECT_TRUE(IsMemoryLow(MegabytesOf(524287999)));
    // The largest 32-bit byte count.
    EXPECT_EQ(4095, MegabytesOf(0xFFFFFFFFu));
}

TEST(SystemThresholds, OperatingSystemTooOld)
{
    struct Case {
        OsVersion version;
        bool tooOld;
    } cases[] = {
        {{5, 1, 2, 0}, false}, {{5, 1, 1, 0}, true}, {{5, 2, 1, 0}, true}, {{5, 2, 2, 0}, false},
        {{5, 0, 4, 0}, true},  {{5, 0, 0, 0}, true}, {{4, 0, 6, 0}, true}, {{6, 0, 0, 0}, false},
        {{6, 1, 1, 0}, false}, {{5, 1, 3, 0}, false},
        // What a failed version query reports.
        {{0, 0, 0, 0}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.tooOld, IsOsTooOld(c.version))
            << c.version.major << "." << c.version.minor << " SP " << c.version.servicePackMajor;
    }
}

// What Wine reports to this process: Windows 7 SP1 by default, its drives and
// memory.
TEST(SystemProbesOnThePlatform, ReadsTheDefaultWindowsVersion)
{
    OsVersion os = ReadOsVersion();
    EXPECT_EQ(6u, os.major);
    EXPECT_EQ(1u, os.minor);
    EXPECT_EQ(1, os.servicePackMajor);
    EXPECT_EQ(0, os.servicePackMinor);
}

TEST(SystemProbesOnThePlatform, MeasuresFixedDrivesAndMemory)
{
    ULARGE_INTEGER available, total, totalFree;
    ASSERT_EQ(static_cast<UINT>(DRIVE_FIXED), GetDriveTypeW(L"C:\\"));
    ASSERT_TRUE(GetDiskFreeSpaceExW(L"C:\\", &available, &total, &totalFree));
    int largest = MeasureLargestFreeDisk();
    // Others write to the disk meanwhile: allow for some drift.
    EXPECT_GE(largest, MegabytesOf(totalFree.QuadPart) - 1024);
    EXPECT_GT(largest, 0);

    int memory = MeasurePhysicalMemory();
    EXPECT_GT(memory, 0);
    if (sizeof(void*) == 4)
        EXPECT_LE(memory, 4095);  // a 32-bit process is told of at most 4 GB
}
