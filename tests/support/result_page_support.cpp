#include "result_page_support.h"

#include <gtest/gtest.h>

const char* const kQueryKeys[12] = {"result", "mem",    "card",   "pslevel",  "dxver",    "hdspace",
                                    "ram",    "osver",  "driver", "vendorID", "deviceID", "alternates"};

const wchar_t* const kBrowserKeys[4] = {
    L"HTTP\\shell\\open\\command",
    L"htmlfile\\shell\\open\\command",
    L"Applications\\iexplore.exe\\shell\\open\\command",
    L"Applications\\firefox.exe\\shell\\open\\command",
};

std::map<std::string, std::string> QueryItems(const std::string& address)
{
    std::map<std::string, std::string> items;
    const std::string scheme = "http://", path = "/quillet-systemtest?";
    size_t hostEnd = address.find('/', scheme.size());
    if (address.compare(0, scheme.size(), scheme) != 0 || hostEnd == std::string::npos ||
        hostEnd == scheme.size() || address.compare(hostEnd, path.size(), path) != 0) {
        ADD_FAILURE() << "not a result page address: " << address;
        return items;
    }
    size_t at = hostEnd + path.size() - 1;
    const int keyCount = sizeof(kQueryKeys) / sizeof(kQueryKeys[0]);
    for (int i = 0; i < keyCount && at < address.size(); ++i) {
        std::string marker = (i == 0 ? "?" : "&") + std::string(kQueryKeys[i]) + "=";
        if (address.compare(at, marker.size(), marker) != 0) {
            ADD_FAILURE() << "expected " << marker << " at " << address.substr(at);
            return items;
        }
        size_t start = at + marker.size();
        size_t next = i + 1 < keyCount ? address.find("&" + std::string(kQueryKeys[i + 1]) + "=", start)
                                       : std::string::npos;
        if (next == std::string::npos)
            next = address.size();
        items[kQueryKeys[i]] = address.substr(start, next - start);
        at = next;
    }
    return items;
}

RecordingBrowser::RecordingBrowser(const ScratchFolder& folder, int candidate, bool quoted)
    : logPath_(folder.Path() + L"browser.log")
{
    folder.CopyIn(FixtureDirectory() + L"recording_browser.exe");
    DeleteFileW(logPath_.c_str());
    std::wstring program = folder.Path() + L"recording_browser.exe";
    std::wstring command = quoted ? L"\"" + program + L"\" \"%1\"" : program + L" %1";
    registered_.reset(new RegistryValueOverride(HKEY_CLASSES_ROOT, kBrowserKeys[candidate], L"", command));
}

std::string RecordedCommandLine(const std::wstring& logPath, DWORD timeoutMs)
{
    for (DWORD waited = 0;; waited += 100) {
        HANDLE log = CreateFileW(logPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        if (log != INVALID_HANDLE_VALUE) {
            char buffer[8192];
            DWORD got = 0;
            ReadFile(log, buffer, sizeof(buffer), &got, nullptr);
            CloseHandle(log);
            std::string text(buffer, got);
            if (text.find("\r\n") != std::string::npos)
                return text.substr(0, text.find("\r\n"));
        }
        if (waited >= timeoutMs)
            return "";
        Sleep(100);
    }
}

std::string RecordedAddress(const std::wstring& logPath, DWORD timeoutMs)
{
    std::string line = RecordedCommandLine(logPath, timeoutMs);
    EXPECT_NE(std::string::npos, line.find("RECORDING_BROWSER.EXE")) << line;
    size_t start = line.find("\"http://");
    if (start == std::string::npos || line.back() != '"') {
        ADD_FAILURE() << "no quoted address in the browser's command line: " << line;
        return "";
    }
    std::string address = line.substr(start + 1, line.size() - start - 2);
    EXPECT_EQ(std::string::npos, address.find('"')) << line;
    return address;
}
