// The window procedure: the table of what each message does, one small handler each.
#include <windows.h>
// Needs the types of windows.h before it.
#include <commctrl.h>

#include <memory>

#include "control_ids.h"
#include "library_window.h"
#include "wide.h"

LibraryWindow g_window;

namespace {

// The control that had the keyboard focus when the window was last deactivated.
HWND g_savedFocus = nullptr;

using GetDpiForWindowProc = UINT(WINAPI*)(HWND);

// The window's DPI where Windows tells it per window, else the system's.
UINT DpiOf(HWND hwnd) {
  const FARPROC address = GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
  if (address != nullptr) {
    return reinterpret_cast<GetDpiForWindowProc>(reinterpret_cast<void (*)()>(address))(hwnd);
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return static_cast<UINT>(dpi);
}

void OnCreate(HWND hwnd) {
  g_window.hwnd = hwnd;
  CreateControls(hwnd);
  UseDpi(DpiOf(hwnd));
  DragAcceptFiles(hwnd, TRUE);
}

void OnDpiChanged(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
  UseDpi(HIWORD(wParam));
  SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
               suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void OnMinMaxInfo(MINMAXINFO& info) {
  info.ptMinTrackSize.x = Scaled(900);
  info.ptMinTrackSize.y = Scaled(360);
}

// Ctrl+A and Ctrl+C act on the text of an edit box that has the focus, else on the rows.
void OnSelectAllOrCopy(int id) {
  const HWND focus = GetFocus();
  if (focus == g_window.filter || focus == g_window.details) {
    if (id == IDM_SELECT_ALL) SendMessageW(focus, EM_SETSEL, 0, -1);
    if (id == IDM_COPY) SendMessageW(focus, WM_COPY, 0, 0);
    return;
  }
  if (id == IDM_SELECT_ALL) SelectAll();
  if (id == IDM_COPY) CopySelection();
}

void OnFilterChanged() {
  const int length = GetWindowTextLengthW(g_window.filter);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(g_window.filter, &text[0], length + 1);
  text.resize(static_cast<std::size_t>(length));
  g_window.model.filter = Utf8(text);
  RefreshList();
}

void OnCommand(WPARAM wParam) {
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  switch (id) {
    case IDC_OPEN:
      ChooseLibrary();
      break;
    case IDC_ADD:
      ChooseTracksToAdd();
      break;
    case IDC_FIX_ALL:
      StartRun(JobKind::kFix, false);
      break;
    case IDM_FIX_SELECTED:
      StartRun(JobKind::kFix, true);
      break;
    case IDC_RESTORE:
      StartRun(JobKind::kRestore, true);
      break;
    case IDC_REFIX:
      if (code == BN_CLICKED) StartPreview();
      break;
    case IDC_SAVE_REPORT:
      SaveReport();
      break;
    case IDC_FILTER:
      if (code == EN_CHANGE) OnFilterChanged();
      break;
    case IDCANCEL:
      CancelWork();
      break;
    case IDM_RESCAN:
      StartScan();
      break;
    case IDM_SELECT_ALL:
    case IDM_COPY:
      OnSelectAllOrCopy(id);
      break;
    case IDM_OPEN_FOLDER:
      OpenContainingFolder();
      break;
    default:
      break;
  }
}

LRESULT OnNotify(NMHDR& header) {
  if (header.idFrom != IDC_LIST) return 0;
  switch (header.code) {
    case LVN_GETDISPINFOW:
      OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW&>(header));
      break;
    case NM_CUSTOMDRAW:
      return OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(header));
    case LVN_COLUMNCLICK:
      SortBy(reinterpret_cast<NMLISTVIEW&>(header).iSubItem);
      break;
    case LVN_ITEMCHANGED:
    case LVN_ODSTATECHANGED:
      ShowDetails();
      break;
    default:
      break;
  }
  return 0;
}

// A run in hand is asked to stop after its track; the window closes when it has.
void OnClose(HWND hwnd) {
  if (!g_window.working) {
    DestroyWindow(hwnd);
    return;
  }
  g_window.closeWhenDone = true;
  CancelJobForClosing();
  SetStatus("Closing after the track in hand...");
}

void OnActivate(WPARAM wParam) {
  if (LOWORD(wParam) == WA_INACTIVE) g_savedFocus = GetFocus();
}

void OnSetFocus() {
  SetFocus(g_savedFocus != nullptr && IsWindow(g_savedFocus) && IsWindowEnabled(g_savedFocus)
               ? g_savedFocus
               : g_window.list);
}

}  // namespace

LRESULT CALLBACK LibraryWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      OnCreate(hwnd);
      return 0;
    case WM_SIZE:
      LayOut();
      return 0;
    case WM_GETMINMAXINFO:
      OnMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(hwnd, wParam, lParam);
      return 0;
    case WM_COMMAND:
      OnCommand(wParam);
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<NMHDR*>(lParam));
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wParam) == g_window.list) ShowRowMenu(lParam);
      return 0;
    case WM_TIMER:
      UpdateProgress();
      return 0;
    case WM_APP_JOB_DONE:
      FinishJob(std::unique_ptr<JobResult>(reinterpret_cast<JobResult*>(lParam)).get());
      return 0;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_ACTIVATE:
      OnActivate(wParam);
      break;
    case WM_SETFOCUS:
      OnSetFocus();
      return 0;
    case WM_CLOSE:
      OnClose(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}
