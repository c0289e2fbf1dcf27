// The Win32 store: "A" forms only; a track is opened shared with readers alone, so that a
// program writing it (or holding it to itself) makes the open fail instead of racing us.
#include <windows.h>

#include <vector>

#include "store.h"

namespace collection {

const char kSeparator = '\\';

namespace {

// One ReadFile or WriteFile moves a DWORD count; larger transfers loop in steps of this.
constexpr DWORD kMaxTransfer = DWORD{1} << 30;

HANDLE Handle(const StoreFile& file) { return reinterpret_cast<HANDLE>(file.handle); }

std::string Reason(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "no such file";
    case ERROR_ACCESS_DENIED:
      return "permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "in use by another program";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "disk full";
    case ERROR_WRITE_PROTECT:
      return "read-only medium";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return "a file of that name exists";
    case ERROR_FILENAME_EXCED_RANGE:
      return "name too long";
    default:
      return "Windows error " + std::to_string(error);
  }
}

bool Fail(std::string& error) {
  error = Reason(GetLastError());
  return false;
}

void FillIdentity(const BY_HANDLE_FILE_INFORMATION& info, FileIdentity& identity) {
  identity.volume = info.dwVolumeSerialNumber;
  identity.index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  identity.size =
      static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
  identity.modified =
      static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                info.ftLastWriteTime.dwLowDateTime);
}

OVERLAPPED At(std::int64_t offset) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  return at;
}

}  // namespace

StoreFile::~StoreFile() {
  std::string ignored;
  CloseFile(*this, ignored);
}

EntryInfo ProbeEntry(const std::string& path) {
  EntryInfo entry;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return entry;
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    entry.type = folder ? EntryType::kFolder : EntryType::kRegular;
    return entry;
  }
  entry.type = EntryType::kLink;
  HANDLE target =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (target == INVALID_HANDLE_VALUE) return entry;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(target, &info)) {
    entry.target = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryType::kFolder
                                                                           : EntryType::kRegular;
  }
  CloseHandle(target);
  return entry;
}

bool ListFolder(const std::string& folder, std::vector<std::string>& names, std::string& error) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return Fail(error);
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  const DWORD last = GetLastError();
  FindClose(search);
  if (last != ERROR_NO_MORE_FILES) {
    error = Reason(last);
    return false;
  }
  return true;
}

bool OpenForReading(const std::string& path, StoreFile& file, FileIdentity& identity,
                    std::string& error) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = "is a folder";
    return false;
  }
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Fail(error);
  file.handle = reinterpret_cast<std::intptr_t>(handle);
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    error = "is not a regular file";
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return Fail(error);
  FillIdentity(info, identity);
  return true;
}

bool IdentityAt(const std::string& path, FileIdentity& identity) {
  HANDLE handle =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (ok) FillIdentity(info, identity);
  return ok;
}

bool ReadAt(StoreFile& file, std::int64_t offset, char* data, std::size_t size, std::size_t& got,
            std::string& error) {
  got = 0;
  while (got < size) {
    const DWORD ask = size - got < kMaxTransfer ? static_cast<DWORD>(size - got) : kMaxTransfer;
    OVERLAPPED at = At(offset + static_cast<std::int64_t>(got));
    DWORD moved = 0;
    if (!ReadFile(Handle(file), data + got, ask, &moved, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return Fail(error);
    }
    if (moved == 0) break;
    got += moved;
  }
  return true;
}

bool CreateNew(const std::string& path, StoreFile& file, std::string& error) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Fail(error);
  file.handle = reinterpret_cast<std::intptr_t>(handle);
  return true;
}

bool SetSize(StoreFile& file, std::int64_t size, std::string& error) {
  LARGE_INTEGER end;
  end.QuadPart = size;
  return (SetFilePointerEx(Handle(file), end, nullptr, FILE_BEGIN) && SetEndOfFile(Handle(file))) ||
         Fail(error);
}

// A plain streaming copy through one buffer of a MiB: under wine64 it measured faster than
// CopyFileExA. The buffer is made once per thread, not once per stretch between two changes.
bool CopyContent(StoreFile& from, StoreFile& to, std::int64_t begin, std::int64_t size,
                 std::string& error) {
  thread_local std::vector<char> buffer(std::size_t{1} << 20);
  for (std::int64_t done = begin; done < size;) {
    const std::size_t ask = size - done < static_cast<std::int64_t>(buffer.size())
                                ? static_cast<std::size_t>(size - done)
                                : buffer.size();
    std::size_t got = 0;
    if (!ReadAt(from, done, buffer.data(), ask, got, error)) return false;
    if (got == 0) {
      error = "the track ended early";
      return false;
    }
    if (!WriteAt(to, done, buffer.data(), got, error)) return false;
    done += static_cast<std::int64_t>(got);
  }
  return true;
}

bool WriteAt(StoreFile& file, std::int64_t offset, const char* data, std::size_t size,
             std::string& error) {
  std::size_t done = 0;
  while (done < size) {
    const DWORD ask = size - done < kMaxTransfer ? static_cast<DWORD>(size - done) : kMaxTransfer;
    OVERLAPPED at = At(offset + static_cast<std::int64_t>(done));
    DWORD moved = 0;
    if (!WriteFile(Handle(file), data + done, ask, &moved, &at)) return Fail(error);
    if (moved == 0) {
      error = "disk full";
      return false;
    }
    done += moved;
  }
  return true;
}

// Win32 has no flush that does not wait: FlushFile does it all.
void StartFlush(StoreFile&) {}

bool FlushFile(StoreFile& file, std::string& error) {
  return FlushFileBuffers(Handle(file)) != 0 || Fail(error);
}

// Flushing a volume needs administrator rights on Windows: each file is flushed instead.
bool FlushVolume(StoreFile&, std::string& error) {
  error.clear();
  return false;
}

bool CloseFile(StoreFile& file, std::string& error) {
  if (file.handle == -1) return true;
  HANDLE handle = Handle(file);
  file.handle = -1;
  return CloseHandle(handle) != 0 || Fail(error);
}

bool HardLink(const std::string& existing, const std::string& linkPath, bool& noLinks,
              std::string& error) {
  noLinks = false;
  if (CreateHardLinkA(linkPath.c_str(), existing.c_str(), nullptr)) return true;
  const DWORD last = GetLastError();
  noLinks = last == ERROR_NOT_SUPPORTED || last == ERROR_INVALID_FUNCTION;
  error = Reason(last);
  return false;
}

bool RenameReplacing(const std::string& from, const std::string& to, std::string& error) {
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
         Fail(error);
}

bool RenameNoReplace(const std::string& from, const std::string& to, std::string& error) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0 || Fail(error);
}

bool RemoveFile(const std::string& path, std::string& error) {
  return DeleteFileA(path.c_str()) != 0 || Fail(error);
}

// MOVEFILE_WRITE_THROUGH already waits for the rename to reach the disk.
void FlushFolderOf(const std::string&) {}

unsigned long UniqueNumber() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<unsigned long>(GetCurrentProcessId()) * 1000003UL ^
         static_cast<unsigned long>(counter.QuadPart) ^ static_cast<unsigned long>(GetTickCount());
}

}  // namespace collection
