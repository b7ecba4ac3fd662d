#include "this_machine.h"

#include <windows.h>

#include "check_gfx.h"
#include "holders.h"

namespace {

std::wstring ProgramDirectory()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length < MAX_PATH ? length : 0);
    size_t separator = directory.find_last_of(L"\\/");
    directory.erase(separator == std::wstring::npos ? 0 : separator + 1);
    return directory;
}

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
    WideString message, memoryText, pixelShaderText, cardName, driverVersionText, alternates;
    int status = 0, vendorId = 0, deviceId = 0;
    checkGfx(message, memoryText, pixelShaderText, cardName, driverVersionText, alternates, &status, &vendorId,
             &deviceId, 0);
    if (status & (GFX_DIRECTX_MISSING | GFX_DEVICE_FAILED)) {
        error += std::wstring(fileName) + L": " + message.Text() + L" ";
        return status & GFX_DIRECTX_MISSING ? kNoDirect3D : kNoAdapter;
    }
    adapter.vendorId = static_cast<DWORD>(vendorId);
    adapter.deviceId = static_cast<DWORD>(deviceId);
    adapter.cardName = cardName.Text();
    adapter.driverVersion = driverVersionText.Text();
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
