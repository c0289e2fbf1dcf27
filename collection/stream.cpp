#include "stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "game_texts.h"
#include "search.h"

namespace collection {

namespace {

const std::string kNational = kNationalMap;
const std::string kSupercross = kSupercrossMap;

// The first occurrence of needle lying wholly in text[from, end), or end when there is none.
std::size_t FindIn(const std::string& text, std::size_t from, std::size_t end, const char* needle,
                   std::size_t length) {
  if (from >= end || end - from < length) return end;
  const char* hit = FindBytes(text.data() + from, end - from, needle, length);
  return hit == nullptr ? end : static_cast<std::size_t>(hit - text.data());
}

}  // namespace

void BeginRepair(StreamRepair& stream, const std::string& from, const std::string& to,
                 bool keepOriginal) {
  stream.keepOriginal = keepOriginal;
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
  if (stream.keepOriginal) stream.original.append(data, size);
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

  const char* original = stream.keepOriginal ? stream.original.data() : nullptr;
  if (final > 0 && !sink(stream.base, text.data(), original, final)) return false;
  text.erase(0, final);
  if (stream.keepOriginal) stream.original.erase(0, final);
  stream.base += static_cast<std::int64_t>(final);
  stream.nameNext -= final;
  stream.markerNext -= final;
  return true;
}

bool RepairFile(FileHandle& file, std::int64_t size, std::size_t window, StreamRepair& stream,
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

namespace {

// The first offset of needle in data (which starts at base), or -1.
std::int64_t FirstIn(const char* data, std::size_t size, std::int64_t base,
                     const std::string& needle) {
  if (size < needle.size()) return -1;
  const char* hit = FindBytes(data, size, needle.data(), needle.size());
  return hit == nullptr ? -1 : base + (hit - data);
}

// The first of the seam's match and the piece's, which both may find.
void Note(std::int64_t& found, std::int64_t seam, std::int64_t piece) {
  if (found >= 0) return;
  found = seam >= 0 && (piece < 0 || seam < piece) ? seam : piece;
}

}  // namespace

// The piece is searched where it lies; only the seam (the kept tail and the piece's first bytes)
// is copied, so that each byte is read from memory once per name.
void SeekStock(StockSeeker& seeker, const char* data, std::size_t size) {
  const std::size_t keep = kSupercross.size() - 1;
  const std::int64_t pieceBase = seeker.base + static_cast<std::int64_t>(seeker.text.size());
  const std::string seam = seeker.text + std::string(data, std::min(size, keep));
  StockOffsets& found = seeker.found;
  if (found.national < 0) {
    Note(found.national, FirstIn(seam.data(), seam.size(), seeker.base, kNational),
         FirstIn(data, size, pieceBase, kNational));
  }
  if (found.supercross < 0) {
    Note(found.supercross, FirstIn(seam.data(), seam.size(), seeker.base, kSupercross),
         FirstIn(data, size, pieceBase, kSupercross));
  }
  // A name not yet found can still end in the next piece: keep one byte less than the longer.
  if (size >= keep) {
    seeker.text.assign(data + size - keep, keep);
    seeker.base = pieceBase + static_cast<std::int64_t>(size - keep);
  } else {
    seeker.text += std::string(data, size);
    if (seeker.text.size() > keep) {
      seeker.base += static_cast<std::int64_t>(seeker.text.size() - keep);
      seeker.text.erase(0, seeker.text.size() - keep);
    }
  }
}

bool SeekStockInFile(FileHandle& file, std::int64_t from, std::int64_t size, bool stopAtNational,
                     StockSeeker& seeker, std::string& error) {
  std::vector<char> buffer(kWindow);
  for (std::int64_t offset = from; offset < size;) {
    if (seeker.found.national >= 0 && (stopAtNational || seeker.found.supercross >= 0)) break;
    const std::size_t ask = size - offset < static_cast<std::int64_t>(kWindow)
                                ? static_cast<std::size_t>(size - offset)
                                : kWindow;
    std::size_t got = 0;
    if (!ReadAt(file, offset, buffer.data(), ask, got, error)) return false;
    if (got != ask) {
      error = "the file ended early";
      return false;
    }
    SeekStock(seeker, buffer.data(), got);
    offset += static_cast<std::int64_t>(got);
  }
  return true;
}

}  // namespace collection
