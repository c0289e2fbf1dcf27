#include "main_dialog.h"

// Needs the types of windows.h before it.
#include <commctrl.h>

#include <vector>

#include "control_ids.h"
#include "dialog_template.h"
#include "main_dialog_proc.h"

namespace {

// Whether messages go on to MainDialogProc: not while the window and its controls are being
// created, which the two direct calls before showing stand in for.
bool g_mainDialogAttached = false;

// The result the main dialog was ended with.
int g_mainDialogResult = 0;

// An icon loaded for the window, destroyed once the window is gone.
struct IconGuard {
  HICON icon;
  explicit IconGuard(HICON loaded) : icon(loaded) {}
  ~IconGuard() {
    if (icon != nullptr) DestroyIcon(icon);
  }
  IconGuard(const IconGuard&) = delete;
  IconGuard& operator=(const IconGuard&) = delete;
};

// One child control of the main dialog; the rectangle is in dialog units.
struct ControlSpec {
  int id;
  const char* className;
  const char* text;
  int left, top, width, height;
  DWORD style;
  DWORD exStyle;
};

// In the order of creation. The status bar docks itself; its rectangle is only a request.
const ControlSpec kControls[] = {
    {IDC_STATUSBAR, STATUSCLASSNAMEA, "", 0, 44, 379, 12, WS_CHILD | WS_VISIBLE, WS_EX_TRANSPARENT},
    {IDC_FIXBUTTON, "BUTTON", "&Fix Track Map", 135, 15, 100, 20,
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON | BS_CENTER | BS_VCENTER, 0},
};
static_assert((WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON | BS_CENTER | BS_VCENTER) ==
                  0x50010F01,
              "the button's style");

// Ends the main dialog: records the result and destroys the window, which ends the modal loop.
void EndMainDialog(HWND hDlg, int result) {
  g_mainDialogResult = result;
  DestroyWindow(hDlg);
}

// The procedure the dialog manager calls. WM_ACTIVATE is answered here, so the manager's own
// focus save and restore is skipped (MainDialogProc's WM_NCACTIVATE handling replaces it).
INT_PTR CALLBACK MainDialogWindowProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ACTIVATE) return TRUE;
  if (!g_mainDialogAttached) return FALSE;
  if (MainDialogProc(hDlg, message, wParam, lParam) != 0) return TRUE;
  if (message == WM_SYSCOMMAND && LOWORD(wParam) == SC_CLOSE) {
    EndMainDialog(hDlg, 0);
    return TRUE;
  }
  return FALSE;
}

// The window's big and small icons, both from icon group 102; without the big one, neither.
void SetWindowIcons(HWND hDlg, HINSTANCE instance, IconGuard& big, IconGuard& small) {
  big.icon = static_cast<HICON>(LoadImageA(instance, "#102", IMAGE_ICON, 32, 32, 0));
  if (big.icon == nullptr) return;
  SendMessageA(hDlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.icon));
  small.icon = static_cast<HICON>(LoadImageA(instance, "#102", IMAGE_ICON, 16, 16, 0));
  if (small.icon == nullptr) return;
  SendMessageA(hDlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.icon));
}

// Creates one control at its rectangle converted to pixels, in the dialog's own font. A control
// that cannot be created is simply missing.
void AddControl(HWND hDlg, HINSTANCE instance, HFONT font, const ControlSpec& item) {
  RECT rect = {item.left, item.top, item.left + item.width, item.top + item.height};
  MapDialogRect(hDlg, &rect);
  HWND control =
      CreateWindowExA(item.exStyle, item.className, item.text, item.style, rect.left, rect.top,
                      rect.right - rect.left, rect.bottom - rect.top, hDlg,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(item.id)), instance, nullptr);
  if (control == nullptr) return;
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

// Stands in for the creation messages delivered before MainDialogProc was attached; the
// WM_SIZE docks the status bar before the window is first seen.
void SendStartMessages(HWND hDlg) {
  MainDialogProc(hDlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(hDlg), 0);
  RECT client = {0, 0, 0, 0};
  GetClientRect(hDlg, &client);
  MainDialogProc(hDlg, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
}

// Runs until the window is gone. Polls rather than waits: an empty queue sleeps 1 ms.
void RunModalLoop(HWND hDlg) {
  MSG message;
  while (IsWindow(hDlg)) {
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      Sleep(1);
      continue;
    }
    if (!IsWindow(hDlg)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
      break;
    }
    if (!IsDialogMessageA(hDlg, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

}  // namespace

int ShowMainDialog(HWND parent) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  const std::vector<WORD> dialogTemplate = BuildMainDialogTemplate();
  // Declared before the window: the icons must outlive it.
  IconGuard bigIcon(nullptr);
  IconGuard smallIcon(nullptr);

  g_mainDialogResult = 0;
  HWND hDlg =
      CreateDialogIndirectParamA(instance, reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()),
                                 parent, MainDialogWindowProc, 0);
  if (hDlg != nullptr) {
    const HFONT font = reinterpret_cast<HFONT>(SendMessageA(hDlg, WM_GETFONT, 0, 0));
    SetWindowIcons(hDlg, instance, bigIcon, smallIcon);
    for (const ControlSpec& item : kControls) AddControl(hDlg, instance, font, item);
    SendMessageA(hDlg, DM_SETDEFID, IDC_FIXBUTTON, 0);
  }
  SendStartMessages(hDlg);
  g_mainDialogAttached = true;
  if (hDlg != nullptr) ShowWindow(hDlg, SW_SHOW);
  RunModalLoop(hDlg);
  g_mainDialogAttached = false;
  return g_mainDialogResult;
}
