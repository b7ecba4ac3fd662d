// The adapter of this machine, identified the way the check identifies it.
#pragma once

#include <string>

#include "explain.h"

// Loads the shipped graphics check library (VidrakeDx9.dll beside this
// program or in ..\dist\) and calls its CheckGfx, as the driver does: when the
// Direct3D 9 build reports DirectX missing, the Direct3D 8 build is asked.
// The library's own adapter probe answers, so no probe code is repeated here.
// False, with a reason in `error`, when no library identified an adapter.
bool ProbeThisMachine(AdapterIdentity& adapter, std::wstring& error);
