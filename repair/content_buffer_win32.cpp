#include <windows.h>

#include <cstdlib>

#include "content_buffer.h"

namespace {

// From this size on, the buffer comes straight from VirtualAlloc: page-aligned, committed in
// one call, with no heap bookkeeping around a block of hundreds of megabytes.
constexpr std::size_t kVirtualFrom = std::size_t{8} << 20;

// Writes one byte to every page, so that the pages exist before ReadFile fills them: under Wine
// a read into untouched pages measured about twice as slow as touching them first and then
// reading (64 MiB: 65-71 ms against 38-54 ms; 1 MiB: 0.9-1.0 ms against 0.53-0.65 ms). The system
// zero-fills each page on its first touch either way.
void TouchPages(char* data, std::size_t size) {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  for (std::size_t at = 0; at < size; at += system.dwPageSize) data[at] = 0;
}

}  // namespace

ContentBuffer::~ContentBuffer() {
  if (data == nullptr) return;
  if (size >= kVirtualFrom) {
    VirtualFree(data, 0, MEM_RELEASE);
  } else {
    std::free(data);
  }
}

bool AllocateContent(ContentBuffer& buffer, std::size_t size) {
  void* data = size >= kVirtualFrom
                   ? VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                   : std::malloc(size == 0 ? 1 : size);
  if (data == nullptr) return false;
  TouchPages(static_cast<char*>(data), size);
  buffer.data = static_cast<char*>(data);
  buffer.size = size;
  return true;
}
