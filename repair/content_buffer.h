// A track file's content for the dialog's repair: one buffer of exactly its size, allocated the
// platform's best way and not zero-filled by us. The guard releases it.
#pragma once

#include <cstddef>

struct ContentBuffer {
  char* data = nullptr;
  std::size_t size = 0;

  ContentBuffer() = default;
  ~ContentBuffer();
  ContentBuffer(const ContentBuffer&) = delete;
  ContentBuffer& operator=(const ContentBuffer&) = delete;
};

// Gives buffer size bytes of storage; its content is undefined until read into.
bool AllocateContent(ContentBuffer& buffer, std::size_t size);
