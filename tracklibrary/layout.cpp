// The window's controls: created once, placed on every size or DPI change, in pixels scaled from
// a 96-DPI design.
#include <windows.h>
// Needs the types of windows.h before it.
#include <commctrl.h>

#include "control_ids.h"
#include "library_window.h"

namespace {

constexpr int kMargin = 8;
constexpr int kRowHeight = 25;
constexpr int kDetailsHeight = 64;

// One child control; width in pixels at 96 DPI (0: placed by LayOut alone).
struct ControlLayout {
  int id;
  const wchar_t* className;
  const wchar_t* text;
  int width;
  DWORD style;
  DWORD exStyle;
};

constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;

// In Tab order.
const ControlLayout kControls[] = {
    {IDC_OPEN, L"BUTTON", L"&Open library\u2026", 110, kButton, 0},
    {IDC_ADD, L"BUTTON", L"&Add tracks\u2026", 100, kButton, 0},
    {IDC_FIX_ALL, L"BUTTON", L"&Fix all", 80, kButton, 0},
    {IDC_REFIX, L"BUTTON", L"Also refix &clashing names", 170,
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0},
    {IDC_RESTORE, L"BUTTON", L"&Restore", 80, kButton, 0},
    {IDC_SAVE_REPORT, L"BUTTON", L"&Save report\u2026", 100, kButton, 0},
    {IDC_FILTER_LABEL, L"STATIC", L"Fi&lter:", 40,
     WS_CHILD | WS_VISIBLE | SS_RIGHT | SS_CENTERIMAGE, 0},
    {IDC_FILTER, L"EDIT", L"", 140, WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
     WS_EX_CLIENTEDGE},
    {IDC_LIST, WC_LISTVIEWW, L"", 0,
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS,
     WS_EX_CLIENTEDGE},
    {IDC_DETAILS, L"EDIT", L"", 0,
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY,
     WS_EX_CLIENTEDGE},
    {IDC_PROGRESS, PROGRESS_CLASSW, L"", 0, WS_CHILD | PBS_SMOOTH, 0},
    {IDCANCEL, L"BUTTON", L"Cancel", 80, WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON, 0},
    {IDC_STATUS, STATUSCLASSNAMEW, L"", 0, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0},
};

HWND Item(int id) { return GetDlgItem(g_window.hwnd, id); }

void Place(int id, int x, int y, int width, int height) {
  SetWindowPos(Item(id), nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

int WidthOf(int id) {
  for (const ControlLayout& control : kControls) {
    if (control.id == id) return Scaled(control.width);
  }
  return 0;
}

using SystemParametersInfoForDpiProc = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);

// The message font at the window's DPI: from SystemParametersInfoForDpi where Windows has it,
// else the system's font scaled from the system DPI.
HFONT MakeFont(UINT dpi) {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  const FARPROC address =
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi");
  if (address != nullptr) {
    const auto forDpi =
        reinterpret_cast<SystemParametersInfoForDpiProc>(reinterpret_cast<void (*)()>(address));
    if (forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
      return CreateFontIndirectW(&metrics.lfMessageFont);
    }
  }
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }
  HDC screen = GetDC(nullptr);
  const int systemDpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  metrics.lfMessageFont.lfHeight =
      MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), systemDpi > 0 ? systemDpi : 96);
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

}  // namespace

int Scaled(int pixelsAt96) { return MulDiv(pixelsAt96, static_cast<int>(g_window.dpi), 96); }

void CreateControls(HWND hwnd) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  for (const ControlLayout& control : kControls) {
    CreateWindowExW(control.exStyle, control.className, control.text, control.style, 0, 0, 0, 0,
                    hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance,
                    nullptr);
  }
  g_window.list = Item(IDC_LIST);
  g_window.details = Item(IDC_DETAILS);
  g_window.filter = Item(IDC_FILTER);
  g_window.progress = Item(IDC_PROGRESS);
  g_window.cancel = Item(IDCANCEL);
  g_window.status = Item(IDC_STATUS);
  SendMessageW(g_window.progress, PBM_SETRANGE32, 0, 1000);
  SendMessageW(g_window.filter, EM_SETCUEBANNER, TRUE,
               reinterpret_cast<LPARAM>(L"path, state or name"));
  ListView_SetExtendedListViewStyle(g_window.list,
                                    LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
  AddColumns();
}

// The font and the column widths follow the DPI; LayOut places the controls.
void UseDpi(UINT dpi) {
  g_window.dpi = dpi == 0 ? 96 : dpi;
  g_window.font.Reset(MakeFont(g_window.dpi));
  for (const ControlLayout& control : kControls) {
    SendMessageW(Item(control.id), WM_SETFONT, reinterpret_cast<WPARAM>(g_window.font.object),
                 TRUE);
  }
  const int widths[kColumnCount] = {300, 80, 130, 130, 60};
  for (int column = 0; column < kColumnCount; ++column) {
    ListView_SetColumnWidth(g_window.list, column, Scaled(widths[column]));
  }
  LayOut();
}

void LayOut() {
  RECT client;
  GetClientRect(g_window.hwnd, &client);
  SendMessageW(g_window.status, WM_SIZE, 0, 0);
  RECT statusFrame;
  GetWindowRect(g_window.status, &statusFrame);
  const int margin = Scaled(kMargin);
  const int row = Scaled(kRowHeight);
  const int bottom = client.bottom - (statusFrame.bottom - statusFrame.top) - margin;

  int x = margin;
  for (int id : {IDC_OPEN, IDC_ADD, IDC_FIX_ALL, IDC_REFIX, IDC_RESTORE, IDC_SAVE_REPORT}) {
    Place(id, x, margin, WidthOf(id), row);
    x += WidthOf(id) + margin;
  }
  const int filterLeft = std::max(x, static_cast<int>(client.right) - margin - WidthOf(IDC_FILTER));
  Place(IDC_FILTER, filterLeft, margin, WidthOf(IDC_FILTER), row);
  Place(IDC_FILTER_LABEL, filterLeft - WidthOf(IDC_FILTER_LABEL) - margin / 2, margin,
        WidthOf(IDC_FILTER_LABEL), row);

  int lowest = bottom;
  if (g_window.working) {
    const int cancelWidth = WidthOf(IDCANCEL);
    Place(IDCANCEL, client.right - margin - cancelWidth, lowest - row, cancelWidth, row);
    Place(IDC_PROGRESS, margin, lowest - row, client.right - 3 * margin - cancelWidth, row);
    lowest -= row + margin;
  }
  const int details = Scaled(kDetailsHeight);
  Place(IDC_DETAILS, margin, lowest - details, client.right - 2 * margin, details);
  lowest -= details + margin;
  const int listTop = margin + row + margin;
  Place(IDC_LIST, margin, listTop, client.right - 2 * margin, std::max(lowest - listTop, row));
}

// During work: the progress bar and Cancel show, and the buttons that start work are off.
void ShowWorking(bool working) {
  g_window.working = working;
  // A control that is turned off loses the keyboard: the list takes it.
  const HWND focus = GetFocus();
  for (int id : {IDC_OPEN, IDC_ADD, IDC_FIX_ALL, IDC_REFIX, IDC_RESTORE, IDC_SAVE_REPORT}) {
    if (Item(id) == nullptr) continue;
    if (working && focus == Item(id)) SetFocus(g_window.list);
    EnableWindow(Item(id), !working);
  }
  if (!working && focus == g_window.cancel) SetFocus(g_window.list);
  EnableWindow(g_window.cancel, working);
  ShowWindow(g_window.progress, working ? SW_SHOW : SW_HIDE);
  ShowWindow(g_window.cancel, working ? SW_SHOW : SW_HIDE);
  SendMessageW(g_window.progress, PBM_SETPOS, 0, 0);
  LayOut();
}
