// Opening a container of the DirectX diagnostic provider, with every
// interface on the way held until the chain is destroyed (leaf first).
#pragma once

#include <dxdiag.h>

#include "holders.h"

struct DxDiagChain {
    ComPtr<IDxDiagProvider> provider;
    ComPtr<IDxDiagContainer> root;
    ComPtr<IDxDiagContainer> children[2];
    IDxDiagContainer* leaf;
};

// Creates and initialises the provider with `headerVersion`, then walks from
// the root through `depth` (at most 2) child container names. COM must be
// initialised on the thread.
HRESULT OpenDxDiagContainer(DWORD headerVersion, const wchar_t* const* path, int depth, DxDiagChain& chain);
