#include "host_directory.h"

WideString g_hostDirectory;
