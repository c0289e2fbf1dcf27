// WinMain: initialises the common controls, then runs the main dialog once.
#include <windows.h>
// Needs the types of windows.h before it.
#include <commctrl.h>

#include "main_dialog.h"

namespace {

// A library loaded for one look-up, freed at the end of the scope.
struct LibraryGuard {
  HMODULE module;
  explicit LibraryGuard(HMODULE loaded) : module(loaded) {}
  ~LibraryGuard() {
    if (module != nullptr) FreeLibrary(module);
  }
  LibraryGuard(const LibraryGuard&) = delete;
  LibraryGuard& operator=(const LibraryGuard&) = delete;
};

using InitCommonControlsExProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);

// InitCommonControlsEx is looked up at run time, so that a COMCTL32 without it still starts
// the program through InitCommonControls; without COMCTL32 at all, neither is called.
void InitCommonControlsOnce() {
  LibraryGuard library(LoadLibraryA("COMCTL32.DLL"));
  if (library.module == nullptr) return;
  const FARPROC address = GetProcAddress(library.module, "InitCommonControlsEx");
  if (address == nullptr) {
    InitCommonControls();
    return;
  }
  // Through void(*)(): the one function pointer type GCC lets stand for any other.
  const auto initEx =
      reinterpret_cast<InitCommonControlsExProc>(reinterpret_cast<void (*)()>(address));
  INITCOMMONCONTROLSEX controls;
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_INTERNET_CLASSES;
  static_assert(sizeof controls == 8, "INITCOMMONCONTROLSEX is two DWORDs");
  initEx(&controls);
}

}  // namespace

// The entry arguments are not used: the program takes no command line and shows its dialog
// with SW_SHOW whatever the start-up show state.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  InitCommonControlsOnce();
  ShowMainDialog(nullptr);
  return 0;
}
