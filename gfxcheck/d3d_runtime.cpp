#include "d3d_runtime.h"

D3DRuntime g_d3dRuntime = {nullptr, nullptr};

namespace {

const wchar_t kProbeWindowClass[] = L"VidrakeWindow";
const wchar_t kProbeWindowTitle[] = L"Dummy Vidrake Window";
const DWORD kProbeWindowStyle = WS_POPUP | WS_OVERLAPPEDWINDOW;  // never WS_VISIBLE

}  // namespace

void ComposeSystemPath(const wchar_t* directory, const wchar_t* fileName, wchar_t* path, int capacity)
{
    if (capacity <= 0)
        return;
    int length = 0;
    for (; *directory && length < capacity - 1; ++directory)
        path[length++] = *directory;
    for (; *fileName && length < capacity - 1; ++fileName)
        path[length++] = *fileName;
    path[length] = L'\0';
}

HMODULE LoadSystemLibrary(const wchar_t* fileName)
{
    wchar_t directory[MAX_PATH + 1];
    UINT length = GetSystemDirectoryW(directory, MAX_PATH + 1);
    // A result beyond the buffer is the size it would need; nothing was written.
    if (length == 0 || length > MAX_PATH)
        return nullptr;
    wchar_t path[MAX_PATH];
    ComposeSystemPath(directory, fileName, path, MAX_PATH);
    return LoadLibraryW(path);
}

void ResetD3DRuntime()
{
    g_d3dRuntime.module = nullptr;
    g_d3dRuntime.create = nullptr;
}

bool LoadD3DRuntime()
{
    if (g_d3dRuntime.module)
        return true;
    HMODULE module = LoadSystemLibrary(DIRECT3D_RUNTIME_FILE);
    if (!module)
        return false;
    g_d3dRuntime.module = module;
    g_d3dRuntime.create = reinterpret_cast<Direct3DCreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, DIRECT3D_CREATE_NAME)));
    return true;
}

void FreeD3DRuntime()
{
    if (g_d3dRuntime.module)
        FreeLibrary(g_d3dRuntime.module);
    g_d3dRuntime.module = nullptr;
    g_d3dRuntime.create = nullptr;
}

HWND CreateProbeWindow()
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_INACTIVEBORDER + 1);
    windowClass.lpszClassName = kProbeWindowClass;
    // Fails when an earlier check in this process registered the class; that
    // class has the same procedure and serves as well.
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, kProbeWindowClass, kProbeWindowTitle, kProbeWindowStyle, 50, 50, 200, 100,
                           nullptr, nullptr, nullptr, nullptr);
}

void DestroyProbeWindow(HWND window)
{
    if (window)
        DestroyWindow(window);
}
