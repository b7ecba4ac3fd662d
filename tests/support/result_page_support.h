// Reading the result page address that the driver hands its browser.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "test_support.h"

// The query keys of the result page, in their fixed order.
extern const char* const kQueryKeys[12];
// The registry keys (under HKEY_CLASSES_ROOT) of the four browser candidates.
extern const wchar_t* const kBrowserKeys[4];

// The query items of a result page address, checked for their fixed order;
// empty (with a test failure) when the address does not have the expected form.
std::map<std::string, std::string> QueryItems(const std::string& address);

// The first command line that the recording_browser fixture logged to
// `logPath`, waiting up to `timeoutMs` for the browser to start on its own;
// empty if it never did.
std::string RecordedCommandLine(const std::wstring& logPath, DWORD timeoutMs = 10000);
// The address it received as its one quoted argument (test failure if none).
std::string RecordedAddress(const std::wstring& logPath, DWORD timeoutMs = 10000);

// The recording_browser fixture copied into `folder` and registered as the
// only browser candidate (`candidate`, 0 to 3) while this lives. It appends
// its command line to browser.log in the folder.
class RecordingBrowser {
public:
    RecordingBrowser(const ScratchFolder& folder, int candidate = 0, bool quoted = true);
    std::wstring LogPath() const { return logPath_; }
    std::string Address(DWORD timeoutMs = 10000) const { return RecordedAddress(logPath_, timeoutMs); }

private:
    std::wstring logPath_;
    NoBrowserRegistered none_;
    std::unique_ptr<RegistryValueOverride> registered_;
};
