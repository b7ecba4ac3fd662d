#include <initguid.h>

#include "dxdiag_container.h"

HRESULT OpenDxDiagContainer(DWORD headerVersion, const wchar_t* const* path, int depth, DxDiagChain& chain)
{
    chain.leaf = nullptr;
    if (depth < 0 || depth > 2)
        return E_INVALIDARG;
    HRESULT hr = CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                                  reinterpret_cast<void**>(chain.provider.GetAddressOf()));
    if (FAILED(hr))
        return hr;
    DXDIAG_INIT_PARAMS params = {};
    params.dwSize = sizeof(params);
    params.dwDxDiagHeaderVersion = headerVersion;
    params.bAllowWHQLChecks = FALSE;
    params.pReserved = nullptr;
    hr = chain.provider->Initialize(&params);
    if (FAILED(hr))
        return hr;
    hr = chain.provider->GetRootContainer(chain.root.GetAddressOf());
    if (FAILED(hr))
        return hr;
    IDxDiagContainer* current = chain.root.Get();
    for (int i = 0; i < depth; ++i) {
        hr = current->GetChildContainer(path[i], chain.children[i].GetAddressOf());
        if (FAILED(hr))
            return hr;
        current = chain.children[i].Get();
    }
    chain.leaf = current;
    return S_OK;
}
