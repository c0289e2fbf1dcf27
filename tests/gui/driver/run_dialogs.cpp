// The dialogs of a fix run: the open-file dialog, then the message box or the status bar.
#include "driver.h"

namespace {

// The open-file dialog once it is up with its controls (it can be found before they exist), or
// null.
HWND AwaitFileDialog() {
  HWND dialog = nullptr;
  const bool up = WaitFor(5000, [&] {
    dialog = FindFileDialog();
    return dialog && GetDlgItem(dialog, IDOK) && GetDlgItem(dialog, kFileTypeBoxId);
  });
  return up ? dialog : nullptr;
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
Facts RunOutcome(HWND main_dialog, const std::string& before) {
  if (!main_dialog) return {{"main", "gone"}};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(main_dialog, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
  HWND box = nullptr;
  std::string status;
  WaitFor(3000, [&] {
    if (!IsWindow(main_dialog)) return true;
    box = FindMessageBox();
    status = StatusText(main_dialog);
    return box || status != before;
  });
  if (!IsWindow(main_dialog)) return {{"main", "gone"}};
  if (!box) return {{"status", status}};
  return {{"msgbox-caption", TextOf(box)},
          {"msgbox-text", TextOf(GetDlgItem(box, kMessageTextId))},
          {"msgbox-owner", GetWindow(box, GW_OWNER) ? "some" : "none"},
          {"status", status}};
}

// Closes the open-file dialog with button id, then the run's outcome. A name the dialog itself
// refuses brings a box owned by the dialog: it is reported, dismissed and the dialog cancelled,
// so that a wrong path fails the test instead of hanging it.
Facts CloseFileDialog(HWND dialog, int id) {
  HWND main_dialog = FindMainDialog();
  const std::string before = main_dialog ? StatusText(main_dialog) : "";
  PostCommand(dialog, id);
  HWND refusal = nullptr;
  WaitFor(5000, [&] {
    refusal = FindMessageBox(dialog);
    return !IsWindow(dialog) || refusal;
  });
  if (refusal) {
    const std::string text = TextOf(GetDlgItem(refusal, kMessageTextId));
    PostCommand(refusal, IDOK);
    WaitFor(5000, [&] { return !IsWindow(refusal); });
    PostCommand(dialog, IDCANCEL);
    WaitFor(5000, [&] { return !IsWindow(dialog); });
    return {{"error", "the open-file dialog refused the name: " + text}};
  }
  if (IsWindow(dialog)) return {{"error", "the open-file dialog stayed open"}};
  return RunOutcome(main_dialog, before);
}

const Facts kNoFileDialog = {{"error", "no open-file dialog"}};

}  // namespace

Facts FileDialogFacts() {
  HWND dialog = AwaitFileDialog();
  if (!dialog) return kNoFileDialog;
  const HWND types = GetDlgItem(dialog, kFileTypeBoxId);
  const LRESULT count = Ask(types, CB_GETCOUNT);
  HWND main_dialog = FindMainDialog();
  Facts facts = {
      {"caption", TextOf(dialog)},
      {"file-name", TextOf(GetDlgItem(dialog, kFileNameBoxId))},
      {"types", std::to_string(count)},
      {"selected-type", std::to_string(Ask(types, CB_GETCURSEL))},
      {"read-only-box", IsWindowVisible(GetDlgItem(dialog, kReadOnlyBoxId)) ? "yes" : "no"},
      {"owner", GetWindow(dialog, GW_OWNER) ? "some" : "none"},
      {"main-enabled", main_dialog && IsWindowEnabled(main_dialog) ? "yes" : "no"}};
  for (int i = 0; i < count; ++i) facts["type" + std::to_string(i)] = ComboItem(types, i);
  return facts;
}

Facts ChooseFile(const std::string& path) {
  HWND dialog = AwaitFileDialog();
  if (!dialog) return kNoFileDialog;
  const HWND name_box = GetDlgItem(dialog, kFileNameBoxId);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(name_box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()),
                      SMTO_ABORTIFHUNG, 2000, &ignored);
  const std::string typed = TextOf(name_box);
  if (typed != path) return {{"error", "the file name box reads " + typed}};
  return CloseFileDialog(dialog, IDOK);
}

Facts CancelFileDialog() {
  HWND dialog = AwaitFileDialog();
  return dialog ? CloseFileDialog(dialog, IDCANCEL) : kNoFileDialog;
}

Facts DismissMessageBox() {
  HWND box = nullptr;
  if (!WaitFor(5000, [&] { return (box = FindMessageBox()) != nullptr; })) {
    return {{"error", "no message box"}};
  }
  HWND main_dialog = FindMainDialog();
  const std::string before = main_dialog ? StatusText(main_dialog) : "";
  PostCommand(box, IDOK);
  if (!WaitFor(5000, [&] { return !IsWindow(box); })) {
    return {{"error", "the message box stayed open"}};
  }
  return RunOutcome(main_dialog, before);
}
