#include <algorithm>

#include "search.h"
#include "search_any.h"

// One search per needle where there is no vector filter: the earliest hit wins.
const char* FindAny(const char* haystack, std::size_t size, const std::string* needles,
                    std::size_t count, std::size_t& which) {
  const char* first = nullptr;
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t limit = first == nullptr ? size : static_cast<std::size_t>(first - haystack);
    const std::size_t span = std::min(size, limit + needles[k].size());
    const char* hit = FindBytes(haystack, span, needles[k].data(), needles[k].size());
    if (hit != nullptr && (first == nullptr || hit < first)) {
      first = hit;
      which = k;
    }
  }
  return first;
}
