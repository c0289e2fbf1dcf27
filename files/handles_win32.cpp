// The Win32 primitives on open files, and the words for Win32 errors.

#include "files.h"
#include "paths.h"
#include "win32_calls.h"

namespace files {

const char kSeparator = '\\';
const char* const kSeparators = "\\/";
const bool kOpenFilesRename = false;

namespace {

// One ReadFile or WriteFile moves a DWORD count; this one request moves any track the dialog
// reads (under Wine, one request of up to 2^31 - 1 bytes returns the full count).
constexpr DWORD kMaxTransfer = 0x7FFFFFFF;

OVERLAPPED At(std::int64_t offset) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  return at;
}

}  // namespace

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
    case ERROR_NOT_READY:
      return "no medium in the drive";
    default:
      break;
  }
  // The system's own words, in English where it has them; the number only where it has none.
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<char*>(&text),
      0, nullptr);
  std::string words = text != nullptr ? std::string(text, length) : std::string();
  LocalFree(text);
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.' ||
                            words.back() == ' ')) {
    words.pop_back();
  }
  return words.empty() ? "Windows error " + std::to_string(error) : words;
}

bool Fail(std::string& error) {
  error = Reason(GetLastError());
  return false;
}

bool FactsOf(HANDLE handle, FileFacts& facts) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  facts.volume = info.dwVolumeSerialNumber;
  facts.index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  facts.size =
      static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
  facts.modified =
      static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                info.ftLastWriteTime.dwLowDateTime);
  facts.permissions = 0;
  return true;
}

FileHandle::~FileHandle() {
  std::string ignored;
  CloseFile(*this, ignored);
}

bool CloseFile(FileHandle& file, std::string& error) {
  HANDLE handle = Handle(file);
  if (!IsOpen(handle)) return true;
  ErrorModeGuard quiet;
  file.handle = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
  return CloseHandle(handle) != 0 || Fail(error);
}

bool QueryOpen(FileHandle& file, FileFacts& facts, std::string& error) {
  ErrorModeGuard quiet;
  return FactsOf(Handle(file), facts) || Fail(error);
}

bool ReadAt(FileHandle& file, std::int64_t offset, char* data, std::size_t size, std::size_t& got,
            std::string& error) {
  ErrorModeGuard quiet;
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

bool WriteAt(FileHandle& file, std::int64_t offset, const char* data, std::size_t size,
             std::string& error) {
  ErrorModeGuard quiet;
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

bool SetSize(FileHandle& file, std::int64_t size, std::string& error) {
  ErrorModeGuard quiet;
  LARGE_INTEGER end;
  end.QuadPart = size;
  return (SetFilePointerEx(Handle(file), end, nullptr, FILE_BEGIN) && SetEndOfFile(Handle(file))) ||
         Fail(error);
}

// Win32 has no flush that does not wait: FlushFile does it all.
void StartFlush(FileHandle&) {}

// Flushing a volume needs administrator rights on Windows: each file is flushed instead.
bool FlushVolume(FileHandle&, std::string& error) {
  error.clear();
  return false;
}

bool FlushFile(FileHandle& file, std::string& error) {
  ErrorModeGuard quiet;
  return FlushFileBuffers(Handle(file)) != 0 || Fail(error);
}

unsigned long UniqueNumber() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<unsigned long>(GetCurrentProcessId()) * 1000003UL ^
         static_cast<unsigned long>(counter.QuadPart) ^ static_cast<unsigned long>(GetTickCount());
}

}  // namespace files
