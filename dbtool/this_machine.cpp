#include "this_machine.h"

#include <windows.h>

#include "check_gfx.h"
#include "database_file.h"
#include "holders.h"

namespace {

enum LibraryAnswer {
    kAdapterIdentified,
    kNoDirect3D,  // the library could not be loaded, or found no Direct3D runtime
    kNoAdapter,   // Direct3D is there but identified nothing
};

HMODULE LoadShippedLibrary(const wchar_t* fileName)
{
    std::wstring directory = ProgramDirectory();
    HMODULE library = LoadLibraryW((directory + fileName).c_str());
    return library ? library : LoadLibraryW((directory + L"..\\dist\\" + fileName).c_str());
}

LibraryAnswer AskLibrary(const wchar_t* fileName, AdapterIdentity& adapter, std::wstring& error)
{
    ModuleHolder library(LoadShippedLibrary(fileName));
    if (!library.Get()) {
        error += std::wstring(fileName) + L" was found neither beside the program nor in ..\\dist\\. ";
        return kNoDirect3D;
    }
    CheckGfxFunction checkGfx = reinterpret_cast<CheckGfxFunction>(GetProcAddress(library.Get(), "CheckGfx"));
    if (!checkGfx) {
        error += std::wstring(fileName) + L" has no CheckGfx. ";
        return kNoDirect3D;
    }
    CheckGfxResults results;
    CallCheckGfx(checkGfx, results);
    if (results.status & (GFX_DIRECTX_MISSING | GFX_DEVICE_FAILED)) {
        error += std::wstring(fileName) + L": " + results.message.Text() + L" ";
        return results.status & GFX_DIRECTX_MISSING ? kNoDirect3D : kNoAdapter;
    }
    adapter.vendorId = static_cast<DWORD>(results.vendorId);
    adapter.deviceId = static_cast<DWORD>(results.deviceId);
    adapter.cardName = results.cardName.Text();
    adapter.driverVersion = results.driverVersionText.Text();
    return kAdapterIdentified;
}

}  // namespace

bool ProbeThisMachine(AdapterIdentity& adapter, std::wstring& error)
{
    LibraryAnswer answer = AskLibrary(L"VidrakeDx9.dll", adapter, error);
    if (answer == kNoDirect3D)
        answer = AskLibrary(L"VidrakeDx8.dll", adapter, error);
    return answer == kAdapterIdentified;
}
