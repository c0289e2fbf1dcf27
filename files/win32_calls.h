// Inside the Win32 file primitives: the error mode guard, and each Win32 call in its "A" and
// wide form under one name, so that a primitive is written once for both kinds of path. A
// program that uses only ANSI paths instantiates only the "A" forms, and imports no wide call.
#pragma once

#include <windows.h>

#include <string>

#include "files.h"

namespace files {

// Runs a file operation with SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, so that the system
// never shows a box of its own (an empty drive, a missing share), and restores the mode after.
struct ErrorModeGuard {
  UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  ~ErrorModeGuard() { SetErrorMode(previous); }
  ErrorModeGuard() = default;
  ErrorModeGuard(const ErrorModeGuard&) = delete;
  ErrorModeGuard& operator=(const ErrorModeGuard&) = delete;
};
static_assert((SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX) == 0x8001, "error mode 0x8001");

inline HANDLE Handle(const FileHandle& file) { return reinterpret_cast<HANDLE>(file.handle); }

inline bool IsOpen(HANDLE handle) { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }

// The reason in words for a Win32 error code.
std::string Reason(DWORD error);
bool Fail(std::string& error);  // sets error from GetLastError() and returns false

// The facts of an open handle.
bool FactsOf(HANDLE handle, FileFacts& facts);

// The text a call takes: ANSI bytes as they are, UTF-8 as UTF-16 (empty when it does not
// convert, which no call then finds).
inline std::string Native(const AnsiPath& path) { return path.text; }
std::wstring Native(const Utf8Path& path);
// UTF-16 from Windows as the library's UTF-8.
std::string Utf8Of(const wchar_t* text, int length);

inline HANDLE CreateFileT(const char* path, DWORD access, DWORD share, DWORD disposition,
                          DWORD flags) {
  return CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
}
inline HANDLE CreateFileT(const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                          DWORD flags) {
  return CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
}
inline BOOL MoveFileExT(const char* from, const char* to, DWORD flags) {
  return MoveFileExA(from, to, flags);
}
inline BOOL MoveFileExT(const wchar_t* from, const wchar_t* to, DWORD flags) {
  return MoveFileExW(from, to, flags);
}
inline BOOL DeleteFileT(const char* path) { return DeleteFileA(path); }
inline BOOL DeleteFileT(const wchar_t* path) { return DeleteFileW(path); }
inline BOOL CreateHardLinkT(const char* link, const char* existing) {
  return CreateHardLinkA(link, existing, nullptr);
}
inline BOOL CreateHardLinkT(const wchar_t* link, const wchar_t* existing) {
  return CreateHardLinkW(link, existing, nullptr);
}
inline DWORD GetFileAttributesT(const char* path) { return GetFileAttributesA(path); }
inline DWORD GetFileAttributesT(const wchar_t* path) { return GetFileAttributesW(path); }
inline DWORD GetFullPathNameT(const char* path, DWORD size, char* full) {
  return GetFullPathNameA(path, size, full, nullptr);
}
inline DWORD GetFullPathNameT(const wchar_t* path, DWORD size, wchar_t* full) {
  return GetFullPathNameW(path, size, full, nullptr);
}
inline DWORD GetLongPathNameT(const char* path, char* longer, DWORD size) {
  return GetLongPathNameA(path, longer, size);
}
inline DWORD GetLongPathNameT(const wchar_t* path, wchar_t* longer, DWORD size) {
  return GetLongPathNameW(path, longer, size);
}
inline int CompareNamesT(const char* a, const char* b) { return lstrcmpiA(a, b); }
inline int CompareNamesT(const wchar_t* a, const wchar_t* b) { return lstrcmpiW(a, b); }

// GetFinalPathNameByHandle, looked up at run time: systems before Vista lack it. Returns the
// length written, 0 on failure or where the call does not exist.
inline DWORD GetFinalPathT(HANDLE handle, char* path, DWORD size) {
  using Call = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
  const auto call = reinterpret_cast<Call>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
  return call == nullptr ? 0 : call(handle, path, size, 0);
}
inline DWORD GetFinalPathT(HANDLE handle, wchar_t* path, DWORD size) {
  using Call = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  const auto call = reinterpret_cast<Call>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW")));
  return call == nullptr ? 0 : call(handle, path, size, 0);
}

}  // namespace files
