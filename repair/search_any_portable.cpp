#include "search_any.h"

// Byte by byte where there is no vector filter.
const char* NextCandidate(const char* haystack, const char* other, std::size_t size,
                          const PairFilter& filter) {
  for (std::size_t p = 0; p < size; ++p) {
    if (other != nullptr && other[p] != haystack[p]) return haystack + p;
    if (p + filter.span >= size) continue;
    for (std::size_t k = 0; k < filter.count; ++k) {
      if (haystack[p] == filter.first[k] && haystack[p + filter.span] == filter.second[k]) {
        return haystack + p;
      }
    }
  }
  return nullptr;
}
