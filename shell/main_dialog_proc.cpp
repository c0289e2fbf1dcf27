#include "main_dialog_proc.h"

#include "control_ids.h"
#include "fix_run.h"

namespace {

// The control that had the keyboard focus when the main dialog last lost activation; none
// once it has been given the focus back.
HWND g_savedFocusWindow = nullptr;

// A status bar places itself at the bottom edge, full width, whenever it gets WM_SIZE.
void ForwardSizeToStatusBar(HWND hDlg, WPARAM wParam, LPARAM lParam) {
  SendMessageA(GetDlgItem(hDlg, IDC_STATUSBAR), WM_SIZE, wParam, lParam);
}

// The dialog procedure answers WM_ACTIVATE itself, so the dialog manager's own focus save and
// restore never runs: this takes its place.
void KeepFocusAcrossActivation(WPARAM becomingActive) {
  if (becomingActive == 0) {
    g_savedFocusWindow = GetFocus();
    return;
  }
  if (g_savedFocusWindow == nullptr) return;
  SetFocus(g_savedFocusWindow);
  g_savedFocusWindow = nullptr;
}

// A click (BN_CLICKED, 0) or code 1 from the button starts a run; nothing else does.
void OnCommand(HWND hDlg, WPARAM wParam) {
  if (LOWORD(wParam) != IDC_FIXBUTTON) return;
  if (HIWORD(wParam) == 0 || HIWORD(wParam) == 1) RunFixTrackMap(hDlg);
}

}  // namespace

int MainDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      ForwardSizeToStatusBar(hDlg, wParam, lParam);
      break;
    case WM_NCACTIVATE:
      KeepFocusAcrossActivation(wParam);
      break;
    case WM_COMMAND:
      OnCommand(hDlg, wParam);
      break;
    default:  // WM_INITDIALOG included: there is nothing to set up
      break;
  }
  return 0;
}
