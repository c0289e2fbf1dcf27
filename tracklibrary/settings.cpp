#include "settings.h"

#include <windows.h>
// Needs the types of windows.h before it.
#include <shlobj.h>

#include "handle_guard.h"
#include "wide.h"

namespace {

const char kLibraryKey[] = "library=";

// The settings folder (made when make is true) and file; empty when there is no %APPDATA%.
std::wstring SettingsFile(bool make) {
  wchar_t appData[MAX_PATH] = L"";
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) {
    return L"";
  }
  const std::wstring folder = std::wstring(appData) + L"\\Track Library";
  if (make) CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\settings.txt";
}

}  // namespace

std::string LoadLastLibrary() {
  const std::wstring path = SettingsFile(false);
  if (path.empty()) return "";
  HandleGuard file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return "";
  char buffer[8192];
  DWORD got = 0;
  if (!ReadFile(file.handle, buffer, sizeof buffer, &got, nullptr)) return "";
  const std::string text(buffer, got);
  std::string::size_type at = 0;
  while (at < text.size()) {
    std::string::size_type end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, sizeof kLibraryKey - 1, kLibraryKey) == 0) {
      return line.substr(sizeof kLibraryKey - 1);
    }
    at = end + 1;
  }
  return "";
}

void SaveLastLibrary(const std::string& folder) {
  const std::wstring path = SettingsFile(true);
  if (path.empty()) return;
  const std::string text = kLibraryKey + folder + "\r\n";
  HandleGuard file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file.valid())
    WriteFile(file.handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
