#include "host_path.h"

WideString g_hostDirectory;
