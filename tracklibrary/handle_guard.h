// The window program's handle guards: one owner each, closed on every path.
#pragma once

#include <windows.h>

// A kernel handle; rejects both null and INVALID_HANDLE_VALUE.
struct HandleGuard {
  HANDLE handle;
  explicit HandleGuard(HANDLE opened) : handle(opened) {}
  ~HandleGuard() {
    if (valid()) CloseHandle(handle);
  }
  bool valid() const { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;
};

// A GDI object (font, brush).
struct GdiGuard {
  HGDIOBJ object = nullptr;
  ~GdiGuard() {
    if (object != nullptr) DeleteObject(object);
  }
  void Reset(HGDIOBJ made) {
    if (object != nullptr) DeleteObject(object);
    object = made;
  }
};
