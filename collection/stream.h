// The repair of a track as a stream: the content passes through in windows of fixed size, so that
// a track of any size needs the same small memory, and the result equals replacing every stock
// name over the whole content first and then every marker site over the result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "store.h"

namespace collection {

// How much of a file is read at a time.
constexpr std::size_t kWindow = std::size_t{1} << 20;

// The state of one streaming repair: the bytes not yet final, as repaired and as they came.
struct StreamRepair {
  std::string from;      // the stock name to replace
  std::string to;        // its new name, of the same length
  std::string repaired;  // bytes from base on, with the replacements made so far
  std::string original;  // the same bytes as they came, when kept
  bool keepOriginal = true;
  std::int64_t base = 0;
  std::size_t nameNext = 0;    // where the next name can start, within repaired
  std::size_t markerNext = 0;  // where the next marker site can start
};

// Receives final bytes in order: their offset, the repaired bytes and the original ones. Returns
// false to stop the stream.
using RepairSink = std::function<bool(std::int64_t offset, const char* repaired,
                                      const char* original, std::size_t size)>;

// Starts a repair replacing from by to (same length). Without keepOriginal the sink gets null
// for the original bytes (one copy less, for callers that only need the result).
void BeginRepair(StreamRepair& stream, const std::string& from, const std::string& to,
                 bool keepOriginal = true);

// Feeds the next bytes; last says no more follow. Hands every byte that no later one can change
// to sink. Returns false when sink stopped it.
bool FeedRepair(StreamRepair& stream, const char* data, std::size_t size, bool last,
                const RepairSink& sink);

// Reads size bytes of file in windows through a repair. error says why reading failed; a stop by
// sink returns false with error empty.
bool RepairFile(FileHandle& file, std::int64_t size, std::size_t window, StreamRepair& stream,
                const RepairSink& sink, std::string& error);

// The first offsets of the two stock names in a file, -1 where absent.
struct StockOffsets {
  std::int64_t national = -1;
  std::int64_t supercross = -1;
};

// A search for both stock names over bytes that come in pieces, in order from offset 0: the
// last bytes of each piece are kept, so that names across seams are found.
struct StockSeeker {
  std::string text;       // the last bytes seen, where a name may begin
  std::int64_t base = 0;  // the offset of text[0]
  StockOffsets found;
};
void SeekStock(StockSeeker& seeker, const char* data, std::size_t size);

// Reads a file from offset from on through seeker, to its end, or with stopAtNational until a
// "National_Map" has been seen (which decides the kind alone).
bool SeekStockInFile(FileHandle& file, std::int64_t from, std::int64_t size, bool stopAtNational,
                     StockSeeker& seeker, std::string& error);

}  // namespace collection
