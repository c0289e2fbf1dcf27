// The byte searches, whichever this build takes: the SSE2 and AVX2 filters on x86, the portable
// ones elsewhere (and, on Linux, in a test program of their own), against plain models at every
// alignment and length around their blocks.
#include "search.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "search_any.h"

namespace {

// The search this build uses, and on x86 the SSE2 filter itself, against the standard library, at
// every alignment and length around the 32-byte blocks.
TEST(FindBytesTest, AgreesWithStdSearchAtEveryEdge) {
  const std::string needles[] = {"National_Map", "Supercross_Map", ";  The Sun", "ab", "aab"};
  std::mt19937 random(7);
  for (const std::string& needle : needles) {
    for (std::size_t size = 0; size < 100; ++size) {
      for (std::size_t place = 0; place <= size + 1; ++place) {
        std::string hay(size, 'a');
        for (char& c : hay) c = "aNp;nb"[random() % 6];
        if (place + needle.size() <= size) hay.replace(place, needle.size(), needle);
        // A copy of exactly the size, so that reading past its end is caught by sanitizers.
        std::unique_ptr<char[]> exact(new char[size + 1]);
        std::memcpy(exact.get(), hay.data(), size);
        const std::size_t expected = hay.find(needle);
        const char* platform = FindBytes(exact.get(), size, needle.data(), needle.size());
        const char* want = expected == std::string::npos ? nullptr : exact.get() + expected;
        ASSERT_EQ(platform, want) << needle << " size " << size << " place " << place;
#ifdef TMF_SSE2_SEARCH
        const char* sse2 = FindBytesSse2(exact.get(), size, needle.data(), needle.size());
        ASSERT_EQ(sse2, want) << needle << " size " << size << " place " << place;
#endif
      }
    }
  }
}

TEST(FindBytesTest, FindsNeedlesWithBytesAboveAscii) {
  const std::string needle("\x80\xFF\x00\x01", 4);
  const std::string hay = std::string(70, '\xFF') + needle + std::string(3, '\0');
#ifdef TMF_SSE2_SEARCH
  EXPECT_EQ(FindBytesSse2(hay.data(), hay.size(), needle.data(), needle.size()), hay.data() + 70);
#endif
  EXPECT_EQ(FindBytes(hay.data(), hay.size(), needle.data(), needle.size()), hay.data() + 70);
}

// The filter's model: the first position where other differs, or where some pair matches with
// its second byte inside the haystack.
std::size_t FirstCandidate(const std::string& hay, const std::string* other,
                           const PairFilter& filter) {
  for (std::size_t p = 0; p < hay.size(); ++p) {
    if (other != nullptr && (*other)[p] != hay[p]) return p;
    for (std::size_t k = 0; k < filter.count; ++k) {
      if (p + filter.span < hay.size() && hay[p] == filter.first[k] &&
          hay[p + filter.span] == filter.second[k]) {
        return p;
      }
    }
  }
  return hay.size();
}

// Every block width the search takes (64, 32, then byte by byte), with a pair or a difference
// at every place, and pairs whose second byte lies just past the end.
TEST(NextCandidateTest, AgreesWithTheModelAtEveryEdge) {
  const auto filterOf = [](std::size_t span, const char* pairs) {
    PairFilter filter;
    filter.span = span;
    for (; pairs[0] != '\0'; pairs += 2, ++filter.count) {
      filter.first[filter.count] = pairs[0];
      filter.second[filter.count] = pairs[1];
    }
    return filter;
  };
  const PairFilter filters[] = {filterOf(3, "_p;T"), filterOf(1, "ab"), filterOf(9, "NMSs;n"),
                                filterOf(2, "abbacaac")};
  std::mt19937 random(11);
  for (const PairFilter& filter : filters) {
    for (std::size_t size = 0; size < 150; ++size) {
      for (std::size_t place = 0; place <= size; ++place) {
        std::string hay(size, 'x');
        for (char& c : hay) c = "xyz_p;Tab"[random() % 9];
        std::string other = hay;
        if (place < size) {
          (random() % 2 == 0 ? other[place] : hay[place]) ^= 0x40;
        }
        // Copies of exactly the size, so that reading past their ends is caught by sanitizers.
        std::unique_ptr<char[]> exact(new char[size + 1]);
        std::unique_ptr<char[]> exactOther(new char[size + 1]);
        std::memcpy(exact.get(), hay.data(), size);
        std::memcpy(exactOther.get(), other.data(), size);
        for (const bool comparing : {false, true}) {
          const std::size_t want = FirstCandidate(hay, comparing ? &other : nullptr, filter);
          const char* hit =
              NextCandidate(exact.get(), comparing ? exactOther.get() : nullptr, size, filter);
          ASSERT_EQ(hit == nullptr ? size : static_cast<std::size_t>(hit - exact.get()), want)
              << "span " << filter.span << " size " << size << " place " << place
              << (comparing ? " comparing" : "");
        }
      }
    }
  }
}

}  // namespace
