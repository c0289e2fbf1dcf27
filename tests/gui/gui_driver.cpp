// Test driver for the program's dialogs under Wine, run once per step by the GUI tests in the
// program's Wine prefix. It finds the program's windows by their controls in any process (the
// tests run one program at a time), reads them and posts to them, and answers with one JSON
// object of text facts on stdout ("error": why it could not do its part; exit code 1).
// Usage: gui_driver COMMAND [ARG]
//   main | file-dialog | cancel | dismiss | choose PATH | post click|close|sysclose
//   hold PATH FLAG_FILE   holds PATH open, shared with nobody, from when it creates FLAG_FILE
//                         until that file is deleted (at most a minute)
// The Track Library window (tracklibrary.exe):
//   library               its facts once its work is done: title, status, details, rows, ...
//   library-now           the same at once, working or not
//   library-press NAME    presses a button or gives a command: fix-all, refix, restore, cancel,
//                         rescan, select-all, fix-selected, save-report; close posts WM_CLOSE
//   library-select POS... selects the rows at these list positions, and only them
//   library-drop PATH...  drops the paths on the window, as Explorer's WM_DROPFILES does
//   library-wait TEXT     waits until the status bar holds TEXT
//   library-after TEXT    the facts once the status bar has changed from TEXT and work is done
//   library-answers       sends WM_NULL every 20 ms while the window works; the slowest answer
//   library-filter TEXT   types TEXT into the filter box; how long the window took (ms)
//   library-header        the screen rectangle of each column's header ("L T R B" each, by ";")
//   clipboard             the text on the clipboard
#include <windows.h>
// Need the types of windows.h before them.
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "control_ids.h"
#include "disk.h"
#include "tracklibrary/control_ids.h"

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

// The Track Library window's driving. Its list view is virtual and lives in another process:
// LVM_GETITEMTEXTW and its kin take a structure whose pointers the target process follows, so the
// structure and the text buffer are made in the target's memory (VirtualAllocEx) and read back.

// Memory in another process, freed with its handle when the scope ends.
struct RemoteMemory {
  HANDLE process = nullptr;
  char* address = nullptr;
  ~RemoteMemory() {
    if (address) VirtualFreeEx(process, address, 0, MEM_RELEASE);
    if (process) CloseHandle(process);
  }
};

bool Reserve(HWND window, SIZE_T size, RemoteMemory& memory) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  memory.process =
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id);
  if (!memory.process) return false;
  memory.address = static_cast<char*>(
      VirtualAllocEx(memory.process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  return memory.address != nullptr;
}

bool Put(RemoteMemory& memory, SIZE_T offset, const void* data, SIZE_T size) {
  SIZE_T done = 0;
  return WriteProcessMemory(memory.process, memory.address + offset, data, size, &done) &&
         done == size;
}

bool Get(RemoteMemory& memory, SIZE_T offset, void* data, SIZE_T size) {
  SIZE_T done = 0;
  return ReadProcessMemory(memory.process, memory.address + offset, data, size, &done) &&
         done == size;
}

std::string Utf8Of(const wchar_t* text, int length) {
  if (length <= 0) return "";
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string utf8(size > 0 ? size : 0, '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], size, nullptr, nullptr);
  return utf8;
}

std::wstring WideOf(const std::string& utf8) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8.size(), nullptr, 0);
  std::wstring wide(size > 0 ? size : 0, L'\0');
  if (size > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8.size(), &wide[0], size);
  return wide;
}

// A window's text in UTF-8, through the W form (converted across processes).
std::string WideTextOf(HWND window) {
  wchar_t text[4096] = L"";
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, 2000, &length)) {
    return "<no answer>";
  }
  return Utf8Of(text, static_cast<int>(length < 4096 ? length : 4095));
}

constexpr int kTextChars = 1024;

// Every row of the list view in the order shown, cells separated by tabs, rows by newlines; then
// the column titles the same way.
bool ReadList(HWND list, std::string& rows, std::string& titles) {
  RemoteMemory memory;
  if (!Reserve(list, sizeof(LVITEMW) + sizeof(LVCOLUMNW) + kTextChars * 2, memory)) return false;
  wchar_t* remote_text =
      reinterpret_cast<wchar_t*>(memory.address + sizeof(LVITEMW) + sizeof(LVCOLUMNW));
  std::vector<wchar_t> text(kTextChars);
  const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  for (int column = 0; column < columns; ++column) {
    LVCOLUMNW column_request = {};
    column_request.mask = LVCF_TEXT;
    column_request.pszText = remote_text;
    column_request.cchTextMax = kTextChars;
    if (!Put(memory, sizeof(LVITEMW), &column_request, sizeof column_request) ||
        !SendMessageW(list, LVM_GETCOLUMNW, column,
                      reinterpret_cast<LPARAM>(memory.address + sizeof(LVITEMW))) ||
        !Get(memory, sizeof(LVITEMW) + sizeof(LVCOLUMNW), text.data(), kTextChars * 2)) {
      return false;
    }
    titles += (column ? "\t" : "") + Utf8Of(text.data(), lstrlenW(text.data()));
  }
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    for (int column = 0; column < columns; ++column) {
      LVITEMW item = {};
      item.iSubItem = column;
      item.pszText = remote_text;
      item.cchTextMax = kTextChars;
      if (!Put(memory, 0, &item, sizeof item)) return false;
      const LRESULT length =
          SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(memory.address));
      if (!Get(memory, sizeof(LVITEMW) + sizeof(LVCOLUMNW), text.data(), kTextChars * 2)) {
        return false;
      }
      rows += (column ? "\t" : "") + Utf8Of(text.data(), static_cast<int>(length));
    }
    rows += "\n";
  }
  return true;
}

HWND FindLibraryWindow() {
  HWND window = FindWindowW(TRACK_LIBRARY_CLASS, nullptr);
  return window && IsWindowVisible(window) ? window : nullptr;
}

// The window once it is up with its list, or null after a minute.
HWND AwaitLibraryWindow() {
  HWND window = nullptr;
  WaitFor(60000, [&] {
    window = FindLibraryWindow();
    return window && GetDlgItem(window, IDC_LIST);
  });
  return window;
}

bool Working(HWND window) { return IsWindowVisible(GetDlgItem(window, IDCANCEL)) != FALSE; }

Facts LibraryFacts(bool wait_until_idle) {
  HWND window = AwaitLibraryWindow();
  if (!window) return {{"error", "no Track Library window"}};
  if (wait_until_idle && !WaitFor(600000, [&] { return !IsWindow(window) || !Working(window); })) {
    return {{"error", "the Track Library window still works after ten minutes"}};
  }
  if (!IsWindow(window)) return {{"window", "gone"}};
  std::string rows, titles;
  if (!ReadList(GetDlgItem(window, IDC_LIST), rows, titles)) {
    return {{"error", "cannot read the list (" + std::to_string(GetLastError()) + ")"}};
  }
  std::string selected;
  const HWND list = GetDlgItem(window, IDC_LIST);
  for (int at = -1;
       (at = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, at, LVNI_SELECTED))) >= 0;) {
    selected += (selected.empty() ? "" : " ") + std::to_string(at);
  }
  char xid[32];
  std::snprintf(xid, sizeof xid, "0x%llx",
                static_cast<unsigned long long>(
                    reinterpret_cast<ULONG_PTR>(GetPropA(window, "__wine_x11_whole_window"))));
  return {{"title", WideTextOf(window)},
          {"status", WideTextOf(GetDlgItem(window, IDC_STATUS))},
          {"details", WideTextOf(GetDlgItem(window, IDC_DETAILS))},
          {"working", YesNo(Working(window))},
          {"refix",
           YesNo(SendMessageW(GetDlgItem(window, IDC_REFIX), BM_GETCHECK, 0, 0) == BST_CHECKED)},
          {"fix-enabled", YesNo(IsWindowEnabled(GetDlgItem(window, IDC_FIX_ALL)))},
          {"columns", titles},
          {"rows", rows},
          {"selected", selected},
          {"window", Rectangle(window)},
          {"xid", xid}};
}

Facts PressInLibrary(const std::string& name) {
  HWND window = AwaitLibraryWindow();
  if (!window) return {{"error", "no Track Library window"}};
  const std::map<std::string, int> buttons = {{"fix-all", IDC_FIX_ALL},
                                              {"refix", IDC_REFIX},
                                              {"restore", IDC_RESTORE},
                                              {"cancel", IDCANCEL},
                                              {"save-report", IDC_SAVE_REPORT}};
  const std::map<std::string, int> commands = {
      {"rescan", IDM_RESCAN}, {"select-all", IDM_SELECT_ALL}, {"fix-selected", IDM_FIX_SELECTED}};
  // Sent, not posted: none of these opens a modal window, and once the send returns the work has
  // started (the window shows it until its result is in), so the next look sees it.
  DWORD_PTR ignored = 0;
  if (name == "close") {
    PostMessageW(window, WM_CLOSE, 0, 0);
  } else if (name == "save-report") {
    // Posted: the button opens the modal save dialog.
    PostMessageW(GetDlgItem(window, IDC_SAVE_REPORT), BM_CLICK, 0, 0);
  } else if (buttons.count(name)) {
    SendMessageTimeoutW(GetDlgItem(window, buttons.at(name)), BM_CLICK, 0, 0, SMTO_NORMAL, 10000,
                        &ignored);
  } else if (commands.count(name)) {
    SendMessageTimeoutW(window, WM_COMMAND, MAKEWPARAM(commands.at(name), 1), 0, SMTO_NORMAL, 10000,
                        &ignored);
  } else {
    return {{"error", "unknown button or command " + name}};
  }
  return {};
}

Facts SelectInLibrary(const std::vector<std::string>& positions) {
  HWND window = AwaitLibraryWindow();
  if (!window) return {{"error", "no Track Library window"}};
  const HWND list = GetDlgItem(window, IDC_LIST);
  RemoteMemory memory;
  if (!Reserve(list, sizeof(LVITEMW), memory)) return {{"error", "no memory in the window"}};
  LVITEMW item = {};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = 0;
  Put(memory, 0, &item, sizeof item);
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
               reinterpret_cast<LPARAM>(memory.address));
  for (const std::string& position : positions) {
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    Put(memory, 0, &item, sizeof item);
    SendMessageW(list, LVM_SETITEMSTATE, std::stoi(position),
                 reinterpret_cast<LPARAM>(memory.address));
  }
  return {};
}

// A DROPFILES block with the paths as a double-null-terminated UTF-16 list, made in the window's
// process, then WM_DROPFILES posted with it as the HDROP: as Explorer hands a drop over.
Facts DropOnLibrary(const std::vector<std::string>& paths) {
  HWND window = AwaitLibraryWindow();
  if (!window) return {{"error", "no Track Library window"}};
  std::wstring list;
  for (const std::string& path : paths) list += WideOf(path) + L'\0';
  list += L'\0';
  DROPFILES drop = {};
  drop.pFiles = sizeof drop;
  drop.fWide = TRUE;
  RemoteMemory memory;
  const SIZE_T size = sizeof drop + list.size() * sizeof(wchar_t);
  if (!Reserve(window, size, memory) || !Put(memory, 0, &drop, sizeof drop) ||
      !Put(memory, sizeof drop, list.data(), list.size() * sizeof(wchar_t))) {
    return {{"error", "cannot write the drop into the window's process"}};
  }
  PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory.address), 0);
  // The window reads the block whenever it gets to the message: it stays there (a page of the
  // window under test), since nothing here can tell when that was.
  memory.address = nullptr;
  return {};
}

// Once the status bar no longer reads before (real keys reach the window when X and Wine have
// passed them on), the facts when the work is done.
Facts LibraryFactsAfter(const std::string& before) {
  HWND window = AwaitLibraryWindow();
  if (!window) return {{"error", "no Track Library window"}};
  if (!WaitFor(120000, [&] { return WideTextOf(GetDlgItem(window, IDC_STATUS)) != before; })) {
    return {{"error", "the status bar still reads " + before}};
  }
  return LibraryFacts(true);
}

// Sets the filter box's text, which the window answers (EN_CHANGE) before the send returns.
Facts FilterLibrary(const std::string& text) {
  HWND window = AwaitLibraryWindow();
  if (!window) return {{"error", "no Track Library window"}};
  const std::wstring wide = WideOf(text);
  LARGE_INTEGER frequency, before, after;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&before);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(GetDlgItem(window, IDC_FILTER), WM_SETTEXT, 0,
                      reinterpret_cast<LPARAM>(wide.c_str()), SMTO_NORMAL, 60000, &ignored);
  QueryPerformanceCounter(&after);
  char ms[32];
  std::snprintf(ms, sizeof ms, "%.1f",
                (after.QuadPart - before.QuadPart) * 1000.0 / frequency.QuadPart);
  return {{"ms", ms}};
}

// Each column header's rectangle on the screen: the header's own, cut by the column widths.
Facts LibraryHeader() {
  HWND window = AwaitLibraryWindow();
  if (!window) return {{"error", "no Track Library window"}};
  const HWND list = GetDlgItem(window, IDC_LIST);
  const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  RECT frame;
  GetWindowRect(header, &frame);
  std::string columns;
  int left = frame.left;
  const int count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  for (int column = 0; column < count; ++column) {
    const int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
    columns += (column ? ";" : "") + Numbers({left, frame.top, left + width, frame.bottom});
    left += width;
  }
  return {{"columns", columns}};
}

Facts ClipboardText() {
  if (!OpenClipboard(nullptr)) return {{"error", "cannot open the clipboard"}};
  std::string text;
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  const wchar_t* locked = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
  if (locked) {
    text = Utf8Of(locked, lstrlenW(locked));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return {{"text", text}};
}

Facts WaitForStatus(const std::string& text) {
  HWND window = AwaitLibraryWindow();
  if (!window) return {{"error", "no Track Library window"}};
  std::string status;
  if (!WaitFor(120000, [&] {
        status = WideTextOf(GetDlgItem(window, IDC_STATUS));
        return status.find(text) != std::string::npos;
      })) {
    return {{"error", "the status bar reads " + status + ", not " + text}};
  }
  return {{"status", status}};
}

// While the window works: WM_NULL sent every 20 ms, each answer timed. The slowest answer and the
// number sent and of those while the status bar said "Fixing", and how far the progress bar went.
Facts TimeAnswers() {
  HWND window = AwaitLibraryWindow();
  if (!window) return {{"error", "no Track Library window"}};
  if (!WaitFor(30000, [&] { return Working(window); })) return {{"error", "no work started"}};
  LARGE_INTEGER frequency, before, after;
  QueryPerformanceFrequency(&frequency);
  double slowest = 0;
  long sent = 0;
  LRESULT progress = 0;
  long fixing = 0;  // answers while the status bar said the window was fixing
  const HWND bar = GetDlgItem(window, IDC_PROGRESS);
  while (IsWindow(window) && Working(window)) {
    DWORD_PTR ignored = 0;
    QueryPerformanceCounter(&before);
    const LRESULT answered =
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
    QueryPerformanceCounter(&after);
    if (!answered) return {{"error", "no answer within 10 s"}};
    const double ms = (after.QuadPart - before.QuadPart) * 1000.0 / frequency.QuadPart;
    if (ms > slowest) slowest = ms;
    ++sent;
    DWORD_PTR position = 0;
    SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 10000, &position);
    if (static_cast<LRESULT>(position) > progress) progress = position;
    if (WideTextOf(GetDlgItem(window, IDC_STATUS)).rfind("Fixing", 0) == 0) ++fixing;
    Sleep(20);
  }
  char slowest_text[32];
  std::snprintf(slowest_text, sizeof slowest_text, "%.1f", slowest);
  return {{"slowest-ms", slowest_text},
          {"sent", std::to_string(sent)},
          {"while-fixing", std::to_string(fixing)},
          {"progress", std::to_string(progress)}};
}

Facts Run(const std::vector<std::string>& args) {
  const std::string command = args.empty() ? "" : args[0];
  const std::vector<std::string> rest(args.begin() + (args.empty() ? 0 : 1), args.end());
  if (args.size() == 1 && command == "library") return LibraryFacts(true);
  if (args.size() == 1 && command == "library-now") return LibraryFacts(false);
  if (args.size() == 2 && command == "library-press") return PressInLibrary(args[1]);
  if (command == "library-select") return SelectInLibrary(rest);
  if (args.size() >= 2 && command == "library-drop") return DropOnLibrary(rest);
  if (args.size() == 2 && command == "library-wait") return WaitForStatus(args[1]);
  if (args.size() == 2 && command == "library-after") return LibraryFactsAfter(args[1]);
  if (args.size() == 1 && command == "library-answers") return TimeAnswers();
  if (args.size() == 2 && command == "library-filter") return FilterLibrary(args[1]);
  if (args.size() == 1 && command == "library-header") return LibraryHeader();
  if (args.size() == 1 && command == "clipboard") return ClipboardText();
  if (args.size() == 1 && command == "main") return MainDialogFacts();
  if (args.size() == 1 && command == "file-dialog") return FileDialogFacts();
  if (args.size() == 1 && command == "cancel") return CancelFileDialog();
  if (args.size() == 1 && command == "dismiss") return DismissMessageBox();
  if (args.size() == 2 && command == "choose") return ChooseFile(args[1]);
  if (args.size() == 2 && command == "post") return PostToMainDialog(args[1]);
  if (args.size() == 3 && command == "hold") return HoldFile(args[1], args[2]);
  return {{"error", "unknown command or wrong arguments: " + command}};
}

// text as a JSON string: ASCII, with quotes, backslashes and control characters escaped, and
// the rest as UTF-16 escapes of its UTF-8 (bytes that are not UTF-8 one escape each).
std::string Quoted(const std::string& text) {
  std::wstring wide = WideOf(text);
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), text.size(), nullptr, 0) <=
      0) {
    wide.assign(text.begin(), text.end());
  }
  std::string quoted = "\"";
  for (wchar_t c : wide) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, c == '"' || c == '\\' ? "\\%c" : "\\u%04x",
                  static_cast<unsigned>(c & 0xFFFF));
    quoted += c >= 0x20 && c < 0x7F && c != '"' && c != '\\' ? std::string(1, static_cast<char>(c))
                                                             : escaped;
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
