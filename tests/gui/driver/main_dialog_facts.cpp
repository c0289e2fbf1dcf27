#include <cstdio>
#include <vector>

#include "commands.h"
#include "windows_found.h"

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

}  // namespace

int PrintMainDialog(DWORD pid) {
  HWND main_dialog = nullptr;
  if (!WaitFor(5000, [&] { return (main_dialog = FindMainDialog(pid)) != nullptr; })) {
    std::printf("error=no main dialog\n");
    return 1;
  }
  const HWND status_bar = GetDlgItem(main_dialog, IDC_STATUSBAR);
  const HWND button = GetDlgItem(main_dialog, IDC_FIXBUTTON);
  const LONG style = GetWindowLongA(main_dialog, GWL_STYLE);
  std::printf("title=%s\n", TextOf(main_dialog).c_str());
  std::printf("caption=%s\n", YesNo((style & WS_CAPTION) == WS_CAPTION));
  std::printf("system-menu=%s\n", YesNo(style & WS_SYSMENU));
  std::printf("sizing-border=%s\n", YesNo(style & WS_THICKFRAME));
  std::printf("minimize-box=%s\n", YesNo(style & WS_MINIMIZEBOX));
  std::printf("maximize-box=%s\n", YesNo(style & WS_MAXIMIZEBOX));

  RECT client;
  GetClientRect(main_dialog, &client);
  std::printf("client=%ld %ld\n", client.right, client.bottom);
  RECT expected;
  if (DialogUnitsToPixels(379, 56, expected)) {
    std::printf("client-379x56-dlu=%ld %ld\n", expected.right, expected.bottom);
  } else {
    std::printf("client-379x56-dlu=<conversion failed>\n");
  }

  std::printf("button=%s\n", TextOf(button).c_str());
  std::printf("status=%s\n", StatusText(main_dialog).c_str());
  std::printf("status-visible=%s\n", YesNo(IsWindowVisible(status_bar)));
  RECT bar;
  GetWindowRect(status_bar, &bar);
  MapWindowPoints(nullptr, main_dialog, reinterpret_cast<POINT*>(&bar), 2);
  std::printf("status-rect=%ld %ld %ld %ld\n", bar.left, bar.top, bar.right, bar.bottom);

  RECT frame;
  GetWindowRect(main_dialog, &frame);
  std::printf("window=%ld %ld %ld %ld\n", frame.left, frame.top, frame.right, frame.bottom);
  RECT button_frame;
  GetWindowRect(button, &button_frame);
  std::printf("button-centre=%ld %ld\n", (button_frame.left + button_frame.right) / 2,
              (button_frame.top + button_frame.bottom) / 2);
  POINT close_box;
  if (FindCloseBox(main_dialog, close_box)) {
    std::printf("close-box=%ld %ld\n", close_box.x, close_box.y);
  } else {
    std::printf("close-box=<none>\n");
  }
  // Activation follows a focus change from X a little later: give it time to arrive.
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  const DWORD thread = GetWindowThreadProcessId(main_dialog, nullptr);
  WaitFor(3000, [&] { return GetGUIThreadInfo(thread, &info) && info.hwndActive == main_dialog; });
  std::printf("active=%s\n", info.hwndActive == main_dialog ? "main" : "other");
  std::printf("focus=%d\n", info.hwndFocus && GetParent(info.hwndFocus) == main_dialog
                                ? GetDlgCtrlID(info.hwndFocus)
                                : 0);
  // Wine keeps the X window id as a window property that any process can read.
  std::printf("xid=0x%lx\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(
                                 GetPropA(main_dialog, "__wine_x11_whole_window"))));
  return 0;
}
