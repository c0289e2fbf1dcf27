// The in-memory work of a repair: which stock map name a track carries, and the replacements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One of the two stock map names a track file can carry.
struct StockMap {
  const char* name;                // "National_Map" or "Supercross_Map"
  std::size_t length;              // 12 or 14; a new map name must have the same
  std::int32_t kindFlag;           // what NewMapName takes: 1 National, 0 Supercross
  const char* wrongLengthMessage;  // the refusal when a new name has another length
};

// What a content search found: the stock map (null when neither name occurs) and the offset of
// its first occurrence.
struct MapMatch {
  const StockMap* map;
  std::size_t first;
};

// National is tested first: a track holding both names is of kind National.
MapMatch FindStockMap(const char* data, std::size_t size);

// The repair's content change: every occurrence of the found stock map name becomes newName
// (which must have its length), then every marker site becomes the fix marker.
void RepairContent(char* data, std::size_t size, const MapMatch& match, const std::string& newName);

// The work above is done chunk by chunk, so that each stretch of a large file comes from memory
// once and its second search reads from the cache. Tests pick small chunks to reach the seams.
constexpr std::size_t kContentChunk = std::size_t{256} << 10;
MapMatch FindStockMapInChunks(const char* data, std::size_t size, std::size_t chunk);
void RepairContentInChunks(char* data, std::size_t size, const MapMatch& match,
                           const std::string& newName, std::size_t chunk);
