// The test driver's sub-commands. Each prints what it saw as NAME=VALUE lines on stdout and
// returns the process exit code: 0 when it could do its part, 1 when not (with a line saying why).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Starts exe with args in folder cwd, writes "PID STATE" to pid_file once its main dialog is
// up ("ready") or it has ended ("gone"), waits for it to end and returns its exit code.
int Launch(const std::string& pid_file, const std::string& cwd, const std::string& exe,
           const std::vector<std::string>& args);

// Holds path open, shared with nobody, from when it creates flag_file until that file is
// deleted (at most a minute).
int HoldFile(const std::string& path, const std::string& flag_file);

// Ends process pid at once (for clean-up after a failed scenario).
int Kill(DWORD pid);

// Title, styles, sizes, status bar, screen points of the main dialog of pid, whether it is active
// and which of its controls holds the keyboard focus (0: none of them).
int PrintMainDialog(DWORD pid);

// Posts to the main dialog of pid: "click" (WM_COMMAND from the fix button), "close"
// (WM_CLOSE) or "sysclose" (WM_SYSCOMMAND SC_CLOSE).
int PostToMainDialog(DWORD pid, const std::string& what);

// Waits for pid's open-file dialog and prints its caption, file name box and file types.
int PrintFileDialog(DWORD pid);

// Waits for pid's open-file dialog, types path into its file name box and confirms it; or
// cancels it. Then prints the run's outcome (see PrintRunOutcome).
int ChooseFile(DWORD pid, const std::string& path);
int CancelFileDialog(DWORD pid);

// Dismisses pid's message box with OK and prints the run's outcome.
int DismissMessageBox(DWORD pid);

// Waits until the main dialog's status text differs from before or a message box is up, then
// prints "msgbox-caption=", "msgbox-text=" (when a box is up) and "status=".
int PrintRunOutcome(DWORD pid, HWND main_dialog, const std::string& before);
