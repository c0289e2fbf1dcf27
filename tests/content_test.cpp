#include "content.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "replace_model.h"
#include "search.h"
#include "search_any.h"

namespace {

std::string Repaired(std::string text, const std::string& newName) {
  const MapMatch match = FindStockMap(text.data(), text.size());
  if (match.map == nullptr) return text;
  RepairContent(&text[0], text.size(), match, newName);
  return text;
}

TEST(FindStockMapTest, TellsTheKindNationalFirst) {
  struct Case {
    std::string content;
    const char* name;  // null: neither
    std::size_t first;
  } cases[] = {
      {"", nullptr, 0},
      {"national_map SUPERCROSS_MAP National_Ma", nullptr, 0},
      {"xxNational_Map", "National_Map", 2},
      {"Supercross_Map then National_Map", "National_Map", 20},
      {std::string("\0\0Supercross_Map", 16), "Supercross_Map", 2},
      {"Supercross_MapSupercross_Map", "Supercross_Map", 0},
  };
  for (const Case& c : cases) {
    const MapMatch match = FindStockMap(c.content.data(), c.content.size());
    if (c.name == nullptr) {
      EXPECT_EQ(match.map, nullptr) << c.content;
      continue;
    }
    ASSERT_NE(match.map, nullptr) << c.content;
    EXPECT_STREQ(match.map->name, c.name);
    EXPECT_EQ(match.first, c.first);
  }
}

TEST(RepairContentTest, ReplacesNamesThenMarkers) {
  const std::string n = "Hill00007Map";
  struct Case {
    std::string before;
    std::string after;
  } cases[] = {
      {"National_Map", n},
      {"National_MapNational_Map", n + n},
      {"a National_Map b National_Map c", "a " + n + " b " + n + " c"},
      {"National_Map;  The Sun;  The Sun", n + ";TDFIX   1;TDFIX   1"},
      {";  The Sun;  The SunNational_Map", ";TDFIX   1;TDFIX   1" + n},
      // A National track keeps its Supercross name; a fix marker already there is not consulted.
      {"Supercross_Map National_Map ;TDFIX   1", "Supercross_Map " + n + " ;TDFIX   1"},
      // Overlap: "National_MapNational_Map" inside a longer run is cut from the left.
      {"NationalNational_Map_Map", "National" + n + "_Map"},
      // No marker site, no fix marker.
      {"National_Map;  the sun; The Sun", n + ";  the sun; The Sun"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Repaired(c.before, n), c.after) << c.before;
  }
}

TEST(RepairContentTest, ReplacesAMarkerSiteThatTheNewNameCompletes) {
  // "un" starts the name of un.PAK; before it stand the first bytes of a marker site.
  EXPECT_EQ(Repaired(";  The SNational_Map", "un0000007Map"), ";TDFIX   10000007Map");
}

TEST(RepairContentTest, MatchesThePlainModelOnRandomContent) {
  std::mt19937 random(20261207);
  const char* pieces[] = {"National_Map",
                          "Supercross_Map",
                          ";  The Sun",
                          "National_Ma",
                          ";  The S",
                          "Map",
                          "_",
                          "un",
                          "N",
                          ";"};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i) {
      if (random() % 3 == 0) {
        text += static_cast<char>(random() % 256);
      } else {
        text += pieces[random() % (sizeof pieces / sizeof *pieces)];
      }
    }
    const std::string national = "un0000007Map";
    const std::string supercross = "un000000007Map";
    std::string expected = text;
    if (text.find("National_Map") != std::string::npos) {
      expected = ReplaceModel(text, "National_Map", national);
    } else if (text.find("Supercross_Map") != std::string::npos) {
      expected = ReplaceModel(text, "Supercross_Map", supercross);
    }
    if (expected != text) expected = ReplaceModel(expected, ";  The Sun", ";TDFIX   1");
    // Every chunk size up to a few times the names' length, so that names and marker sites
    // fall across the seams in every way, and the size used for real files.
    for (std::size_t chunk = 1; chunk <= 40; ++chunk) {
      const MapMatch match = FindStockMapInChunks(text.data(), text.size(), chunk);
      const MapMatch whole = FindStockMapInChunks(text.data(), text.size(), kContentChunk);
      ASSERT_EQ(match.map, whole.map) << "round " << round << " chunk " << chunk;
      if (match.map == nullptr) {
        ASSERT_EQ(expected, text) << "round " << round;
        continue;
      }
      ASSERT_EQ(match.first, whole.first) << "round " << round << " chunk " << chunk;
      std::string actual = text;
      RepairContentInChunks(&actual[0], actual.size(), match,
                            match.map->length == 12 ? national : supercross, chunk);
      ASSERT_EQ(actual, expected) << "round " << round << " chunk " << chunk;
    }
  }
}

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
