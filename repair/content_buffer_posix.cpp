#include <cstdlib>

#include "content_buffer.h"

ContentBuffer::~ContentBuffer() { std::free(data); }

// Plain malloc, not a huge-page mapping: write() from a buffer backed by transparent huge pages
// measured 5.1-5.4 s for 1.5 GiB here, against 0.4-1.1 s from ordinary pages. The C library maps
// a large block fresh, so its pages are faulted in by the read and never zero-filled by us.
bool AllocateContent(ContentBuffer& buffer, std::size_t size) {
  void* data = std::malloc(size == 0 ? 1 : size);
  if (data == nullptr) return false;
  buffer.data = static_cast<char*>(data);
  buffer.size = size;
  return true;
}
