// Test driver for the program's dialogs under Wine, run once per step by the GUI tests in the
// program's Wine prefix. It finds the program's windows by their controls in any process (the
// tests run one program at a time), reads them and posts to them, and answers with one JSON
// object of text facts on stdout ("error": why it could not do its part; exit code 1).
// Usage: gui_driver COMMAND [ARG]
//   main | file-dialog | cancel | dismiss | choose PATH | post click|close|sysclose
//   hold PATH FLAG_FILE   holds PATH open, shared with nobody, from when it creates FLAG_FILE
//                         until that file is deleted (at most a minute)
#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "control_ids.h"
#include "disk.h"

namespace {

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

// The visible main dialog (it holds the fix button and the status bar), or null.
HWND FindMainDialog() {
  for (HWND dialog : Dialogs()) {
    if (GetDlgItem(dialog, IDC_FIXBUTTON) && GetDlgItem(dialog, IDC_STATUSBAR)) return dialog;
  }
  return nullptr;
}

// The visible open-file dialog (it holds a file name box), or null.
HWND FindFileDialog() {
  for (HWND dialog : Dialogs()) {
    if (GetDlgItem(dialog, kFileNameBoxId)) return dialog;
  }
  return nullptr;
}

// A visible message box (a dialog holding static 0xFFFF), or null. With owner given, only a box
// owned by that window counts.
HWND FindMessageBox(HWND owner = nullptr) {
  for (HWND dialog : Dialogs()) {
    if (!GetDlgItem(dialog, kMessageTextId) || GetDlgItem(dialog, IDC_FIXBUTTON)) continue;
    if (owner && GetWindow(dialog, GW_OWNER) != owner) continue;
    return dialog;
  }
  return nullptr;
}

// The text of a window of any process, read with WM_GETTEXT; "<no answer>" when it does not
// answer within two seconds.
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

// Numbers as one text, separated by spaces.
std::string Numbers(std::initializer_list<long> numbers) {
  std::string text;
  for (long number : numbers) text += (text.empty() ? "" : " ") + std::to_string(number);
  return text;
}

const char* YesNo(bool value) { return value ? "yes" : "no"; }

// Destroys a window of this process when it goes out of scope.
struct WindowGuard {
  HWND window;
  ~WindowGuard() {
    if (window) DestroyWindow(window);
  }
};

INT_PTR CALLBACK IgnoreAll(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The size in pixels ("W H") of width x height dialog units in a dialog with the main dialog's
// font, 8 point "MS Sans Serif". MapDialogRect works only on a dialog of this process, so this
// builds a hidden one from an in-memory template: DLGTEMPLATE, then menu, class and title as WORD
// arrays, then the point size and the face name in UTF-16, as DS_SETFONT lays them out.
std::string DialogUnitsInPixels(int width, int height) {
  std::vector<DWORD> storage(64, 0);  // DWORD-aligned, as a template must be
  DLGTEMPLATE* dialog_template = reinterpret_cast<DLGTEMPLATE*>(storage.data());
  dialog_template->style = WS_POPUP | WS_CAPTION | DS_SETFONT | DS_MODALFRAME;
  dialog_template->cx = static_cast<short>(width);
  dialog_template->cy = static_cast<short>(height);
  WORD* after = reinterpret_cast<WORD*>(dialog_template + 1);
  *after++ = 0;  // no menu
  *after++ = 0;  // the system dialog class
  *after++ = 0;  // empty title
  *after++ = 8;  // point size
  for (const char* face = "MS Sans Serif";; ++face) {
    *after++ = static_cast<WORD>(*face);
    if (!*face) break;
  }
  WindowGuard dialog{CreateDialogIndirectParamA(GetModuleHandleA(nullptr), dialog_template, nullptr,
                                                IgnoreAll, 0)};
  RECT pixels{0, 0, width, height};
  if (!dialog.window || !MapDialogRect(dialog.window, &pixels)) return "<conversion failed>";
  return Numbers({pixels.right, pixels.bottom});
}

// A screen point ("X Y") on window's caption that the window reports as its close button.
std::string CloseBox(HWND window) {
  RECT frame;
  GetWindowRect(window, &frame);
  for (int y = frame.top + 2; y < frame.top + 40; y += 2) {
    for (int x = frame.right - 2; x > frame.right - 80; x -= 2) {
      DWORD_PTR hit = HTNOWHERE;
      SendMessageTimeoutA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 2000, &hit);
      if (hit == HTCLOSE) return Numbers({x, y});
    }
  }
  return "<none>";
}

// A window's rectangle ("LEFT TOP RIGHT BOTTOM") on the screen, or in relative_to's client area.
std::string Rectangle(HWND window, HWND relative_to = nullptr) {
  RECT frame;
  GetWindowRect(window, &frame);
  MapWindowPoints(nullptr, relative_to, reinterpret_cast<POINT*>(&frame), 2);
  return Numbers({frame.left, frame.top, frame.right, frame.bottom});
}

// Title, styles, sizes, status bar, screen points of the main dialog (waiting up to a minute for
// it: a start in a VM without KVM once took more than 15 s), whether it is active and which of
// its controls holds the keyboard focus ("0": none of them).
Facts MainDialogFacts() {
  HWND main_dialog = nullptr;
  if (!WaitFor(60000, [&] { return (main_dialog = FindMainDialog()) != nullptr; })) {
    return {{"error", "no main dialog"}};
  }
  const HWND status_bar = GetDlgItem(main_dialog, IDC_STATUSBAR);
  const HWND button = GetDlgItem(main_dialog, IDC_FIXBUTTON);
  const LONG style = GetWindowLongA(main_dialog, GWL_STYLE);
  RECT client, button_frame;
  GetClientRect(main_dialog, &client);
  GetWindowRect(button, &button_frame);
  // Activation follows a focus change from X a little later: give it time to arrive.
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  const DWORD thread = GetWindowThreadProcessId(main_dialog, nullptr);
  WaitFor(3000, [&] { return GetGUIThreadInfo(thread, &info) && info.hwndActive == main_dialog; });
  const bool focus_inside = info.hwndFocus && GetParent(info.hwndFocus) == main_dialog;
  // Wine keeps the X window id as a window property that any process can read.
  char xid[32];
  std::snprintf(xid, sizeof xid, "0x%llx",
                static_cast<unsigned long long>(
                    reinterpret_cast<ULONG_PTR>(GetPropA(main_dialog, "__wine_x11_whole_window"))));
  return {{"title", TextOf(main_dialog)},
          {"caption", YesNo((style & WS_CAPTION) == WS_CAPTION)},
          {"system-menu", YesNo(style & WS_SYSMENU)},
          {"sizing-border", YesNo(style & WS_THICKFRAME)},
          {"minimize-box", YesNo(style & WS_MINIMIZEBOX)},
          {"maximize-box", YesNo(style & WS_MAXIMIZEBOX)},
          {"client", Numbers({client.right, client.bottom})},
          {"client-379x56-dlu", DialogUnitsInPixels(379, 56)},
          {"button", TextOf(button)},
          {"status", StatusText(main_dialog)},
          {"status-visible", YesNo(IsWindowVisible(status_bar))},
          {"status-rect", Rectangle(status_bar, main_dialog)},
          {"window", Rectangle(main_dialog)},
          {"button-centre", Numbers({(button_frame.left + button_frame.right) / 2,
                                     (button_frame.top + button_frame.bottom) / 2})},
          {"close-box", CloseBox(main_dialog)},
          {"active", info.hwndActive == main_dialog ? "main" : "other"},
          {"focus", std::to_string(focus_inside ? GetDlgCtrlID(info.hwndFocus) : 0)},
          {"xid", xid}};
}

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

// The run's outcome, once the main dialog's status text differs from before or a message box is
// up: "msgbox-caption", "msgbox-text", "msgbox-owner" (when a box is up) and "status"; or "main":
// "gone". Once the open-file dialog has closed the run works without pumping messages until it
// shows a message box or returns to the main loop: a WM_NULL sent to the main dialog returns then
// (or after a minute).
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

// Caption, file name box, file types and owner of the open-file dialog, once it is up.
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

// Types path into the open-file dialog's file name box and confirms it, or cancels the dialog;
// then the run's outcome (see RunOutcome).
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

// Dismisses the message box with OK; then the run's outcome.
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

// Posts to the main dialog, never sends: a click runs the modal open-file dialog inside its
// handling.
Facts PostToMainDialog(const std::string& what) {
  HWND main_dialog = FindMainDialog();
  if (!main_dialog) return {{"error", "no main dialog"}};
  if (what == "click") {
    PostMessageA(main_dialog, WM_COMMAND, MAKEWPARAM(IDC_FIXBUTTON, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(main_dialog, IDC_FIXBUTTON)));
  } else if (what == "close") {
    PostMessageA(main_dialog, WM_CLOSE, 0, 0);
  } else if (what == "sysclose") {
    PostMessageA(main_dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else {
    return {{"error", "unknown message " + what}};
  }
  return {};
}

// Holds path open, shared with nobody, from when it creates flag_file until that file is deleted
// (at most a minute).
Facts HoldFile(const std::string& path, const std::string& flag_file) {
  ExclusiveHold hold;
  if (!HoldExclusive(path, hold)) {
    const DWORD error = GetLastError();
    return {{"error", "cannot open " + path + " (" + std::to_string(error) + ")"}};
  }
  FILE* flag = std::fopen(flag_file.c_str(), "wb");
  if (!flag || std::fclose(flag) != 0) return {{"error", "cannot write " + flag_file}};
  WaitFor(60000, [&] { return GetFileAttributesA(flag_file.c_str()) == INVALID_FILE_ATTRIBUTES; });
  return {};
}

Facts Run(const std::vector<std::string>& args) {
  const std::string command = args.empty() ? "" : args[0];
  if (args.size() == 1 && command == "main") return MainDialogFacts();
  if (args.size() == 1 && command == "file-dialog") return FileDialogFacts();
  if (args.size() == 1 && command == "cancel") return CancelFileDialog();
  if (args.size() == 1 && command == "dismiss") return DismissMessageBox();
  if (args.size() == 2 && command == "choose") return ChooseFile(args[1]);
  if (args.size() == 2 && command == "post") return PostToMainDialog(args[1]);
  if (args.size() == 3 && command == "hold") return HoldFile(args[1], args[2]);
  return {{"error", "unknown command or wrong arguments: " + command}};
}

// text as a JSON string: ASCII, with quotes, backslashes and other bytes escaped.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, c == '"' || c == '\\' ? "\\%c" : "\\u%04x", c);
    quoted += c >= 0x20 && c < 0x7F && c != '"' && c != '\\' ? std::string(1, c) : escaped;
  }
  return quoted + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  const Facts facts = Run(std::vector<std::string>(argv + 1, argv + argc));
  std::string json = "{";
  for (const auto& [name, value] : facts) {
    json += (json.size() > 1 ? ", " : "") + Quoted(name) + ": " + Quoted(value);
  }
  std::printf("%s}\n", json.c_str());
  return facts.count("error") ? 1 : 0;
}
