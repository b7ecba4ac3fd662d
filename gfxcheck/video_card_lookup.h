// The library's database lookup: VideoCardDB.xml in the host program's
// directory, judged for the build this library is.
#pragma once

#include <windows.h>

#include "wide_string.h"

// Reads "file://" + `hostDirectory` + "VideoCardDB.xml" (the directory keeps
// its trailing separator, nothing is put between) and judges the adapter and
// its driver against it.
//
// Returns the pixel shader level of the first accepted exact match, the
// rejection result (Direct3D 9 build: -2; Direct3D 8 build: -2 minus the
// fallback level) after appending the accepted drivers of the installed
// driver's family to `alternates`, or else the fallback level (-1: none).
// -1 as well when the XML document object cannot be created.
int LookUpVideoCard(const WideString& hostDirectory, DWORD vendorId, DWORD deviceId, WideString description,
                    WideString driverVersionText, WideString& alternates);
