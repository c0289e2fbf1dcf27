#include <cstdio>
#include <initializer_list>
#include <vector>

#include "driver.h"

namespace {

// Destroys a window of this process when it goes out of scope.
struct WindowGuard {
  HWND window;
  ~WindowGuard() {
    if (window) DestroyWindow(window);
  }
};

INT_PTR CALLBACK IgnoreAll(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The size in pixels of width x height dialog units in a dialog with the main dialog's font,
// 8 point "MS Sans Serif". MapDialogRect works only on a dialog of this process, so this builds
// a hidden one from an in-memory template: DLGTEMPLATE, then menu, class and title as WORD
// arrays, then the point size and the face name in UTF-16, as DS_SETFONT lays them out.
bool DialogUnitsToPixels(int width, int height, RECT& pixels) {
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
  if (!dialog.window) return false;
  pixels = RECT{0, 0, width, height};
  return MapDialogRect(dialog.window, &pixels) != 0;
}

// Finds a screen point on window's caption that the window reports as its close button.
bool FindCloseBox(HWND window, POINT& point) {
  RECT frame;
  GetWindowRect(window, &frame);
  for (int y = frame.top + 2; y < frame.top + 40; y += 2) {
    for (int x = frame.right - 2; x > frame.right - 80; x -= 2) {
      DWORD_PTR hit = HTNOWHERE;
      SendMessageTimeoutA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 2000, &hit);
      if (hit == HTCLOSE) {
        point = POINT{x, y};
        return true;
      }
    }
  }
  return false;
}

const char* YesNo(bool value) { return value ? "yes" : "no"; }

// Numbers as one text, separated by spaces.
std::string Numbers(std::initializer_list<long> numbers) {
  std::string text;
  for (long number : numbers) text += (text.empty() ? "" : " ") + std::to_string(number);
  return text;
}

}  // namespace

int MainDialogFacts(Facts& facts) {
  HWND main_dialog = nullptr;
  if (!WaitFor(60000, [&] { return (main_dialog = FindMainDialog()) != nullptr; })) {
    facts["error"] = "no main dialog";
    return 1;
  }
  const HWND status_bar = GetDlgItem(main_dialog, IDC_STATUSBAR);
  const HWND button = GetDlgItem(main_dialog, IDC_FIXBUTTON);
  const LONG style = GetWindowLongA(main_dialog, GWL_STYLE);
  facts["title"] = TextOf(main_dialog);
  facts["caption"] = YesNo((style & WS_CAPTION) == WS_CAPTION);
  facts["system-menu"] = YesNo(style & WS_SYSMENU);
  facts["sizing-border"] = YesNo(style & WS_THICKFRAME);
  facts["minimize-box"] = YesNo(style & WS_MINIMIZEBOX);
  facts["maximize-box"] = YesNo(style & WS_MAXIMIZEBOX);

  RECT client, expected;
  GetClientRect(main_dialog, &client);
  facts["client"] = Numbers({client.right, client.bottom});
  facts["client-379x56-dlu"] = DialogUnitsToPixels(379, 56, expected)
                                   ? Numbers({expected.right, expected.bottom})
                                   : "<conversion failed>";

  facts["button"] = TextOf(button);
  facts["status"] = StatusText(main_dialog);
  facts["status-visible"] = YesNo(IsWindowVisible(status_bar));
  RECT bar;
  GetWindowRect(status_bar, &bar);
  MapWindowPoints(nullptr, main_dialog, reinterpret_cast<POINT*>(&bar), 2);
  facts["status-rect"] = Numbers({bar.left, bar.top, bar.right, bar.bottom});

  RECT frame, button_frame;
  GetWindowRect(main_dialog, &frame);
  facts["window"] = Numbers({frame.left, frame.top, frame.right, frame.bottom});
  GetWindowRect(button, &button_frame);
  facts["button-centre"] = Numbers(
      {(button_frame.left + button_frame.right) / 2, (button_frame.top + button_frame.bottom) / 2});
  POINT close_box;
  facts["close-box"] =
      FindCloseBox(main_dialog, close_box) ? Numbers({close_box.x, close_box.y}) : "<none>";
  // Activation follows a focus change from X a little later: give it time to arrive.
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  const DWORD thread = GetWindowThreadProcessId(main_dialog, nullptr);
  WaitFor(3000, [&] { return GetGUIThreadInfo(thread, &info) && info.hwndActive == main_dialog; });
  facts["active"] = info.hwndActive == main_dialog ? "main" : "other";
  facts["focus"] = std::to_string(info.hwndFocus && GetParent(info.hwndFocus) == main_dialog
                                      ? GetDlgCtrlID(info.hwndFocus)
                                      : 0);
  // Wine keeps the X window id as a window property that any process can read.
  char xid[32];
  std::snprintf(xid, sizeof xid, "0x%llx",
                static_cast<unsigned long long>(
                    reinterpret_cast<ULONG_PTR>(GetPropA(main_dialog, "__wine_x11_whole_window"))));
  facts["xid"] = xid;
  return 0;
}
