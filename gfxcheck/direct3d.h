// The Direct3D flavour this library is built for: VIDRAKE_D3D9 or VIDRAKE_D3D8.
// d3d9.h and d3d8.h cannot share a translation unit, so each build includes one.
#pragma once

#include <windows.h>

#if defined(VIDRAKE_D3D9)
#include <d3d9.h>
typedef IDirect3D9 Direct3DObject;
typedef IDirect3DDevice9 Direct3DDevice;
typedef D3DADAPTER_IDENTIFIER9 AdapterIdentifier;
#define DIRECT3D_RUNTIME_FILE L"\\d3d9.dll"
#define DIRECT3D_CREATE_NAME "Direct3DCreate9"
const UINT kDirect3DSdkVersion = D3D_SDK_VERSION;  // 32
#elif defined(VIDRAKE_D3D8)
#include <d3d8.h>
typedef IDirect3D8 Direct3DObject;
typedef IDirect3DDevice8 Direct3DDevice;
typedef D3DADAPTER_IDENTIFIER8 AdapterIdentifier;
#define DIRECT3D_RUNTIME_FILE L"\\d3d8.dll"
#define DIRECT3D_CREATE_NAME "Direct3DCreate8"
const UINT kDirect3DSdkVersion = D3D_SDK_VERSION;  // 220
#else
#error "Build the graphics check with VIDRAKE_D3D9 or VIDRAKE_D3D8 defined"
#endif

typedef Direct3DObject*(WINAPI* Direct3DCreateFunction)(UINT sdkVersion);
