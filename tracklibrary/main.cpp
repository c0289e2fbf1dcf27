// tracklibrary.exe: a window onto a whole collection of track files. Start-up: the common
// controls, COM for the folder picker, the window, the library to open, and the message loop.
#include <windows.h>
// Need the types of windows.h before them.
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "control_ids.h"
#include "library_window.h"
#include "settings.h"
#include "wide.h"

namespace {

// The keys that are not mnemonics; Esc is the dialog manager's (IDCANCEL).
const ACCEL kKeys[] = {
    {FCONTROL | FVIRTKEY, 'O', IDC_OPEN},
    {FVIRTKEY, VK_F5, IDM_RESCAN},
    {FCONTROL | FVIRTKEY, 'A', IDM_SELECT_ALL},
    {FCONTROL | FVIRTKEY, 'C', IDM_COPY},
};

// The first command-line argument as a full path without a trailing separator, or empty.
std::string FolderArgument() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return "";
  std::wstring argument = count > 1 ? arguments[1] : L"";
  LocalFree(arguments);
  if (argument.empty()) return "";
  wchar_t full[32768];
  const DWORD length = GetFullPathNameW(argument.c_str(), 32768, full, nullptr);
  if (length > 0 && length < 32768) argument.assign(full, length);
  // "D:\Tracks\" and "D:\Tracks" are one folder; "D:\" keeps its separator.
  while (argument.size() > 3 && (argument.back() == L'\\' || argument.back() == L'/')) {
    argument.pop_back();
  }
  return Utf8(argument);
}

void InitControls() {
  INITCOMMONCONTROLSEX controls;
  controls.dwSize = sizeof controls;
  controls.dwICC =
      ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);
}

HICON LoadIconSized(HINSTANCE instance, int size) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(102), IMAGE_ICON, size, size, 0));
}

}  // namespace

bool RegisterLibraryWindow(HINSTANCE instance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = LibraryWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconSized(instance, GetSystemMetrics(SM_CXICON));
  windowClass.hIconSm = LoadIconSized(instance, GetSystemMetrics(SM_CXSMICON));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = TRACK_LIBRARY_CLASS;
  return RegisterClassExW(&windowClass) != 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  InitControls();
  // The folder picker is a shell dialog: COM in a single-threaded apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  if (!RegisterLibraryWindow(instance)) return 1;
  HWND hwnd =
      CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES, TRACK_LIBRARY_CLASS,
                      L"Track Library", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                      CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, nullptr);
  if (hwnd == nullptr) return 1;
  // The first size in the window's own DPI, now that it knows it.
  SetWindowPos(hwnd, nullptr, 0, 0, Scaled(980), Scaled(580),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // A known library is being scanned by the time the window shows; the folder picker needs the
  // window up as its owner.
  std::string library = FolderArgument();
  if (library.empty()) library = LoadLastLibrary();
  if (!library.empty()) OpenLibrary(library);
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  if (library.empty()) ChooseLibrary();

  HACCEL keys = CreateAcceleratorTableW(const_cast<ACCEL*>(kKeys), sizeof kKeys / sizeof kKeys[0]);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsWindow(hwnd) && TranslateAcceleratorW(hwnd, keys, &message)) continue;
    if (IsWindow(hwnd) && IsDialogMessageW(hwnd, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  DestroyAcceleratorTable(keys);
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
