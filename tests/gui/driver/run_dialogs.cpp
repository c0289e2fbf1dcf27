// The dialogs of a fix run: the open-file dialog, then the message box or the status bar.
#include "driver.h"

namespace {

// Waits for the open-file dialog; null, with the error said, when none comes.
HWND AwaitFileDialog(Facts& facts) {
  HWND dialog = nullptr;
  // Visible is not enough: the dialog can be found before its controls exist.
  if (!WaitFor(5000, [&] {
        dialog = FindFileDialog();
        return dialog && GetDlgItem(dialog, IDOK) && GetDlgItem(dialog, kFileTypeBoxId);
      })) {
    facts["error"] = "no open-file dialog";
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

// Waits until the main dialog's status text differs from before or a message box is up, and
// says which. After the main dialog has gone the run finishes without pumping messages until it
// shows a message box or returns to the main loop: a sent WM_NULL returns at that point.
int RunOutcome(HWND main_dialog, const std::string& before, Facts& facts) {
  DWORD_PTR ignored = 0;
  if (main_dialog) {
    SendMessageTimeoutA(main_dialog, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
  }
  HWND box = nullptr;
  std::string status;
  WaitFor(3000, [&] {
    if (!IsWindow(main_dialog)) return true;
    box = FindMessageBox();
    status = StatusText(main_dialog);
    return box || status != before;
  });
  if (!IsWindow(main_dialog)) {
    facts["main"] = "gone";
    return 0;
  }
  if (box) {
    facts["msgbox-caption"] = TextOf(box);
    facts["msgbox-text"] = TextOf(GetDlgItem(box, kMessageTextId));
    facts["msgbox-owner"] = GetWindow(box, GW_OWNER) ? "some" : "none";
  }
  facts["status"] = status;
  return 0;
}

// Closes the open-file dialog with button id, then the run's outcome. A name the dialog itself
// refuses brings a box owned by the dialog: it is reported, dismissed and the dialog cancelled,
// so that a wrong path fails the test instead of hanging it.
int CloseFileDialog(HWND dialog, int id, Facts& facts) {
  HWND main_dialog = FindMainDialog();
  const std::string before = main_dialog ? StatusText(main_dialog) : "";
  PostCommand(dialog, id);
  HWND refusal = nullptr;
  WaitFor(5000, [&] {
    refusal = FindMessageBox(dialog);
    return !IsWindow(dialog) || refusal;
  });
  if (refusal) {
    facts["error"] =
        "the open-file dialog refused the name: " + TextOf(GetDlgItem(refusal, kMessageTextId));
    PostCommand(refusal, IDOK);
    WaitFor(5000, [&] { return !IsWindow(refusal); });
    PostCommand(dialog, IDCANCEL);
    WaitFor(5000, [&] { return !IsWindow(dialog); });
    return 1;
  }
  if (IsWindow(dialog)) {
    facts["error"] = "the open-file dialog stayed open";
    return 1;
  }
  return RunOutcome(main_dialog, before, facts);
}

}  // namespace

int FileDialogFacts(Facts& facts) {
  HWND dialog = AwaitFileDialog(facts);
  if (!dialog) return 1;
  facts["caption"] = TextOf(dialog);
  facts["file-name"] = TextOf(GetDlgItem(dialog, kFileNameBoxId));
  const HWND types = GetDlgItem(dialog, kFileTypeBoxId);
  const LRESULT count = Ask(types, CB_GETCOUNT);
  facts["types"] = std::to_string(count);
  for (int i = 0; i < count; ++i) facts["type" + std::to_string(i)] = ComboItem(types, i);
  facts["selected-type"] = std::to_string(Ask(types, CB_GETCURSEL));
  facts["read-only-box"] = IsWindowVisible(GetDlgItem(dialog, kReadOnlyBoxId)) ? "yes" : "no";
  facts["owner"] = GetWindow(dialog, GW_OWNER) ? "some" : "none";
  HWND main_dialog = FindMainDialog();
  facts["main-enabled"] = main_dialog && IsWindowEnabled(main_dialog) ? "yes" : "no";
  return 0;
}

int ChooseFile(const std::string& path, Facts& facts) {
  HWND dialog = AwaitFileDialog(facts);
  if (!dialog) return 1;
  const HWND name_box = GetDlgItem(dialog, kFileNameBoxId);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(name_box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()),
                      SMTO_ABORTIFHUNG, 2000, &ignored);
  if (TextOf(name_box) != path) {
    facts["error"] = "the file name box reads " + TextOf(name_box);
    return 1;
  }
  return CloseFileDialog(dialog, IDOK, facts);
}

int CancelFileDialog(Facts& facts) {
  HWND dialog = AwaitFileDialog(facts);
  return dialog ? CloseFileDialog(dialog, IDCANCEL, facts) : 1;
}

int DismissMessageBox(Facts& facts) {
  HWND box = nullptr;
  if (!WaitFor(5000, [&] { return (box = FindMessageBox()) != nullptr; })) {
    facts["error"] = "no message box";
    return 1;
  }
  HWND main_dialog = FindMainDialog();
  const std::string before = main_dialog ? StatusText(main_dialog) : "";
  PostCommand(box, IDOK);
  if (!WaitFor(5000, [&] { return !IsWindow(box); })) {
    facts["error"] = "the message box stayed open";
    return 1;
  }
  return RunOutcome(main_dialog, before, facts);
}
