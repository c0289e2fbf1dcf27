#include <string.h>

#include "search.h"

// Processors without SSE2 take glibc's memmem: a two-way search with a vectorised first step.
const char* FindBytes(const char* haystack, std::size_t size, const char* needle,
                      std::size_t needleSize) {
  return static_cast<const char*>(memmem(haystack, size, needle, needleSize));
}
