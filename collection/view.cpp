// Windows of a file read into the view's own buffer, which grows to the largest window once.
// Read rather than mapped: a mapped window measured slower here (the search then waits on
// memory that a read has already brought into the cache), and a file cut short under a
// mapping would end the process instead of failing the track.
#include "store.h"

namespace collection {

bool ViewFile(FileHandle& file, std::int64_t begin, std::int64_t end, FileView& view,
              std::string& error) {
  const std::size_t size = static_cast<std::size_t>(end - begin);
  if (view.buffer.size() < size) view.buffer.resize(size);
  std::size_t got = 0;
  if (!ReadAt(file, begin, view.buffer.data(), size, got, error)) return false;
  if (got != size) {
    error = "the file ended early";
    return false;
  }
  view.data = view.buffer.data();
  view.begin = begin;
  view.size = size;
  return true;
}

}  // namespace collection
