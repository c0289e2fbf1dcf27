#include "current_directory.h"

#include <windows.h>

#include <vector>

std::string CurrentDirectory() {
  // Asked twice: first for the size it needs, so that a long directory is never cut here.
  const DWORD needed = GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) return std::string();
  std::vector<char> buffer(needed);
  const DWORD length = GetCurrentDirectoryA(needed, buffer.data());
  if (length == 0 || length >= needed) return std::string();
  return std::string(buffer.data(), length);
}
