#pragma once

#include <windows.h>

// Symbolic name of a Direct3D result code of this build, or "Unknown error".
// Static text, never null.
const char* D3DResultName(HRESULT code);
