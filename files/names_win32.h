// The Win32 primitives that take a path, written once for both kinds of path; the "A" and the
// wide instantiations live in files of their own (names_ansi_win32.cpp, names_utf8_win32.cpp).
#pragma once

#include "files.h"
#include "path_calls.h"
#include "win32_calls.h"

namespace files {

namespace {

// Opens path as asked into file and says whether it is a file on disk: a name such as "CON.PAK"
// may open a device instead. Whatever was opened stays in file for its guard to close.
template <typename Text>
bool OpenDiskFile(const Text& path, DWORD access, DWORD share, DWORD disposition, FileHandle& file,
                  std::string& error) {
  HANDLE handle = CreateFileT(path.c_str(), access, share, disposition, FILE_ATTRIBUTE_NORMAL);
  if (handle == INVALID_HANDLE_VALUE) return Fail(error);
  file.handle = reinterpret_cast<std::intptr_t>(handle);
  if (GetFileType(handle) == FILE_TYPE_DISK) return true;
  error = "is not a regular file";
  return false;
}

// Opens path for nothing but its facts, following links, whatever the share modes of others; a
// folder too.
template <typename Text>
HANDLE OpenForFacts(const Text& path) {
  return CreateFileT(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
}

// The name of a full path: what follows its last backslash.
template <typename Text>
Text LastName(const Text& path) {
  return path.substr(path.find_last_of('\\') + 1);
}

// Whether the folders that hold the two full paths are one folder.
template <typename Text>
bool SameFolder(Text first, Text second) {
  first.resize(first.find_last_of('\\') + 1);
  second.resize(second.find_last_of('\\') + 1);
  FileHandle a;
  FileHandle b;
  a.handle = reinterpret_cast<std::intptr_t>(OpenForFacts(first));
  b.handle = reinterpret_cast<std::intptr_t>(OpenForFacts(second));
  FileFacts factsA;
  FileFacts factsB;
  return IsOpen(Handle(a)) && IsOpen(Handle(b)) && FactsOf(Handle(a), factsA) &&
         FactsOf(Handle(b), factsB) && SameFile(factsA, factsB);
}

// Calls fill(buffer, size) for a text of unknown length, growing the buffer once; empty when
// the call fails.
template <typename Text, typename Fill>
Text Grown(Fill fill) {
  Text text(MAX_PATH, 0);
  DWORD length = fill(&text[0], static_cast<DWORD>(text.size()));
  if (length >= text.size()) {
    text.resize(length + 1);
    length = fill(&text[0], static_cast<DWORD>(text.size()));
  }
  if (length == 0 || length >= text.size()) return Text();
  text.resize(length);
  return text;
}

}  // namespace

template <typename Path>
bool OpenExisting(const Path& path, Access access, Sharing sharing, FileHandle& file,
                  std::string& error) {
  ErrorModeGuard quiet;
  const auto name = Native(path);
  const DWORD attributes = GetFileAttributesT(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = "is a folder";
    return false;
  }
  const DWORD rights = access == Access::kRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  const DWORD share = sharing == Sharing::kNone ? 0 : FILE_SHARE_READ | FILE_SHARE_DELETE;
  return OpenDiskFile(name, rights, share, OPEN_EXISTING, file, error);
}

template <typename Path>
bool CreateNew(const Path& path, unsigned, FileHandle& file, std::string& error) {
  ErrorModeGuard quiet;
  const auto name = Native(path);
  if (OpenDiskFile(name, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, file, error)) return true;
  // Created, but not a file on disk: remove it, so that the name is free again.
  std::string ignored;
  if (IsOpen(Handle(file)) && CloseFile(file, ignored)) DeleteFileT(name.c_str());
  return false;
}

template <typename Path>
bool FactsAt(const Path& path, FileFacts& facts, bool& missing) {
  ErrorModeGuard quiet;
  FileHandle file;
  file.handle = reinterpret_cast<std::intptr_t>(OpenForFacts(Native(path)));
  const DWORD error = GetLastError();
  missing =
      !IsOpen(Handle(file)) && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
  return IsOpen(Handle(file)) && FactsOf(Handle(file), facts);
}

// Compares the final path of the open file with the path as given, made full and long (a short
// 8.3 name is no link). Wine's MoveFile moves the file a link points at, not the link.
template <typename Path>
bool ReachedThroughLink(const Path& path, FileHandle& file) {
  ErrorModeGuard quiet;
  using Text = decltype(Native(path));
  const Text finalPath = Grown<Text>([&](typename Text::value_type* buffer, DWORD size) {
    return GetFinalPathT(Handle(file), buffer, size);
  });
  if (finalPath.empty()) return false;
  const Text given = Native(path);
  Text full = Grown<Text>([&](typename Text::value_type* buffer, DWORD size) {
    return GetFullPathNameT(given.c_str(), size, buffer);
  });
  if (full.empty()) return true;
  const Text longer = Grown<Text>([&](typename Text::value_type* buffer, DWORD size) {
    return GetLongPathNameT(full.c_str(), buffer, size);
  });
  if (!longer.empty()) full = longer;
  return CompareNamesT(LastName(finalPath).c_str(), LastName(full).c_str()) != 0 ||
         !SameFolder(finalPath, full);
}

template <typename Path>
bool IsOrdinaryFile(const Path& path) {
  ErrorModeGuard quiet;
  const DWORD attributes = GetFileAttributesT(Native(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  // A read-only file could be set aside but never deleted after.
  const DWORD special = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                        FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY;
  return (attributes & special) == 0;
}

// Without MOVEFILE_REPLACE_EXISTING, the system itself refuses when to exists.
template <typename Path>
bool RenameNoReplace(const Path& from, const Path& to, std::string& error) {
  ErrorModeGuard quiet;
  return MoveFileExT(Native(from).c_str(), Native(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0 ||
         Fail(error);
}

template <typename Path>
bool RenameReplacing(const Path& from, const Path& to, std::string& error) {
  ErrorModeGuard quiet;
  return MoveFileExT(Native(from).c_str(), Native(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
         Fail(error);
}

template <typename Path>
bool HardLink(const Path& existing, const Path& linkPath, bool& noLinks, std::string& error) {
  ErrorModeGuard quiet;
  noLinks = false;
  if (CreateHardLinkT(Native(linkPath).c_str(), Native(existing).c_str())) return true;
  const DWORD last = GetLastError();
  noLinks = last == ERROR_NOT_SUPPORTED || last == ERROR_INVALID_FUNCTION;
  error = Reason(last);
  return false;
}

template <typename Path>
bool RemoveFile(const Path& path, std::string& error) {
  ErrorModeGuard quiet;
  return DeleteFileT(Native(path).c_str()) != 0 || Fail(error);
}

}  // namespace files
