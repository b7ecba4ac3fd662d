#include "main_flow.h"

#include <conio.h>
#include <stdio.h>

#include "check_gfx.h"
#include "directx_version.h"
#include "program_directory.h"
#include "message_format.h"
#include "result_page.h"
#include "system_probes.h"

namespace {

const char kRegistryHint[] =
    "\n\nFor more information please make sure the registry entry:\n"
    "HKEY_CLASSES_ROOT\\HTTP\\shell\\open\\command\n"
    "points to a valid browser executable\n\n"
    "Please press any key to continue...";

// Waits until a key press is pending, leaving it unread. Without a console to
// press a key in there is nothing to wait for.
void WaitForKeyPress()
{
    DWORD mode;
    if (!GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode))
        return;
    while (!_kbhit())
        Sleep(50);
}

void EmptyLibraryStrings(TestRun& run)
{
    run.cardName.Empty();
    run.memoryText.Empty();
    run.pixelShaderText.Empty();
    run.message.Empty();
}

}  // namespace

int CallGraphicsCheck(TestRun& run, const wchar_t* libraryFileName)
{
    // Nothing of a library loaded before is used after its call returned.
    run.libraryModule.Reset();
    WideString path = run.programDirectory;
    path.Append(libraryFileName);
    run.libraryModule.Reset(LoadLibraryW(path.Text()));
    if (!run.libraryModule.Get()) {
        AssignInserts(run.message, L"%1!s! not found (2)", path.Text());
        return -1;
    }
    int result = 0;
    auto checkGfx = reinterpret_cast<CheckGfxFunction>(GetProcAddress(run.libraryModule.Get(), "CheckGfx"));
    if (checkGfx) {
        checkGfx(run.message, run.memoryText, run.pixelShaderText, run.cardName, run.driverVersionText,
                 run.alternates, &result, &run.vendorId, &run.deviceId, 0);
    }
    return result;
}

int AddSystemFindings(int mask, int freeDiskMegabytes, int physicalMemoryMegabytes, const OsVersion& os)
{
    if (IsDiskLow(freeDiskMegabytes))
        mask |= SYS_DISK_LOW;
    if (IsMemoryLow(physicalMemoryMegabytes))
        mask |= SYS_RAM_LOW;
    if (IsOsTooOld(os))
        mask |= SYS_OS_TOO_OLD;
    return mask;
}

int RunSystemTest(TestRun& run)
{
    run.programDirectory = HostProgramDirectory();

    WideString directXSentence;
    DescribeDirectX(directXSentence);

    EmptyLibraryStrings(run);
    int mask = CallGraphicsCheck(run, L"\\VidrakeDx9.dll");
    if (mask & GFX_DIRECTX_MISSING) {
        EmptyLibraryStrings(run);
        mask = CallGraphicsCheck(run, L"\\VidrakeDx8.dll");
    }

    int freeDisk = MeasureLargestFreeDisk();
    int memory = MeasurePhysicalMemory();
    OsVersion os = ReadOsVersion();
    mask = AddSystemFindings(mask, freeDisk, memory, os);

    WideString browser;
    if (FindBrowserCommand(browser)) {
        LaunchBrowser(browser, BuildResultPageParameters(mask, run, directXSentence, freeDisk, memory, os));
    } else {
        wprintf(L"\n\n%ls", run.message.Text());
        printf("%s", kRegistryHint);
        fflush(stdout);
        WaitForKeyPress();
    }

    run.libraryModule.Reset();
    return mask;
}
