// A Win32 handle owned by one scope and closed at its end.
#pragma once

#include <windows.h>

struct HandleGuard {
  HANDLE value;
  explicit HandleGuard(HANDLE handle) : value(handle) {}
  ~HandleGuard() {
    if (ok()) CloseHandle(value);
  }
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;
  // CreateFileA fails with INVALID_HANDLE_VALUE, most other calls with null.
  bool ok() const { return value != nullptr && value != INVALID_HANDLE_VALUE; }
};
