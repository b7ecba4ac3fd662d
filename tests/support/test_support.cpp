#include "test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::wstring ParentDirectory(std::wstring path)
{
    // path ends with a separator: drop it, then the last component.
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(0, slash + 1);
}

// Reads a pipe to its end on a thread of its own, so that a child writing a
// lot never blocks on a full pipe while we wait for it.
struct PipeReader {
    HANDLE pipe;
    std::string text;
    static DWORD WINAPI Run(void* self)
    {
        PipeReader* reader = static_cast<PipeReader*>(self);
        char chunk[4096];
        DWORD got;
        while (ReadFile(reader->pipe, chunk, sizeof(chunk), &got, nullptr) && got > 0)
            reader->text.append(chunk, got);
        return 0;
    }
};

}  // namespace

std::wstring TestProgramDirectory()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full(path, length);
    return full.substr(0, full.find_last_of(L'\\') + 1);
}

std::wstring DistDirectory() { return ParentDirectory(TestProgramDirectory()) + L"dist\\"; }
std::wstring FixtureDirectory() { return ParentDirectory(TestProgramDirectory()) + L"fixtures\\"; }

ProgramRun RunProgram(const std::wstring& commandLine, const std::wstring& workingDirectory, DWORD timeoutMs,
                      const std::string& input)
{
    ProgramRun run = {~0u, "", "", false};
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    // Pipes for standard input, output and error: [read end, write end].
    HANDLE in[2], out[2], err[2];
    if (!CreatePipe(&in[0], &in[1], &inherit, 0))
        return run;
    if (!CreatePipe(&out[0], &out[1], &inherit, 0)) {
        CloseHandle(in[0]);
        CloseHandle(in[1]);
        return run;
    }
    if (!CreatePipe(&err[0], &err[1], &inherit, 0)) {
        for (HANDLE h : {in[0], in[1], out[0], out[1]})
            CloseHandle(h);
        return run;
    }
    SetHandleInformation(in[1], HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(out[0], HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err[0], HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in[0];
    startup.hStdOutput = out[1];
    startup.hStdError = err[1];
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &process);
    CloseHandle(in[0]);
    CloseHandle(out[1]);
    CloseHandle(err[1]);
    if (!started) {
        for (HANDLE h : {in[1], out[0], err[0]})
            CloseHandle(h);
        run.output = "CreateProcess failed";
        return run;
    }
    if (!input.empty()) {
        DWORD written;
        WriteFile(in[1], input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    }
    CloseHandle(in[1]);

    PipeReader outReader = {out[0], ""};
    PipeReader errReader = {err[0], ""};
    HANDLE readers[2] = {CreateThread(nullptr, 0, PipeReader::Run, &outReader, 0, nullptr),
                         CreateThread(nullptr, 0, PipeReader::Run, &errReader, 0, nullptr)};
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_TIMEOUT) {
        run.timedOut = true;
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    // Grandchildren (a started browser) may still hold the pipes open: don't
    // wait on them forever.
    for (HANDLE reader : readers) {
        if (WaitForSingleObject(reader, 10000) == WAIT_TIMEOUT)
            TerminateThread(reader, 0);
        CloseHandle(reader);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    for (char c : outReader.text) {
        if (c != '\r')
            run.output += c;
    }
    run.errors = errReader.text;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(out[0]);
    CloseHandle(err[0]);
    return run;
}

ScratchFolder::ScratchFolder(const std::wstring& name)
{
    std::wstring root = TestProgramDirectory() + L"scratch\\";
    CreateDirectoryW(root.c_str(), nullptr);
    path_ = root + name + L"\\";
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

void ScratchFolder::CopyIn(const std::wstring& source, const std::wstring& name) const
{
    std::wstring target = name.empty() ? source.substr(source.find_last_of(L'\\') + 1) : name;
    CopyFileW(source.c_str(), (path_ + target).c_str(), FALSE);
}

void ScratchFolder::WriteFile(const std::wstring& name, const std::string& content) const
{
    HANDLE file = CreateFileW((path_ + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

std::string RunCheckHost(const ScratchFolder& folder, const std::wstring& library, int calls,
                         const std::wstring& hostName)
{
    folder.CopyIn(FixtureDirectory() + L"gfxcheck_host.exe", hostName);
    ProgramRun run = RunProgram(L"\"" + folder.Path() + hostName + L"\" \"" + library + L"\" " + std::to_wstring(calls),
                                folder.Path(), 600000);
    EXPECT_FALSE(run.timedOut) << Narrow(library);
    EXPECT_EQ(0u, run.exitCode) << Narrow(library) << run.output;
    return run.output;
}

void RemoveTree(const std::wstring& path)
{
    std::wstring base = path;
    if (!base.empty() && base.back() != L'\\')
        base += L'\\';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((base + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = base + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(base.c_str());
}

RegistryValueOverride::RegistryValueOverride(HKEY root, const std::wstring& key, const std::wstring& name,
                                             const std::wstring& text)
    : root_(root), key_(key), name_(name), existed_(false), type_(0)
{
    Save();
    Set(REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

RegistryValueOverride::RegistryValueOverride(HKEY root, const std::wstring& key, const std::wstring& name,
                                             DWORD number)
    : root_(root), key_(key), name_(name), existed_(false), type_(0)
{
    Save();
    Set(REG_DWORD, &number, sizeof(number));
}

RegistryValueOverride::RegistryValueOverride(HKEY root, const std::wstring& key, const std::wstring& name,
                                             DWORD type, const std::string& data)
    : root_(root), key_(key), name_(name), existed_(false), type_(0)
{
    Save();
    Set(type, data.data(), static_cast<DWORD>(data.size()));
}

RegistryValueOverride::RegistryValueOverride(HKEY root, const std::wstring& key, const std::wstring& name)
    : root_(root), key_(key), name_(name), existed_(false), type_(0)
{
    Save();
    HKEY opened;
    if (RegOpenKeyExW(root_, key_.c_str(), 0, KEY_WRITE, &opened) == ERROR_SUCCESS) {
        RegDeleteValueW(opened, name_.empty() ? nullptr : name_.c_str());
        RegCloseKey(opened);
    }
}

NoBrowserRegistered::NoBrowserRegistered()
{
    const wchar_t* keys[4] = {L"HTTP\\shell\\open\\command", L"htmlfile\\shell\\open\\command",
                              L"Applications\\iexplore.exe\\shell\\open\\command",
                              L"Applications\\firefox.exe\\shell\\open\\command"};
    for (int i = 0; i < 4; ++i)
        candidates[i].reset(new RegistryValueOverride(HKEY_CLASSES_ROOT, keys[i], L""));
}

void RegistryValueOverride::Save()
{
    HKEY key;
    if (RegOpenKeyExW(root_, key_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD size = 0;
    if (RegQueryValueExW(key, name_.empty() ? nullptr : name_.c_str(), nullptr, &type_, nullptr, &size) ==
        ERROR_SUCCESS) {
        saved_.resize(size);
        RegQueryValueExW(key, name_.empty() ? nullptr : name_.c_str(), nullptr, &type_,
                         reinterpret_cast<BYTE*>(&saved_[0]), &size);
        saved_.resize(size);
        existed_ = true;
    }
    RegCloseKey(key);
}

void RegistryValueOverride::Set(DWORD type, const void* data, DWORD size)
{
    HKEY key;
    if (RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name_.empty() ? nullptr : name_.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

RegistryValueOverride::~RegistryValueOverride()
{
    if (existed_) {
        Set(type_, saved_.data(), static_cast<DWORD>(saved_.size()));
        return;
    }
    HKEY key;
    if (RegOpenKeyExW(root_, key_.c_str(), 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name_.empty() ? nullptr : name_.c_str());
        RegCloseKey(key);
    }
}

std::unique_ptr<RegistryValueOverride> WineDirect3DText(const std::wstring& name, const std::wstring& value)
{
    return std::unique_ptr<RegistryValueOverride>(
        new RegistryValueOverride(HKEY_CURRENT_USER, L"Software\\Wine\\Direct3D", name, value));
}

std::unique_ptr<RegistryValueOverride> WineDirect3DNumber(const std::wstring& name, DWORD value)
{
    return std::unique_ptr<RegistryValueOverride>(
        new RegistryValueOverride(HKEY_CURRENT_USER, L"Software\\Wine\\Direct3D", name, value));
}

std::unique_ptr<RegistryValueOverride> DisableWineDll(const std::wstring& dll)
{
    return std::unique_ptr<RegistryValueOverride>(
        new RegistryValueOverride(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", dll, L""));
}

std::unique_ptr<RegistryValueOverride> EmulateWindowsVersion(const std::wstring& version)
{
    return std::unique_ptr<RegistryValueOverride>(
        new RegistryValueOverride(HKEY_CURRENT_USER, L"Software\\Wine", L"Version", version));
}

std::string Narrow(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size);
    return out;
}

std::string ValueOf(const std::string& output, const std::string& key)
{
    std::string marker = key + "=";
    size_t at = 0;
    while ((at = output.find(marker, at)) != std::string::npos) {
        if (at == 0 || output[at - 1] == '\n') {
            size_t start = at + marker.size();
            size_t end = output.find_first_of("\r\n", start);
            return output.substr(start, end == std::string::npos ? std::string::npos : end - start);
        }
        at += marker.size();
    }
    return "<missing>";
}
