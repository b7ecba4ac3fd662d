// One run of the system test, from the graphics check to the report.
#pragma once

#include <windows.h>

#include "holders.h"
#include "system_probes.h"
#include "wide_string.h"

struct TestRun {
    // The graphics check library loaded last. The strings below keep their own
    // storage whatever the library wrote into them, so it may be freed first.
    ModuleHolder libraryModule;
    WideString message;
    WideString memoryText;
    WideString pixelShaderText;
    WideString cardName;
    WideString programDirectory;
    WideString alternates;
    WideString driverVersionText;
    int vendorId = 0;
    int deviceId = 0;
};

// Frees the library loaded before, loads programDirectory + `libraryFileName`
// and calls its CheckGfx once. -1 (with the not-found message) when the
// library cannot be loaded; 0 when it lacks CheckGfx.
int CallGraphicsCheck(TestRun& run, const wchar_t* libraryFileName);

// The whole test; returns the result bit mask.
int RunSystemTest(TestRun& run);

// The result bit mask with the driver's own findings OR-ed in.
int AddSystemFindings(int mask, int freeDiskMegabytes, int physicalMemoryMegabytes, const OsVersion& os);
