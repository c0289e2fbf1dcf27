#include <vector>

#include "driver.h"

namespace {

BOOL CALLBACK CollectDialog(HWND window, LPARAM lparam) {
  char class_name[64] = "";
  GetClassNameA(window, class_name, sizeof class_name);
  if (IsWindowVisible(window) && lstrcmpA(class_name, "#32770") == 0) {
    reinterpret_cast<std::vector<HWND>*>(lparam)->push_back(window);
  }
  return TRUE;
}

// The visible top-level dialogs.
std::vector<HWND> Dialogs() {
  std::vector<HWND> found;
  EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

HWND FindMainDialog() {
  for (HWND dialog : Dialogs()) {
    if (GetDlgItem(dialog, IDC_FIXBUTTON) && GetDlgItem(dialog, IDC_STATUSBAR)) return dialog;
  }
  return nullptr;
}

HWND FindFileDialog() {
  for (HWND dialog : Dialogs()) {
    if (GetDlgItem(dialog, kFileNameBoxId)) return dialog;
  }
  return nullptr;
}

HWND FindMessageBox(HWND owner) {
  for (HWND dialog : Dialogs()) {
    if (!GetDlgItem(dialog, kMessageTextId) || GetDlgItem(dialog, IDC_FIXBUTTON)) continue;
    if (owner && GetWindow(dialog, GW_OWNER) != owner) continue;
    return dialog;
  }
  return nullptr;
}

std::string TextOf(HWND window) {
  char text[4096] = "";
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, 2000, &length)) {
    return "<no answer>";
  }
  return std::string(text, length < sizeof text ? length : sizeof text - 1);
}

std::string StatusText(HWND main_dialog) { return TextOf(GetDlgItem(main_dialog, IDC_STATUSBAR)); }
