// The path primitives for the library's UTF-8 paths: the wide calls, so that every name Windows
// allows works, whatever the ANSI code page.
#include <vector>

#include "names_win32.h"

namespace files {

std::wstring Native(const Utf8Path& path) {
  const std::string& text = path.text;
  if (text.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                      &wide[0], length);
  return wide;
}

std::string Utf8Of(const wchar_t* text, int length) {
  if (length <= 0) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], size, nullptr, nullptr);
  return utf8;
}

TMF_FILES_PATH_CALLS(Utf8Path)

EntryInfo ProbeEntry(const Utf8Path& path) {
  ErrorModeGuard quiet;
  EntryInfo entry;
  const std::wstring name = Native(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return entry;
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    entry.type = folder ? EntryType::kFolder : EntryType::kRegular;
    return entry;
  }
  entry.type = EntryType::kLink;
  FileHandle target;
  target.handle = reinterpret_cast<std::intptr_t>(OpenForFacts(name));
  BY_HANDLE_FILE_INFORMATION info;
  if (IsOpen(Handle(target)) && GetFileInformationByHandle(Handle(target), &info)) {
    entry.target = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryType::kFolder
                                                                           : EntryType::kRegular;
  }
  return entry;
}

bool ListFolder(const Utf8Path& folder, std::vector<std::string>& names, std::string& error) {
  ErrorModeGuard quiet;
  const std::string pattern = folder.text + "\\*";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(Native(Utf8Path{pattern}).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return Fail(error);
  do {
    const std::string name = Utf8Of(found.cFileName, lstrlenW(found.cFileName));
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  const DWORD last = GetLastError();
  FindClose(search);
  if (last != ERROR_NO_MORE_FILES) {
    error = Reason(last);
    return false;
  }
  return true;
}

// The final path of the open file or folder, without the "\\?\" that marks a long path.
bool FullPathOf(const Utf8Path& path, std::string& full, std::string& error) {
  ErrorModeGuard quiet;
  FileHandle file;
  file.handle = reinterpret_cast<std::intptr_t>(OpenForFacts(Native(path)));
  if (!IsOpen(Handle(file))) return Fail(error);
  std::wstring wide = Grown<std::wstring>(
      [&](wchar_t* buffer, DWORD size) { return GetFinalPathT(Handle(file), buffer, size); });
  if (wide.empty()) {
    // No final paths on this system: the full path as given stands for it.
    wide = Grown<std::wstring>([&](wchar_t* buffer, DWORD size) {
      return GetFullPathNameT(Native(path).c_str(), size, buffer);
    });
    if (wide.empty()) return Fail(error);
  }
  if (wide.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    wide = L"\\" + wide.substr(7);
  } else if (wide.compare(0, 4, L"\\\\?\\") == 0) {
    wide = wide.substr(4);
  }
  full = Utf8Of(wide.data(), static_cast<int>(wide.size()));
  return true;
}

// MOVEFILE_WRITE_THROUGH already waits for a rename to reach the disk.
void FlushFolderOf(const Utf8Path&) {}

}  // namespace files
