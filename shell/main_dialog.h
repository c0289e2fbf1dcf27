// The main dialog: built from an in-memory template, run modally in a loop of its own.
#pragma once

#include <windows.h>

// Builds the main dialog with its icons, status bar and button, shows it and runs it until its
// window is destroyed. Returns the end result, 0.
int ShowMainDialog(HWND parent);
