#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "search.h"
#include "search_any.h"

namespace {

// The needle that occurs whole at p, or count.
std::size_t NeedleAt(const char* p, const char* end, const std::string* needles,
                     std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) {
    const std::string& needle = needles[k];
    if (static_cast<std::size_t>(end - p) >= needle.size() &&
        std::memcmp(p, needle.data(), needle.size()) == 0) {
      return k;
    }
  }
  return count;
}

__m128i Load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// FindAny for exactly N needles, so that the compiler unrolls the filter over them.
template <std::size_t N>
const char* FindAnyOf(const char* haystack, std::size_t size, const std::string* needles,
                      std::size_t& which) {
  __m128i first[N];
  __m128i last[N];
  std::size_t lastOffset[N];
  std::size_t longest = 0;
  for (std::size_t k = 0; k < N; ++k) {
    first[k] = _mm_set1_epi8(needles[k][0]);
    last[k] = _mm_set1_epi8(needles[k].back());
    lastOffset[k] = needles[k].size() - 1;
    longest = std::max(longest, needles[k].size());
  }
  const char* end = haystack + size;
  std::size_t i = 0;
  for (; i + 32 + longest - 1 <= size; i += 32) {
    const char* p = haystack + i;
    const __m128i b0 = Load(p);
    const __m128i b1 = Load(p + 16);
    __m128i any0 = _mm_setzero_si128();
    __m128i any1 = _mm_setzero_si128();
    for (std::size_t k = 0; k < N; ++k) {
      any0 = _mm_or_si128(any0, _mm_and_si128(_mm_cmpeq_epi8(b0, first[k]),
                                              _mm_cmpeq_epi8(Load(p + lastOffset[k]), last[k])));
      any1 =
          _mm_or_si128(any1, _mm_and_si128(_mm_cmpeq_epi8(b1, first[k]),
                                           _mm_cmpeq_epi8(Load(p + 16 + lastOffset[k]), last[k])));
    }
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(any0)) |
                    static_cast<unsigned>(_mm_movemask_epi8(any1)) << 16;
    for (; mask != 0; mask &= mask - 1) {
      const char* at = p + static_cast<unsigned>(__builtin_ctz(mask));
      const std::size_t k = NeedleAt(at, end, needles, N);
      if (k < N) {
        which = k;
        return at;
      }
    }
  }
  // Fewer than a block's positions remain.
  for (; i < size; ++i) {
    const std::size_t k = NeedleAt(haystack + i, end, needles, N);
    if (k < N) {
      which = k;
      return haystack + i;
    }
  }
  return nullptr;
}

// The same filter over 64 positions at a time, for processors with AVX2: the filter's work is
// what bounds the search of data in the cache, and each instruction does twice as much.
template <std::size_t N>
__attribute__((target("avx2"))) const char* FindAnyWideOf(const char* haystack, std::size_t size,
                                                          const std::string* needles,
                                                          std::size_t& which) {
  __m256i first[N];
  __m256i last[N];
  std::size_t lastOffset[N];
  std::size_t longest = 0;
  for (std::size_t k = 0; k < N; ++k) {
    first[k] = _mm256_set1_epi8(needles[k][0]);
    last[k] = _mm256_set1_epi8(needles[k].back());
    lastOffset[k] = needles[k].size() - 1;
    longest = std::max(longest, needles[k].size());
  }
  const char* end = haystack + size;
  std::size_t i = 0;
  for (; i + 64 + longest - 1 <= size; i += 64) {
    const char* p = haystack + i;
    const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    __m256i any0 = _mm256_setzero_si256();
    __m256i any1 = _mm256_setzero_si256();
    for (std::size_t k = 0; k < N; ++k) {
      const __m256i e0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + lastOffset[k]));
      const __m256i e1 =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 + lastOffset[k]));
      any0 = _mm256_or_si256(
          any0, _mm256_and_si256(_mm256_cmpeq_epi8(b0, first[k]), _mm256_cmpeq_epi8(e0, last[k])));
      any1 = _mm256_or_si256(
          any1, _mm256_and_si256(_mm256_cmpeq_epi8(b1, first[k]), _mm256_cmpeq_epi8(e1, last[k])));
    }
    unsigned long long mask =
        static_cast<unsigned>(_mm256_movemask_epi8(any0)) |
        static_cast<unsigned long long>(static_cast<unsigned>(_mm256_movemask_epi8(any1))) << 32;
    for (; mask != 0; mask &= mask - 1) {
      const char* at = p + static_cast<unsigned>(__builtin_ctzll(mask));
      const std::size_t k = NeedleAt(at, end, needles, N);
      if (k < N) {
        which = k;
        return at;
      }
    }
  }
  std::size_t found = 0;
  const char* rest = FindAnyOf<N>(haystack + i, size - i, needles, found);
  if (rest != nullptr) which = found;
  return rest;
}

template <std::size_t N>
const char* FindAnyBest(const char* haystack, std::size_t size, const std::string* needles,
                        std::size_t& which) {
  static const bool wide = __builtin_cpu_supports("avx2");
  return wide ? FindAnyWideOf<N>(haystack, size, needles, which)
              : FindAnyOf<N>(haystack, size, needles, which);
}

}  // namespace

// The SSE2 filter of FindBytes for several needles in one pass (AVX2 where the processor has
// it): 32 positions at a time are loaded once for the first bytes and once per needle for its
// last bytes, and a whole needle is compared only where both agree, which is rare on track data.
// Every load stays inside the haystack.
const char* FindAny(const char* haystack, std::size_t size, const std::string* needles,
                    std::size_t count, std::size_t& which) {
  switch (count) {
    case 1:
      return FindAnyBest<1>(haystack, size, needles, which);
    case 2:
      return FindAnyBest<2>(haystack, size, needles, which);
    case 3:
      return FindAnyBest<3>(haystack, size, needles, which);
    default:
      return FindAnyBest<4>(haystack, size, needles, which);
  }
}
