// The main dialog's event handler.
#pragma once

#include <windows.h>

// Handles one message of the main dialog: docks the status bar on WM_SIZE, keeps the focused
// control across deactivation (WM_NCACTIVATE), and runs a fix on a click of the button.
// Always returns 0, so the dialog's default handling follows for every message.
int MainDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
