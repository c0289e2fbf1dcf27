#include <cstdio>
#include <initializer_list>
#include <vector>

#include "driver.h"

namespace {

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

}  // namespace

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
