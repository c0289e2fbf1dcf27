#include "content.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "replace_model.h"

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

}  // namespace
