#include "search.h"

// MinGW's C runtime has no memmem.
const char* FindBytes(const char* haystack, std::size_t size, const char* needle,
                      std::size_t needleSize) {
  return FindBytesSse2(haystack, size, needle, needleSize);
}
