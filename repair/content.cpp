#include "content.h"

#include <cstring>

#include "search.h"

namespace {

const StockMap kNational = {"National_Map", 12, 1, "map name isn't 12 chars"};
const StockMap kSupercross = {"Supercross_Map", 14, 0, "map name isn't 14 chars"};

const char kMarkerSite[] = ";  The Sun";
const char kFixMarker[] = ";TDFIX   1";
static_assert(sizeof kMarkerSite == sizeof kFixMarker, "the fix marker keeps the length");

}  // namespace

MapMatch FindStockMap(const char* data, std::size_t size) {
  for (const StockMap* map : {&kNational, &kSupercross}) {
    if (const char* hit = FindBytes(data, size, map->name, map->length)) {
      return {map, static_cast<std::size_t>(hit - data)};
    }
  }
  return {nullptr, 0};
}

std::size_t ReplaceAll(char* data, std::size_t size, std::size_t start, const char* from,
                       const char* to, std::size_t length) {
  std::size_t count = 0;
  std::size_t at = start;
  while (at < size) {
    const char* hit = FindBytes(data + at, size - at, from, length);
    if (hit == nullptr) break;
    const std::size_t offset = static_cast<std::size_t>(hit - data);
    std::memcpy(data + offset, to, length);
    at = offset + length;
    ++count;
  }
  return count;
}

void RepairContent(char* data, std::size_t size, const MapMatch& match,
                   const std::string& newName) {
  // The name goes first: a marker site that a new name completes is replaced like any other.
  ReplaceAll(data, size, match.first, match.map->name, newName.data(), match.map->length);
  ReplaceAll(data, size, 0, kMarkerSite, kFixMarker, sizeof kMarkerSite - 1);
}
