// The options dialog: the user's choice of colour key and smooth range before every pass.
#pragma once

#include <windows.h>

// Runs "SIMPLEDIALOG" modally over the host's window and fills the current call's parameter
// record. True only when the dialog ends with OK; a dialog that cannot be shown counts as Cancel.
bool showOptionsDialog();

extern "C" __declspec(dllexport) INT_PTR CALLBACK
    SimpleEventProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
