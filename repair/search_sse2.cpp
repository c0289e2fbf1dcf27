#include <emmintrin.h>

#include <cstring>

#include "search.h"

// Filters 32 candidate positions at a time by the needle's first and last byte, and compares
// the rest only where both agree: on track data that is rare, so the scan runs near memory
// speed. Every load stays inside the haystack.
const char* FindBytesSse2(const char* haystack, std::size_t size, const char* needle,
                          std::size_t needleSize) {
  if (needleSize == 0) return haystack;
  if (size < needleSize) return nullptr;
  const std::size_t positions = size - needleSize + 1;
  const std::size_t lastOffset = needleSize - 1;
  const __m128i first = _mm_set1_epi8(needle[0]);
  const __m128i last = _mm_set1_epi8(needle[lastOffset]);

  std::size_t i = 0;
  for (; i + 32 <= positions; i += 32) {
    const char* p = haystack + i;
    const __m128i f0 = _mm_cmpeq_epi8(first, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    const __m128i f1 =
        _mm_cmpeq_epi8(first, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
    const __m128i l0 =
        _mm_cmpeq_epi8(last, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + lastOffset)));
    const __m128i l1 = _mm_cmpeq_epi8(
        last, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + lastOffset + 16)));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(f0, l0))) |
                    static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(f1, l1))) << 16;
    while (mask != 0) {
      const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
      if (std::memcmp(p + bit, needle, needleSize) == 0) return p + bit;
      mask &= mask - 1;
    }
  }
  // Fewer than 32 positions remain.
  for (; i < positions; ++i) {
    const char* p = static_cast<const char*>(std::memchr(haystack + i, needle[0], positions - i));
    if (p == nullptr) return nullptr;
    if (std::memcmp(p, needle, needleSize) == 0) return p;
    i = static_cast<std::size_t>(p - haystack);
  }
  return nullptr;
}
