#include "stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "search.h"

namespace collection {

namespace {

const std::string kNational = "National_Map";
const std::string kSupercross = "Supercross_Map";
const char kMarkerSite[] = ";  The Sun";
const char kFixMarker[] = ";TDFIX   1";
constexpr std::size_t kMarkerLength = sizeof kMarkerSite - 1;
static_assert(sizeof kMarkerSite == sizeof kFixMarker, "the fix marker keeps the length");

// The first occurrence of needle lying wholly in text[from, end), or end when there is none.
std::size_t FindIn(const std::string& text, std::size_t from, std::size_t end, const char* needle,
                   std::size_t length) {
  if (from >= end || end - from < length) return end;
  const char* hit = FindBytes(text.data() + from, end - from, needle, length);
  return hit == nullptr ? end : static_cast<std::size_t>(hit - text.data());
}

}  // namespace

void BeginRepair(StreamRepair& stream, const std::string& from, const std::string& to) {
  stream.from = from;
  stream.to = to;
  stream.repaired.clear();
  stream.original.clear();
  stream.base = 0;
  stream.nameNext = 0;
  stream.markerNext = 0;
}

bool FeedRepair(StreamRepair& stream, const char* data, std::size_t size, bool last,
                const RepairSink& sink) {
  stream.repaired.append(data, size);
  stream.original.append(data, size);
  std::string& text = stream.repaired;
  const std::size_t end = text.size();
  const std::size_t length = stream.from.size();

  // Names: every match lying wholly in what has come is replaced, left to right.
  for (std::size_t at;
       (at = FindIn(text, stream.nameNext, end, stream.from.data(), length)) < end;) {
    text.replace(at, length, stream.to);
    stream.nameNext = at + length;
  }
  // No later name can start before this, so every byte before it is final as far as names go.
  std::size_t namesFinal = end;
  if (!last) namesFinal = std::max(stream.nameNext, end >= length ? end - length + 1 : 0);
  stream.nameNext = std::max(stream.nameNext, namesFinal);

  // Marker sites, over bytes whose names are final: a new name may complete a site.
  for (std::size_t at; (at = FindIn(text, stream.markerNext, namesFinal, kMarkerSite,
                                    kMarkerLength)) < namesFinal;) {
    std::memcpy(&text[at], kFixMarker, kMarkerLength);
    stream.markerNext = at + kMarkerLength;
  }
  std::size_t final = namesFinal;
  if (!last) {
    final = std::max(stream.markerNext,
                     namesFinal >= kMarkerLength ? namesFinal - kMarkerLength + 1 : 0);
  }
  stream.markerNext = std::max(stream.markerNext, final);

  if (final > 0 && !sink(stream.base, text.data(), stream.original.data(), final)) return false;
  text.erase(0, final);
  stream.original.erase(0, final);
  stream.base += static_cast<std::int64_t>(final);
  stream.nameNext -= final;
  stream.markerNext -= final;
  return true;
}

bool RepairFile(StoreFile& file, std::int64_t size, std::size_t window, StreamRepair& stream,
                const RepairSink& sink, std::string& error) {
  error.clear();
  std::vector<char> buffer(window);
  std::int64_t offset = 0;
  do {
    const std::size_t ask = size - offset < static_cast<std::int64_t>(window)
                                ? static_cast<std::size_t>(size - offset)
                                : window;
    std::size_t got = 0;
    if (!ReadAt(file, offset, buffer.data(), ask, got, error)) return false;
    if (got != ask) {
      error = "the file ended early";
      return false;
    }
    offset += static_cast<std::int64_t>(got);
    if (!FeedRepair(stream, buffer.data(), got, offset == size, sink)) return false;
  } while (offset < size);
  return true;
}

bool FindStockOffsets(StoreFile& file, std::int64_t size, std::size_t window, bool stopAtNational,
                      StockOffsets& offsets, std::string& error) {
  offsets = StockOffsets();
  // Each window is read after the tail of the one before it, so that names across seams are seen.
  const std::size_t keep = kSupercross.size() - 1;
  std::string text;
  std::vector<char> buffer(window);
  std::int64_t base = 0;  // the offset of text[0]
  for (std::int64_t offset = 0; offset < size;) {
    const std::size_t ask = size - offset < static_cast<std::int64_t>(window)
                                ? static_cast<std::size_t>(size - offset)
                                : window;
    std::size_t got = 0;
    if (!ReadAt(file, offset, buffer.data(), ask, got, error)) return false;
    if (got != ask) {
      error = "the file ended early";
      return false;
    }
    offset += static_cast<std::int64_t>(got);
    text.append(buffer.data(), got);
    if (offsets.national < 0) {
      const std::size_t at = FindIn(text, 0, text.size(), kNational.data(), kNational.size());
      if (at < text.size()) offsets.national = base + static_cast<std::int64_t>(at);
    }
    if (offsets.supercross < 0) {
      const std::size_t at = FindIn(text, 0, text.size(), kSupercross.data(), kSupercross.size());
      if (at < text.size()) offsets.supercross = base + static_cast<std::int64_t>(at);
    }
    if (offsets.national >= 0 && (stopAtNational || offsets.supercross >= 0)) return true;
    if (text.size() > keep) {
      base += static_cast<std::int64_t>(text.size() - keep);
      text.erase(0, text.size() - keep);
    }
  }
  return true;
}

}  // namespace collection
