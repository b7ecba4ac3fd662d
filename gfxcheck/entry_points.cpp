// The library's two exports: CheckGfx for the driver, CheckGfxCapabilities as
// a Windows Installer custom action.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include "check_gfx.h"
#include "check_sequence.h"
#include "d3d_runtime.h"
#include "holders.h"
#include "program_directory.h"

extern "C" void __cdecl CheckGfx(WideString& message, WideString& memoryText, WideString& pixelShaderText,
                                 WideString& cardName, WideString& driverVersionText, WideString& alternates,
                                 int* status, int* vendorId, int* deviceId, int reserved)
{
    // Derived afresh at every call: the database is read beside the host program.
    WideString hostDirectory = HostProgramDirectory();
    CheckOutputs out = {message, memoryText, pixelShaderText, cardName, driverVersionText, alternates,
                        status, vendorId, deviceId};
    CheckGfxWithDirect3D(hostDirectory, out);
#if defined(VIDRAKE_D3D8)
    if (*status & GFX_DIRECTX_MISSING) {
        *status = 0;
        cardName.Empty();
        memoryText.Empty();
        pixelShaderText.Empty();
        message.Empty();
        alternates.Empty();
        driverVersionText.Empty();
        CheckGfxWithDirectDraw(hostDirectory, out);
    }
#endif
}

// Runs the check and hands the verdict to the installation as GFXSTATUS and,
// when nothing was found, GFXERROR. Setup goes on whatever the check found,
// and no failure of the check may escape into the installer.
extern "C" UINT __stdcall CheckGfxCapabilities(MSIHANDLE install)
{
    try {
        CheckGfxResults results;
        CallCheckGfx(CheckGfx, results);
        // The installer engine is looked up at run time, so that loading this
        // library for the driver never loads it; inside an installation it is
        // loaded already.
        HMODULE msi = GetModuleHandleW(L"msi.dll");
        ModuleHolder loaded(msi ? nullptr : LoadSystemLibrary(L"\\msi.dll"));
        if (!msi)
            msi = loaded.Get();
        auto setProperty = msi ? reinterpret_cast<decltype(&MsiSetPropertyW)>(
                                     reinterpret_cast<void*>(GetProcAddress(msi, "MsiSetPropertyW")))
                               : nullptr;
        if (!setProperty)
            return ERROR_SUCCESS;
        wchar_t statusText[16];
        wsprintfW(statusText, L"%d", results.status);
        setProperty(install, L"GFXSTATUS", statusText);
        if (results.status <= 0)
            setProperty(install, L"GFXERROR", results.message.Text());
    } catch (...) {
    }
    return ERROR_SUCCESS;
}
