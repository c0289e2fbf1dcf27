// The GUI test driver: a Win32 console program in the program's Wine prefix that finds the
// program's windows, reads them and posts to them. Each command answers with one JSON object of
// string facts on stdout ("error" says why it could not do its part) and exits 0, or 1 on error.
// Windows are found by their controls in any process: the harness runs one program at a time.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "control_ids.h"

using Facts = std::map<std::string, std::string>;

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

// The visible main dialog (it holds the fix button and the status bar), or null.
HWND FindMainDialog();

// The visible open-file dialog (it holds a file name box), or null.
HWND FindFileDialog();

// A visible message box (a dialog holding static 0xFFFF), or null. With owner given, only a box
// owned by that window counts.
HWND FindMessageBox(HWND owner = nullptr);

// The text of a window of any process, read with WM_GETTEXT; "<no answer>" when it does not
// answer within two seconds.
std::string TextOf(HWND window);

// The status bar text of the main dialog.
std::string StatusText(HWND main_dialog);

// The commands: each returns the facts it saw, or "error" when it could not do its part.

// Title, styles, sizes, status bar, screen points of the main dialog (waiting up to a minute for
// it: a start in a VM without KVM once took more than 15 s), whether it is active and which of its
// controls holds the keyboard focus ("0": none of them).
Facts MainDialogFacts();

// Caption, file name box, file types, owner of the open-file dialog, once it is up.
Facts FileDialogFacts();

// Types path into the open-file dialog's file name box and confirms it, or cancels the dialog;
// then the run's outcome: "msgbox-caption", "msgbox-text", "msgbox-owner" (when a box is up) and
// "status", or "main": "gone".
Facts ChooseFile(const std::string& path);
Facts CancelFileDialog();

// Dismisses the message box with OK; then the run's outcome.
Facts DismissMessageBox();
