// The result page address and the browser that opens it.
#pragma once

#include <windows.h>

#include "system_probes.h"
#include "main_flow.h"
#include "wide_string.h"

// Fills `command` from the first of the four registry candidates that names
// an executable; false when none does.
bool FindBrowserCommand(WideString& command);
// Replaces `value` with the upper-cased default value of root\names[0]\...;
// empty when a key cannot be opened or the value cannot be read.
void ReadDefaultRegistryValue(HKEY root, const wchar_t* const* names, int count, WideString& value);
// Cuts an upper-cased registry command right after its first ".EXE" and closes
// a leading quote; false when it holds no ".EXE" or the path that remains is
// longer than any executable path can be.
bool CutBrowserCommand(WideString& command);
WideString BuildResultPageParameters(int mask, const TestRun& run, const WideString& directXSentence,
                                     int freeDiskMegabytes, int physicalMemoryMegabytes, const OsVersion& os);
void LaunchBrowser(const WideString& command, const WideString& parameters);
