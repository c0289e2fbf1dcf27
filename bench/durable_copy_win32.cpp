// bench_durable_copy FROM TO: copies every file under the folder FROM into the new folder TO, each
// streamed through one buffer of a MiB and flushed with FlushFileBuffers: the floor of a durable
// copy of a collection with plain Win32 calls, which trackmaps fix is measured against.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Closes the handle on every path.
struct Handle {
  HANDLE handle;
  ~Handle() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

bool CopyFileDurably(const std::string& from, const std::string& to, std::vector<char>& buffer) {
  Handle in{CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr)};
  Handle out{CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr)};
  if (in.handle == INVALID_HANDLE_VALUE || out.handle == INVALID_HANDLE_VALUE) return false;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in.handle, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      return false;
    }
    if (got == 0) break;
    DWORD put = 0;
    if (!WriteFile(out.handle, buffer.data(), got, &put, nullptr) || put != got) return false;
  }
  return FlushFileBuffers(out.handle) != 0;
}

bool CopyFolder(const std::string& from, const std::string& to, std::vector<char>& buffer) {
  if (!CreateDirectoryA(to.c_str(), nullptr)) return false;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((from + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    ok = folder ? CopyFolder(from + "\\" + name, to + "\\" + name, buffer)
                : CopyFileDurably(from + "\\" + name, to + "\\" + name, buffer);
  } while (ok && FindNextFileA(search, &found));
  FindClose(search);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_durable_copy FROM TO\n");
    return 2;
  }
  std::vector<char> buffer(std::size_t{1} << 20);
  if (!CopyFolder(argv[1], argv[2], buffer)) {
    std::fprintf(stderr, "bench_durable_copy: copy failed (Windows error %lu)\n", GetLastError());
    return 1;
  }
  return 0;
}
