#include <cstdio>

#include "commands.h"
#include "windows_found.h"

namespace {

// Waits for the open-file dialog of pid; null, with a line saying so, when none comes.
HWND AwaitFileDialog(DWORD pid) {
  HWND dialog = nullptr;
  // Visible is not enough: the dialog can be found before its controls exist.
  if (!WaitFor(5000, [&] {
        dialog = FindFileDialog(pid);
        return dialog && GetDlgItem(dialog, IDOK) && GetDlgItem(dialog, kFileTypeBoxId);
      })) {
    std::printf("error=no open-file dialog\n");
    return nullptr;
  }
  return dialog;
}

// A combo box item read from another process. CB_GETLBTEXT is not converted to ANSI across
// processes under Wine, so this asks for UTF-16; the texts compared are plain ASCII.
std::string ComboItem(HWND combo, int index) {
  wchar_t wide[512] = L"";
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(wide),
                           SMTO_ABORTIFHUNG, 2000, &length) ||
      length == static_cast<DWORD_PTR>(CB_ERR) || length >= 512) {
    return "<none>";
  }
  std::string text;
  for (DWORD_PTR i = 0; i < length; ++i) text += wide[i] < 0x80 ? static_cast<char>(wide[i]) : '?';
  return text;
}

LRESULT Ask(HWND window, UINT message) {
  DWORD_PTR answer = 0;
  SendMessageTimeoutA(window, message, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer);
  return static_cast<LRESULT>(answer);
}

void PostCommand(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Closes the open-file dialog with button id and prints the run's outcome. A name the dialog
// itself refuses brings a box owned by the dialog: it is reported, dismissed and the dialog
// cancelled, so that a wrong path fails the test instead of hanging it.
int CloseFileDialog(DWORD pid, HWND dialog, int id) {
  HWND main_dialog = FindMainDialog(pid);
  const std::string before = main_dialog ? StatusText(main_dialog) : "";
  PostCommand(dialog, id);
  HWND refusal = nullptr;
  WaitFor(5000, [&] {
    refusal = FindMessageBox(pid, dialog);
    return !IsWindow(dialog) || refusal;
  });
  if (refusal) {
    std::printf("error=the open-file dialog refused the name: %s\n",
                TextOf(GetDlgItem(refusal, kMessageTextId)).c_str());
    PostCommand(refusal, IDOK);
    WaitFor(5000, [&] { return !IsWindow(refusal); });
    PostCommand(dialog, IDCANCEL);
    WaitFor(5000, [&] { return !IsWindow(dialog); });
    return 1;
  }
  if (IsWindow(dialog)) {
    std::printf("error=the open-file dialog stayed open\n");
    return 1;
  }
  if (!main_dialog) {
    std::printf("main=gone\n");
    return 0;
  }
  return PrintRunOutcome(pid, main_dialog, before);
}

}  // namespace

int PrintFileDialog(DWORD pid) {
  HWND dialog = AwaitFileDialog(pid);
  if (!dialog) return 1;
  std::printf("caption=%s\n", TextOf(dialog).c_str());
  std::printf("file-name=%s\n", TextOf(GetDlgItem(dialog, kFileNameBoxId)).c_str());
  const HWND types = GetDlgItem(dialog, kFileTypeBoxId);
  const LRESULT count = Ask(types, CB_GETCOUNT);
  std::printf("types=%ld\n", static_cast<long>(count));
  for (int i = 0; i < count; ++i) std::printf("type%d=%s\n", i, ComboItem(types, i).c_str());
  std::printf("selected-type=%ld\n", static_cast<long>(Ask(types, CB_GETCURSEL)));
  std::printf("read-only-box=%s\n",
              IsWindowVisible(GetDlgItem(dialog, kReadOnlyBoxId)) ? "yes" : "no");
  std::printf("owner=%s\n", GetWindow(dialog, GW_OWNER) ? "some" : "none");
  HWND main_dialog = FindMainDialog(pid);
  std::printf("main-enabled=%s\n", main_dialog && IsWindowEnabled(main_dialog) ? "yes" : "no");
  return 0;
}

int ChooseFile(DWORD pid, const std::string& path) {
  HWND dialog = AwaitFileDialog(pid);
  if (!dialog) return 1;
  const HWND name_box = GetDlgItem(dialog, kFileNameBoxId);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(name_box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()),
                      SMTO_ABORTIFHUNG, 2000, &ignored);
  if (TextOf(name_box) != path) {
    std::printf("error=the file name box reads %s\n", TextOf(name_box).c_str());
    return 1;
  }
  return CloseFileDialog(pid, dialog, IDOK);
}

int CancelFileDialog(DWORD pid) {
  HWND dialog = AwaitFileDialog(pid);
  if (!dialog) return 1;
  return CloseFileDialog(pid, dialog, IDCANCEL);
}
