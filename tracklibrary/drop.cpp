// Files dropped on the window: a folder opens as the library, track files are added to it.
#include <windows.h>
// Needs the types of windows.h before it.
#include <shellapi.h>

#include <string>
#include <vector>

#include "library_window.h"
#include "wide.h"

void OnDropFiles(HDROP drop) {
  std::vector<std::wstring> names;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    std::wstring name(length + 1, L'\0');
    if (DragQueryFileW(drop, i, &name[0], length + 1) != length) continue;
    name.resize(length);
    names.push_back(name);
  }
  DragFinish(drop);
  if (g_window.working) {
    SetStatus("Drop the folder again once the work in hand is done.");
    return;
  }
  std::vector<std::string> files;
  for (const std::wstring& name : names) {
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      OpenLibrary(Utf8(name));
      return;
    }
    files.push_back(Utf8(name));
  }
  if (g_window.library.empty()) {
    SetStatus("Drop a folder to open it as the library, then tracks to add them.");
    return;
  }
  StartAdd(files);
}
