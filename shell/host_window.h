// The host's window, which owns the plug-in's dialogs.
#pragma once

#include <windows.h>

// The window in the host's platform record; null (the desktop) when the host gives none.
HWND hostWindow(const void* platformData);
