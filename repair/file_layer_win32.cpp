// The Win32 file layer: "A" calls, no sharing, and no system error box on any of them.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "file_layer.h"

namespace {

// From this size on, the buffer comes straight from VirtualAlloc: page-aligned, committed in
// one call, with no heap bookkeeping around a block of hundreds of megabytes.
constexpr std::size_t kVirtualFrom = std::size_t{8} << 20;

// Runs a file operation with SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, so that the system
// never shows a box of its own (an empty drive, a missing share), and restores the mode after.
struct ErrorModeGuard {
  UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  ~ErrorModeGuard() { SetErrorMode(previous); }
};
static_assert((SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX) == 0x8001, "error mode 0x8001");

HANDLE Handle(const FileGuard& file) { return reinterpret_cast<HANDLE>(file.handle); }

bool IsOpen(const FileGuard& file) {
  return Handle(file) != INVALID_HANDLE_VALUE && Handle(file) != nullptr;
}

// Opens path without sharing into file, and says whether it is a file on disk: a name such as
// "CON.PAK" may open a device instead. Whatever was opened stays in file for its guard to close.
bool OpenDiskFile(const std::string& path, DWORD access, DWORD disposition, FileGuard& file) {
  HANDLE handle =
      CreateFileA(path.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  file.handle = reinterpret_cast<std::intptr_t>(handle);
  return GetFileType(handle) == FILE_TYPE_DISK;
}

bool IdentityOf(HANDLE handle, FileIdentity& identity, std::int64_t& size) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  identity.volume = info.dwVolumeSerialNumber;
  identity.index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  size = (static_cast<std::int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return true;
}

// Opens path for nothing but its identity, following links, whatever the share modes of others;
// a folder too.
HANDLE OpenForIdentity(const char* path) {
  return CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Whether the folders that hold the two full paths are one folder.
bool SameFolder(std::string first, std::string second) {
  first.resize(first.rfind('\\') + 1);
  second.resize(second.rfind('\\') + 1);
  FileGuard a;
  FileGuard b;
  a.handle = reinterpret_cast<std::intptr_t>(OpenForIdentity(first.c_str()));
  b.handle = reinterpret_cast<std::intptr_t>(OpenForIdentity(second.c_str()));
  FileIdentity idA;
  FileIdentity idB;
  std::int64_t ignored = 0;
  return IsOpen(a) && IsOpen(b) && IdentityOf(Handle(a), idA, ignored) &&
         IdentityOf(Handle(b), idB, ignored) && idA == idB;
}

// Whether the file open as handle was reached through a link at path: its final path names
// another folder, or another name in the folder. Wine shows no link as such, and its MoveFileA
// moves the file a link points at, not the link: the track would leave the other folder. Looked
// up at run time; a system without the call has no links to files, and a final path that cannot
// be had is taken as no link.
bool ReachedThroughLink(const std::string& path, HANDLE handle) {
  using FinalPathCall = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
  const auto finalPathOf = reinterpret_cast<FinalPathCall>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
  if (finalPathOf == nullptr) return false;
  std::string finalPath(MAX_PATH, '\0');
  DWORD length = finalPathOf(handle, &finalPath[0], static_cast<DWORD>(finalPath.size()), 0);
  if (length >= finalPath.size()) {
    finalPath.resize(length + 1);
    length = finalPathOf(handle, &finalPath[0], static_cast<DWORD>(finalPath.size()), 0);
  }
  if (length == 0 || length >= finalPath.size()) return false;
  finalPath.resize(length);

  // The path as the user gave it, made full and long (a short 8.3 name is no link).
  std::string full(MAX_PATH, '\0');
  length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
  if (length == 0 || length >= full.size()) return false;
  full.resize(length);
  std::string longer(MAX_PATH, '\0');
  length = GetLongPathNameA(full.c_str(), &longer[0], static_cast<DWORD>(longer.size()));
  if (length > 0 && length < longer.size()) full.assign(longer.data(), length);

  const char* finalName = finalPath.c_str() + finalPath.rfind('\\') + 1;
  const char* fullName = full.c_str() + full.rfind('\\') + 1;
  return lstrcmpiA(finalName, fullName) != 0 || !SameFolder(finalPath, full);
}

// Writes one byte to every page, so that the pages exist before ReadFile fills them: under Wine
// a read into untouched pages measured about twice as slow as touching them first and then
// reading (64 MiB: 65-71 ms against 38-54 ms; 1 MiB: 0.9-1.0 ms against 0.53-0.65 ms). The system
// zero-fills each page on its first touch either way.
void TouchPages(char* data, std::size_t size) {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  for (std::size_t at = 0; at < size; at += system.dwPageSize) data[at] = 0;
}

}  // namespace

FileGuard::~FileGuard() { CloseFile(*this); }

ContentBuffer::~ContentBuffer() {
  if (data == nullptr) return;
  if (size >= kVirtualFrom) {
    VirtualFree(data, 0, MEM_RELEASE);
  } else {
    std::free(data);
  }
}

bool OpenExistingFile(const std::string& path, FileGuard& file) {
  ErrorModeGuard quiet;
  if (!OpenDiskFile(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, file)) {
    if (IsOpen(file)) return false;  // opened, but not a file on disk
    if (!OpenDiskFile(path, GENERIC_READ, OPEN_EXISTING, file)) return false;
  }
  return !ReachedThroughLink(path, Handle(file));
}

bool QueryOpenFile(FileGuard& file, FileFacts& facts) {
  ErrorModeGuard quiet;
  return IdentityOf(Handle(file), facts.identity, facts.size);
}

bool AllocateContent(ContentBuffer& buffer, std::size_t size) {
  void* data = size >= kVirtualFrom
                   ? VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                   : std::malloc(size == 0 ? 1 : size);
  if (data == nullptr) return false;
  TouchPages(static_cast<char*>(data), size);
  buffer.data = static_cast<char*>(data);
  buffer.size = size;
  return true;
}

bool ReadExactly(FileGuard& file, char* data, std::size_t size) {
  ErrorModeGuard quiet;
  // The caller keeps sizes below 2^31, so one request moves it all.
  if (size > MAXDWORD) return false;
  DWORD got = 0;
  return ReadFile(Handle(file), data, static_cast<DWORD>(size), &got, nullptr) && got == size;
}

bool EndTrackRead(FileGuard& file) { return CloseFile(file); }

bool CheckSameFile(const std::string& path, const FileIdentity& identity, bool& same) {
  ErrorModeGuard quiet;
  same = false;
  FileGuard file;
  file.handle = reinterpret_cast<std::intptr_t>(OpenForIdentity(path.c_str()));
  if (!IsOpen(file)) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  FileIdentity found;
  std::int64_t size = 0;
  if (!IdentityOf(Handle(file), found, size)) return false;
  same = found == identity;
  return true;
}

bool IsOrdinaryFile(const std::string& path) {
  ErrorModeGuard quiet;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  // A read-only file could be set aside but never deleted after.
  const DWORD special = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                        FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY;
  return (found.dwFileAttributes & special) == 0;
}

bool CreateNewFile(const std::string& path, const FileFacts&, FileGuard& file) {
  ErrorModeGuard quiet;
  if (OpenDiskFile(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, file)) return true;
  // Created, but not a file on disk: remove it, so that the name is free for the backup to
  // move back.
  if (IsOpen(file) && CloseFile(file)) DeleteFileA(path.c_str());
  return false;
}

bool WriteExactly(FileGuard& file, const char* data, std::size_t size) {
  ErrorModeGuard quiet;
  if (size > MAXDWORD) return false;
  DWORD put = 0;
  return WriteFile(Handle(file), data, static_cast<DWORD>(size), &put, nullptr) && put == size;
}

bool CloseFile(FileGuard& file) {
  if (!IsOpen(file)) return true;
  ErrorModeGuard quiet;
  HANDLE handle = Handle(file);
  file.handle = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
  return CloseHandle(handle) != 0;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  ErrorModeGuard quiet;
  // Without MOVEFILE_REPLACE_EXISTING, MoveFileA fails when to exists.
  return MoveFileA(from.c_str(), to.c_str()) != 0;
}

bool RemoveFile(const std::string& path) {
  ErrorModeGuard quiet;
  return DeleteFileA(path.c_str()) != 0;
}
