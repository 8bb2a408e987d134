// The About box and the placement of the plug-in's dialogs over the host's window.
#pragma once

#include "host_interface.h"

#include <windows.h>

// Runs the About box modally over the host's window. Its ending is of no interest to the host.
void showAboutBox(const AboutRecord& about);

INT_PTR CALLBACK AboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Moves a dialog over its parent (the desktop when it has none); see centredPosition.
void centreDialog(HWND window);
