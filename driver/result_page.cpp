#include "result_page.h"

#include <shellapi.h>
#include <string.h>

#include "check_gfx.h"
#include "holders.h"
#include "message_format.h"

namespace {

const REGSAM kReadAccess = KEY_READ;  // 0x20019

struct BrowserKeyPath {
    const wchar_t* names[5];
    int count;
};

const BrowserKeyPath kBrowserKeyPaths[] = {
    {{L"HTTP", L"shell", L"open", L"command"}, 4},
    {{L"htmlfile", L"shell", L"open", L"command"}, 4},
    {{L"Applications", L"iexplore.exe", L"shell", L"open", L"command"}, 5},
    {{L"Applications", L"firefox.exe", L"shell", L"open", L"command"}, 5},
};

const wchar_t kResultPageAddress[] = L"http://" VIDRAKE_RESULT_PAGE_HOST L"/quillet-systemtest?result=";

// Reads the default value of `key` as text into `text`, whatever its type:
// the buffer holds every byte of the data and one more character, zeroed, so
// the text is terminated even when the data is not (binary data, an odd byte
// count, a string stored without its terminator).
bool ReadDefaultValueText(HKEY key, WideString& text)
{
    DWORD size = 0;
    if (RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return false;
    if (size == 0) {
        text.Empty();
        return true;
    }
    if (size > 0x7FFFFFF0u)
        return false;
    int characters = static_cast<int>((size + 1) / 2);
    wchar_t* buffer = text.GetBuffer(characters);
    memset(buffer, 0, (characters + 1) * sizeof(wchar_t));
    DWORD got = size;
    LONG status = RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &got);
    if (status != ERROR_SUCCESS) {
        text.ReleaseBuffer(0);
        return false;
    }
    text.ReleaseBuffer(-1);  // up to the first terminator, at most `characters`
    return true;
}

}  // namespace

void ReadDefaultRegistryValue(HKEY root, const wchar_t* const* names, int count, WideString& value)
{
    value.Empty();
    RegistryKeyHolder key;
    for (int i = 0; i < count; ++i) {
        HKEY child;
        if (RegOpenKeyExW(key.Get() ? key.Get() : root, names[i], 0, kReadAccess, &child) != ERROR_SUCCESS)
            return;
        *key.Out() = child;  // closes the parent
    }
    WideString text;
    if (!ReadDefaultValueText(key.Get() ? key.Get() : root, text))
        return;
    key.Reset();
    AssignInserts(value, L"%1!s!", text.Text());
    value.UpperCaseAscii();
}

bool CutBrowserCommand(WideString& command)
{
    int at = command.Find(L".EXE");
    if (at < 0)
        return false;
    command.Truncate(at + 4);
    bool quoted = command.Text()[0] == L'"';
    // No executable path is longer than MAX_PATH, and the shell is not to be
    // handed one (Wine's hangs or crashes on it): such a value names no browser.
    if (command.Length() - (quoted ? 1 : 0) >= MAX_PATH)
        return false;
    if (quoted)
        command.Append(L"\"");
    return true;
}

bool FindBrowserCommand(WideString& command)
{
    for (const BrowserKeyPath& path : kBrowserKeyPaths) {
        ReadDefaultRegistryValue(HKEY_CLASSES_ROOT, path.names, path.count, command);
        if (CutBrowserCommand(command))
            return true;
    }
    command.Empty();
    return false;
}

WideString BuildResultPageParameters(int mask, const TestRun& run, const WideString& directXSentence,
                                     int freeDiskMegabytes, int physicalMemoryMegabytes, const OsVersion& os)
{
    WideString parameters(L"\"");
    parameters.Append(kResultPageAddress);
    AppendInserts(parameters, L"%1!d!", mask);
    parameters.Append(L"&mem=");
    parameters.Append(run.memoryText);
    parameters.Append(L"&card=");
    parameters.Append(run.cardName);
    parameters.Append(L"&pslevel=");
    parameters.Append(run.pixelShaderText);
    parameters.Append(L"&dxver=");
    parameters.Append(directXSentence);
    AppendInserts(parameters, L"&hdspace=%1!d! MB", freeDiskMegabytes);
    AppendInserts(parameters, L"&ram=%1!d! MB", physicalMemoryMegabytes);
    AppendInserts(parameters, L"&osver=%1!d!.%2!d! SP %3!d!.%4!d!", static_cast<int>(os.major),
                  static_cast<int>(os.minor), static_cast<int>(os.servicePackMajor),
                  static_cast<int>(os.servicePackMinor));
    parameters.Append(L"&driver=");
    parameters.Append(run.driverVersionText);
    AppendInserts(parameters, L"&vendorID=%1!d!", run.vendorId);
    AppendInserts(parameters, L"&deviceID=%1!d!", run.deviceId);
    if (mask & GFX_DRIVER_REJECTED) {
        parameters.Append(L"&alternates=");
        parameters.Append(run.alternates);
    }
    parameters.Append(L"\"");
    return parameters;
}

void LaunchBrowser(const WideString& command, const WideString& parameters)
{
    SHELLEXECUTEINFOW request;
    ZeroMemory(&request, sizeof(request));
    static_assert(sizeof(void*) != 4 || sizeof(request) == 60, "the 32-bit shell execute request");
    request.cbSize = sizeof(request);
    // No error dialog: a browser that cannot start must not stop an unattended
    // run waiting for someone to dismiss a message box.
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    request.lpFile = command.Text();
    request.lpParameters = parameters.Text();
    request.nShow = SW_SHOWNORMAL;
    // The browser runs on its own; only its process handle is ours to close.
    if (ShellExecuteExW(&request) && request.hProcess)
        CloseHandle(request.hProcess);
}
