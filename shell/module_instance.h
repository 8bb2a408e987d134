// The module's instance handle, which the dialogs and the string load need to find resources.
#pragma once

#include <windows.h>

HINSTANCE moduleInstance();
