// Closes a kernel handle when it goes out of scope; null and INVALID_HANDLE_VALUE are no handle.
#pragma once

#include <windows.h>

struct HandleGuard {
  HANDLE handle;
  ~HandleGuard() {
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;
};
