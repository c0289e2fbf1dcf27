// The floor with plain Win32 calls and a std::vector, as an ordinary program would write it.
#include <windows.h>

#include <vector>

#include "floor.h"

namespace {

// Closes the handle on every path.
struct Handle {
  HANDLE handle;
  ~Handle() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

}  // namespace

bool CopyWhole(const std::string& from, const std::string& to, CopyPhases& phases) {
  Handle in{CreateFileA(from.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr)};
  LARGE_INTEGER size;
  if (in.handle == INVALID_HANDLE_VALUE || !GetFileSizeEx(in.handle, &size) ||
      size.QuadPart > MAXLONG) {
    return false;
  }
  auto mark = std::chrono::steady_clock::now();
  std::vector<char> buffer(static_cast<std::size_t>(size.QuadPart));
  phases.buffer = Lap(mark);
  DWORD got = 0;
  if (!ReadFile(in.handle, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) ||
      got != buffer.size()) {
    return false;
  }
  phases.read = Lap(mark);
  Handle out{CreateFileA(to.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr)};
  DWORD put = 0;
  if (out.handle == INVALID_HANDLE_VALUE ||
      !WriteFile(out.handle, buffer.data(), static_cast<DWORD>(buffer.size()), &put, nullptr) ||
      put != buffer.size()) {
    return false;
  }
  const HANDLE handle = out.handle;
  out.handle = INVALID_HANDLE_VALUE;
  const bool closed = CloseHandle(handle) != 0;
  phases.write = Lap(mark);
  return closed;
}
