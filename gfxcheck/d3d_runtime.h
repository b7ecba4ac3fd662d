// Loading the Direct3D runtime of this build from the system directory, and
// the hidden probe window that a device needs.
#pragma once

#include "direct3d.h"

struct D3DRuntime {
    HMODULE module;                // null while not loaded
    Direct3DCreateFunction create; // null while not resolved or missing
};

extern D3DRuntime g_d3dRuntime;

// Forgets the module handle without unloading anything.
void ResetD3DRuntime();
// True when the runtime is loaded; g_d3dRuntime.create may still be null.
bool LoadD3DRuntime();
// Unloads the runtime if it is loaded and clears the handle.
void FreeD3DRuntime();

// The hidden popup window of class "VidrakeWindow"; null when it cannot be made.
HWND CreateProbeWindow();
// Destroys a window made by CreateProbeWindow once the device is released.
void DestroyProbeWindow(HWND window);

// `directory` followed by `fileName` into `path` of `capacity` characters
// (terminator included); text that does not fit is cut.
void ComposeSystemPath(const wchar_t* directory, const wchar_t* fileName, wchar_t* path, int capacity);
// Loads `fileName` (with its leading separator) from the system directory by
// full path; null when the directory is unknown or the file does not load.
HMODULE LoadSystemLibrary(const wchar_t* fileName);
