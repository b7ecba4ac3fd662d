#pragma once

#include "wide_string.h"

// Directory of the program hosting the library, with its trailing separator
// for the driver; replaced at every CheckGfx call. The database is read there.
extern WideString g_hostDirectory;
