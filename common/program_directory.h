// Directory of a host program from its module path.
#pragma once

#include "wide_string.h"

// Removes the longest tail of `path` made only of characters that occur in
// "QuilletVidrake.exe" (case-sensitive). For the driver's own path this leaves
// its directory with the trailing separator.
WideString TrimProgramFileName(const wchar_t* path);

// TrimProgramFileName of this process's executable path (260 characters).
WideString HostProgramDirectory();
