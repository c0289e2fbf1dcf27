#include "windows_found.h"

#include <vector>

namespace {

struct Search {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM lparam) {
  Search* search = reinterpret_cast<Search*>(lparam);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char class_name[64] = "";
  GetClassNameA(window, class_name, sizeof class_name);
  if (pid == search->pid && IsWindowVisible(window) && lstrcmpA(class_name, "#32770") == 0) {
    search->found.push_back(window);
  }
  return TRUE;
}

// The visible top-level dialogs of process pid.
std::vector<HWND> DialogsOf(DWORD pid) {
  Search search{pid, {}};
  EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

HWND FindMainDialog(DWORD pid) {
  for (HWND dialog : DialogsOf(pid)) {
    if (GetDlgItem(dialog, IDC_FIXBUTTON) && GetDlgItem(dialog, IDC_STATUSBAR)) return dialog;
  }
  return nullptr;
}

HWND FindFileDialog(DWORD pid) {
  for (HWND dialog : DialogsOf(pid)) {
    if (GetDlgItem(dialog, kFileNameBoxId)) return dialog;
  }
  return nullptr;
}

HWND FindMessageBox(DWORD pid, HWND owner) {
  for (HWND dialog : DialogsOf(pid)) {
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

void Settle(HWND window) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
}
