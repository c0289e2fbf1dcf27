// Finding and reading the windows of another process, for the test driver. Every search is
// limited to one process id, so that a leftover instance from an earlier test is never driven.
#pragma once

#include <windows.h>

#include <string>

#include "control_ids.h"

// Calls until_true every 10 ms until it gives true or ms milliseconds have passed; returns
// whether it gave true.
template <typename Condition>
bool WaitFor(DWORD ms, Condition until_true) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (until_true()) return true;
    if (GetTickCount() - start >= ms) return false;
    Sleep(10);
  }
}

// Control ids of the platform's dialogs that the tests use; the program's own come from
// control_ids.h.
constexpr int kFileNameBoxId = 0x47C;   // the open-file dialog's file name box (cmb13)
constexpr int kFileTypeBoxId = 0x470;   // the open-file dialog's file type list (cmb1)
constexpr int kReadOnlyBoxId = 0x410;   // the open-file dialog's read-only check box (chx1)
constexpr int kMessageTextId = 0xFFFF;  // the static that holds a message box's text

// The visible main dialog of process pid (it holds the fix button), or null.
HWND FindMainDialog(DWORD pid);

// The visible open-file dialog of process pid (it holds a file name box), or null.
HWND FindFileDialog(DWORD pid);

// A visible message box of process pid (a dialog holding static 0xFFFF), or null. With owner
// given, only a box owned by that window counts.
HWND FindMessageBox(DWORD pid, HWND owner = nullptr);

// The text of a window of any process, read with WM_GETTEXT; "<no answer>" when it does not
// answer within two seconds.
std::string TextOf(HWND window);

// The status bar text of the main dialog.
std::string StatusText(HWND main_dialog);

// Returns once the thread of window has handled a sent message: whatever it was doing when
// this was called (a repair of a large track, too) has reached its next message loop. Gives up
// after a minute.
void Settle(HWND window);
