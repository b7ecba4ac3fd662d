#pragma once

#include <windows.h>

// Handles this process holds, from the system's handle table (Wine's
// GetProcessHandleCount always answers 0); 0 when the table cannot be read.
DWORD OpenHandleCount();
// Handles held by every process of the system (this Wine session).
DWORD SystemHandleCount();
