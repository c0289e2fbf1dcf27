#include <immintrin.h>

#include "search_any.h"

namespace {

// Whether position p stops the search: the scalar form of the vector filters below.
bool StopsAt(const char* haystack, const char* other, std::size_t p, std::size_t size,
             const PairFilter& filter) {
  if (other != nullptr && other[p] != haystack[p]) return true;
  if (p + filter.span >= size) return false;
  for (std::size_t k = 0; k < filter.count; ++k) {
    if (haystack[p] == filter.first[k] && haystack[p + filter.span] == filter.second[k]) {
      return true;
    }
  }
  return false;
}

// The first position from i on that stops the search, or null.
const char* Rest(const char* haystack, const char* other, std::size_t i, std::size_t size,
                 const PairFilter& filter) {
  for (; i < size; ++i) {
    if (StopsAt(haystack, other, i, size, filter)) return haystack + i;
  }
  return nullptr;
}

__m128i Load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// 32 positions at a time, for exactly N pairs, so that the compiler unrolls the filter.
template <std::size_t N>
const char* Candidates(const char* haystack, const char* other, std::size_t size,
                       const PairFilter& filter) {
  __m128i first[N];
  __m128i second[N];
  for (std::size_t k = 0; k < N; ++k) {
    first[k] = _mm_set1_epi8(filter.first[k]);
    second[k] = _mm_set1_epi8(filter.second[k]);
  }
  const std::size_t span = filter.span;
  std::size_t i = 0;
  for (; i + 32 + span <= size; i += 32) {
    const char* p = haystack + i;
    const __m128i b0 = Load(p);
    const __m128i b1 = Load(p + 16);
    const __m128i e0 = Load(p + span);
    const __m128i e1 = Load(p + 16 + span);
    __m128i any0 = _mm_setzero_si128();
    __m128i any1 = _mm_setzero_si128();
    for (std::size_t k = 0; k < N; ++k) {
      any0 = _mm_or_si128(
          any0, _mm_and_si128(_mm_cmpeq_epi8(b0, first[k]), _mm_cmpeq_epi8(e0, second[k])));
      any1 = _mm_or_si128(
          any1, _mm_and_si128(_mm_cmpeq_epi8(b1, first[k]), _mm_cmpeq_epi8(e1, second[k])));
    }
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(any0)) |
                    static_cast<unsigned>(_mm_movemask_epi8(any1)) << 16;
    if (other != nullptr) {
      const __m128i same0 = _mm_cmpeq_epi8(b0, Load(other + i));
      const __m128i same1 = _mm_cmpeq_epi8(b1, Load(other + i + 16));
      mask |= ~(static_cast<unsigned>(_mm_movemask_epi8(same0)) |
                static_cast<unsigned>(_mm_movemask_epi8(same1)) << 16);
    }
    if (mask != 0) return p + __builtin_ctz(mask);
  }
  return Rest(haystack, other, i, size, filter);
}

__attribute__((target("avx2"))) __m256i LoadWide(const char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The same filter over 64 positions at a time, for processors with AVX2: the filter's work is
// what bounds the search of data in the cache, and each instruction does twice as much.
template <std::size_t N>
__attribute__((target("avx2"))) const char* CandidatesWide(const char* haystack, const char* other,
                                                           std::size_t size,
                                                           const PairFilter& filter) {
  __m256i first[N];
  __m256i second[N];
  for (std::size_t k = 0; k < N; ++k) {
    first[k] = _mm256_set1_epi8(filter.first[k]);
    second[k] = _mm256_set1_epi8(filter.second[k]);
  }
  const std::size_t span = filter.span;
  std::size_t i = 0;
  for (; i + 64 + span <= size; i += 64) {
    const char* p = haystack + i;
    const __m256i b0 = LoadWide(p);
    const __m256i b1 = LoadWide(p + 32);
    const __m256i e0 = LoadWide(p + span);
    const __m256i e1 = LoadWide(p + 32 + span);
    __m256i any0 = _mm256_setzero_si256();
    __m256i any1 = _mm256_setzero_si256();
    for (std::size_t k = 0; k < N; ++k) {
      any0 = _mm256_or_si256(any0, _mm256_and_si256(_mm256_cmpeq_epi8(b0, first[k]),
                                                    _mm256_cmpeq_epi8(e0, second[k])));
      any1 = _mm256_or_si256(any1, _mm256_and_si256(_mm256_cmpeq_epi8(b1, first[k]),
                                                    _mm256_cmpeq_epi8(e1, second[k])));
    }
    unsigned long long mask =
        static_cast<unsigned>(_mm256_movemask_epi8(any0)) |
        static_cast<unsigned long long>(static_cast<unsigned>(_mm256_movemask_epi8(any1))) << 32;
    if (other != nullptr) {
      const __m256i same0 = _mm256_cmpeq_epi8(b0, LoadWide(other + i));
      const __m256i same1 = _mm256_cmpeq_epi8(b1, LoadWide(other + i + 32));
      mask |= ~(static_cast<unsigned>(_mm256_movemask_epi8(same0)) |
                static_cast<unsigned long long>(static_cast<unsigned>(_mm256_movemask_epi8(same1)))
                    << 32);
    }
    if (mask != 0) return p + __builtin_ctzll(mask);
  }
  return Candidates<N>(haystack + i, other == nullptr ? nullptr : other + i, size - i, filter);
}

template <std::size_t N>
const char* Best(const char* haystack, const char* other, std::size_t size,
                 const PairFilter& filter) {
  static const bool wide = __builtin_cpu_supports("avx2");
  return wide ? CandidatesWide<N>(haystack, other, size, filter)
              : Candidates<N>(haystack, other, size, filter);
}

}  // namespace

// Each block of positions is loaded once at p and once at p + span, and other once more: a
// filter per string and a comparison of its own would load the haystack twice as often. Every
// load stays inside the haystack and other.
const char* NextCandidate(const char* haystack, const char* other, std::size_t size,
                          const PairFilter& filter) {
  switch (filter.count) {
    case 1:
      return Best<1>(haystack, other, size, filter);
    case 2:
      return Best<2>(haystack, other, size, filter);
    case 3:
      return Best<3>(haystack, other, size, filter);
    default:
      return Best<4>(haystack, other, size, filter);
  }
}
