#include <windows.h>

#include <algorithm>

#include "disk.h"
#include "handle_guard.h"

const char* const kSeparator = "\\";

namespace {

bool WriteAt(HANDLE file, std::int64_t offset, const std::string& bytes) {
  LARGE_INTEGER at;
  at.QuadPart = offset;
  DWORD put = 0;
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
         (bytes.empty() ||
          (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
           put == bytes.size()));
}

// The host's name of a Windows path under Wine (Wine's own kernel32 export), or empty.
std::string UnixPathOf(const std::string& path) {
  using UnixNameCall = char*(CDECL*)(const WCHAR*);
  const auto unixNameOf = reinterpret_cast<UnixNameCall>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (unixNameOf == nullptr) return std::string();
  std::wstring wide(path.size() + 1, L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], static_cast<int>(wide.size())) ==
      0) {
    return std::string();
  }
  char* name = unixNameOf(wide.c_str());
  if (name == nullptr) return std::string();
  const std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

// Runs a shell command on the host under Wine. Wine starts a host program from CreateProcessA
// but cannot wait for it: the command touches a marker file when it succeeds, and that is
// awaited (5 s at most).
bool RunOnHost(const std::string& command) {
  char temp[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof temp, temp);
  if (length == 0 || length > MAX_PATH) return false;
  static unsigned g_runs = 0;  // markers made by this process so far
  const std::string marker = std::string(temp) + "trackmapfix-host-" +
                             std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++g_runs);
  const std::string unixMarker = UnixPathOf(marker);
  if (unixMarker.empty()) return false;
  std::string line = "/bin/sh -c \"" + command + " && touch " + unixMarker + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  for (int wait = 0; wait < 500; ++wait) {
    if (GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES) {
      DeleteFileA(marker.c_str());
      return true;
    }
    Sleep(10);
  }
  return false;
}

}  // namespace

bool WriteBytes(const std::string& path, const std::string& bytes) {
  HandleGuard file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.ok() && WriteAt(file.value, 0, bytes);
}

bool ReadRange(const std::string& path, std::int64_t offset, std::size_t count,
               std::string& bytes) {
  bytes.clear();
  HandleGuard file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER at;
  at.QuadPart = offset;
  if (!file.ok() || !SetFilePointerEx(file.value, at, nullptr, FILE_BEGIN)) return false;
  char chunk[1 << 16];
  while (bytes.size() < count) {
    DWORD got = 0;
    const DWORD ask = static_cast<DWORD>(std::min(sizeof chunk, count - bytes.size()));
    if (!ReadFile(file.value, chunk, ask, &got, nullptr)) return false;
    if (got == 0) break;
    bytes.append(chunk, got);
  }
  return true;
}

bool ReadBytes(const std::string& path, std::string& bytes) {
  return ReadRange(path, 0, static_cast<std::size_t>(-1), bytes);
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr); }

bool MakeSparseFile(const std::string& path, std::int64_t size, const std::string& tail) {
  HandleGuard file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return false;
  DWORD ignored = 0;
  DeviceIoControl(file.value, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = size;
  return SetFilePointerEx(file.value, end, nullptr, FILE_BEGIN) && SetEndOfFile(file.value) &&
         WriteAt(file.value, size - static_cast<std::int64_t>(tail.size()), tail);
}

std::int64_t SizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool SetReadOnly(const std::string& path, bool readOnly) {
  return SetFileAttributesA(path.c_str(),
                            readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
}

std::string MakeTempFolder() {
  char base[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof base, base);
  if (length == 0 || length > MAX_PATH) return std::string();
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    const std::string path = std::string(base) + "trackmapfix-test-" +
                             std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount() + attempt);
    if (CreateDirectoryA(path.c_str(), nullptr)) return path;
  }
  return std::string();
}

void RemoveTree(const std::string& path) {
  if (path.empty()) return;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string entry = path + "\\" + name;
      SetFileAttributesA(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(entry);
      } else {
        DeleteFileA(entry.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  if (RemoveDirectoryA(path.c_str())) return;
  // Under Wine a link whose target is gone is listed by no call: the host's rm removes what is
  // left.
  const std::string unixPath = UnixPathOf(path);
  if (!unixPath.empty()) RunOnHost("rm -rf " + unixPath);
}

bool SetHidden(const std::string& path) {
  return SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
}

bool MakeLink(const std::string& target, const std::string& link) {
  const std::string unixLink = UnixPathOf(link);
  const bool full = target.find('\\') != std::string::npos;
  const std::string unixTarget = full ? UnixPathOf(target) : target;
  return !unixLink.empty() && !unixTarget.empty() &&
         RunOnHost("ln -s " + unixTarget + " " + unixLink);
}

bool GetPermissions(const std::string&, unsigned&) { return false; }
bool SetPermissions(const std::string&, unsigned) { return false; }
bool SetImmutable(const std::string& path, bool immutable) {
  const std::string unixPath = UnixPathOf(path);
  return !unixPath.empty() &&
         RunOnHost(std::string("chattr ") + (immutable ? "+i " : "-i ") + unixPath);
}
bool MakeSticky(const std::string&) { return false; }

ExclusiveHold::~ExclusiveHold() {
  HANDLE value = reinterpret_cast<HANDLE>(handle);
  if (value != INVALID_HANDLE_VALUE) CloseHandle(value);
}

bool HoldExclusive(const std::string& path, ExclusiveHold& hold) {
  HANDLE value = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  hold.handle = reinterpret_cast<std::intptr_t>(value);
  return value != INVALID_HANDLE_VALUE;
}

// Windows has no per-process file size limit; tests use a full disk instead.
FileSizeLimit::FileSizeLimit(std::int64_t) {}
FileSizeLimit::~FileSizeLimit() {}

// Windows checks the read-only attribute for every user.
OrdinaryUser::OrdinaryUser() {}
OrdinaryUser::~OrdinaryUser() {}
