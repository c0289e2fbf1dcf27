#include "content.h"

#include <algorithm>
#include <cstring>

#include "game_texts.h"
#include "search.h"

namespace {

const StockMap kNational = {kNationalMap, sizeof kNationalMap - 1, 1, "map name isn't 12 chars"};
const StockMap kSupercross = {kSupercrossMap, sizeof kSupercrossMap - 1, 0,
                              "map name isn't 14 chars"};
static_assert(sizeof kNationalMap - 1 == 12 && sizeof kSupercrossMap - 1 == 14,
              "the refusals name the stock names' lengths");

// The first occurrence of needle starting in [from, before), or size when there is none.
std::size_t FindStartingBefore(const char* data, std::size_t size, std::size_t from,
                               std::size_t before, const char* needle, std::size_t length) {
  const std::size_t end = std::min(size, before + length - 1);
  if (from >= end) return size;
  const char* hit = FindBytes(data + from, end - from, needle, length);
  return hit == nullptr ? size : static_cast<std::size_t>(hit - data);
}

}  // namespace

MapMatch FindStockMapInChunks(const char* data, std::size_t size, std::size_t chunk) {
  // Both names are looked for chunk by chunk, so that the second search reads from the cache.
  std::size_t supercross = size;
  for (std::size_t start = 0; start < size; start += chunk) {
    const std::size_t end = std::min(size, start + chunk);
    const std::size_t national =
        FindStartingBefore(data, size, start, end, kNational.name, kNational.length);
    if (national < size) return {&kNational, national};
    if (supercross == size) {
      supercross = FindStartingBefore(data, size, start, end, kSupercross.name, kSupercross.length);
    }
  }
  if (supercross < size) return {&kSupercross, supercross};
  return {nullptr, 0};
}

MapMatch FindStockMap(const char* data, std::size_t size) {
  return FindStockMapInChunks(data, size, kContentChunk);
}

// Gives the same bytes as replacing every name over the whole buffer and then every marker site,
// in one sweep from memory: chunk by chunk, the names first, then the marker sites that lie
// wholly in bytes no later name can change any more.
void RepairContentInChunks(char* data, std::size_t size, const MapMatch& match,
                           const std::string& newName, std::size_t chunk) {
  const std::size_t length = match.map->length;
  std::size_t nameNext = match.first;  // where the next name can start
  std::size_t markerNext = 0;          // where the next marker site can start
  for (std::size_t end = std::min(size, chunk);; end = std::min(size, end + chunk)) {
    for (std::size_t at;
         (at = FindStartingBefore(data, size, nameNext, end, match.map->name, length)) < size;) {
      std::memcpy(data + at, newName.data(), length);
      nameNext = at + length;
    }
    nameNext = std::max(nameNext, end);
    // Every byte before nameNext is final now.
    const std::size_t final = nameNext;
    for (std::size_t at; final >= kMarkerLength &&
                         (at = FindStartingBefore(data, size, markerNext, final - kMarkerLength + 1,
                                                  kMarkerSite, kMarkerLength)) < size;) {
      std::memcpy(data + at, kFixMarker, kMarkerLength);
      markerNext = at + kMarkerLength;
    }
    if (final >= kMarkerLength) markerNext = std::max(markerNext, final - kMarkerLength + 1);
    if (end == size) break;
  }
}

void RepairContent(char* data, std::size_t size, const MapMatch& match,
                   const std::string& newName) {
  RepairContentInChunks(data, size, match, newName, kContentChunk);
}
