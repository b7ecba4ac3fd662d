// Helpers for tests that run real programs and libraries under Wine.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

class ScratchFolder;

// Folders of the build, found from the running test program (build/tests).
std::wstring TestProgramDirectory();  // build\tests\ (with separator)
std::wstring DistDirectory();         // build\dist\ : the deliverables
std::wstring FixtureDirectory();      // build\fixtures\ : test programs and libraries

struct ProgramRun {
    DWORD exitCode;
    std::string output;  // standard output, line breaks as "\n"
    std::string errors;  // standard error (where Wine's sound library complains)
    bool timedOut;
};

// Starts `commandLine` in `workingDirectory` with `input` on standard input
// (then closed), collects its output and errors, and waits up to `timeoutMs`; a program
// still running then is killed and reported as timed out.
ProgramRun RunProgram(const std::wstring& commandLine, const std::wstring& workingDirectory = L"",
                      DWORD timeoutMs = 120000, const std::string& input = "");

// A fresh, empty folder under build\tests\scratch, removed with its content at
// destruction.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::wstring& Path() const { return path_; }  // with separator
    // Copies `source` into the folder as `name` (default: its own file name).
    void CopyIn(const std::wstring& source, const std::wstring& name = L"") const;
    void WriteFile(const std::wstring& name, const std::string& content) const;

private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& path);

// Runs the gfxcheck_host fixture, copied into `folder` as `hostName`, on the
// library at `library` for `calls` checks, and returns its key=value output.
// Named as the driver, the host makes the library read the database in `folder`.
std::string RunCheckHost(const ScratchFolder& folder, const std::wstring& library, int calls = 1,
                         const std::wstring& hostName = L"QuilletVidrake.exe");

// A registry value that holds its test value while the object lives and gets
// its earlier state back afterwards (deleted if it was absent). Wine reads its
// knobs when a process starts, so tests apply them to programs they start.
class RegistryValueOverride {
public:
    RegistryValueOverride(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& text);
    RegistryValueOverride(HKEY root, const std::wstring& key, const std::wstring& name, DWORD number);
    // Any registry type with raw data.
    RegistryValueOverride(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
                          const std::string& data);
    // Removes the value while the object lives.
    RegistryValueOverride(HKEY root, const std::wstring& key, const std::wstring& name);
    ~RegistryValueOverride();
    RegistryValueOverride(const RegistryValueOverride&) = delete;
    RegistryValueOverride& operator=(const RegistryValueOverride&) = delete;

private:
    void Save();
    void Set(DWORD type, const void* data, DWORD size);

    HKEY root_;
    std::wstring key_, name_;
    bool existed_;
    DWORD type_;
    std::string saved_;
};

// Wine's Direct3D knobs (HKCU\Software\Wine\Direct3D): VideoMemorySize (text,
// MB), MaxShaderModelPS (number).
std::unique_ptr<RegistryValueOverride> WineDirect3DText(const std::wstring& name, const std::wstring& value);
std::unique_ptr<RegistryValueOverride> WineDirect3DNumber(const std::wstring& name, DWORD value);
// Removes the browser commands that the four registry candidates name (the
// prefix has winebrowser there), so the driver reports on the console.
struct NoBrowserRegistered {
    NoBrowserRegistered();
    std::unique_ptr<RegistryValueOverride> candidates[4];
};
// Disables a system DLL (such as L"d3d9") for programs started afterwards.
std::unique_ptr<RegistryValueOverride> DisableWineDll(const std::wstring& dll);
// The Windows version Wine reports to programs started afterwards: L"win2k",
// L"winxp", L"win7".
std::unique_ptr<RegistryValueOverride> EmulateWindowsVersion(const std::wstring& version);

std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);
// The value of `key=` on its own line of `output`, or "<missing>".
std::string ValueOf(const std::string& output, const std::string& key);
