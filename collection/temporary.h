// What the runs that write tracks share: temporary files beside the tracks, and comparisons of
// whole files.
#pragma once

#include <cstdint>
#include <string>

#include "store.h"

namespace collection {

// A temporary file that is removed unless the run got as far as renaming it.
struct TemporaryFile {
  std::string path;
  FileHandle file;
  bool renamed = false;

  TemporaryFile() = default;
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
};

// A free temporary name beside path, which never ends in ".pak".
std::string TemporaryPathFor(const std::string& path);

// Whether two open files of equal size hold the same bytes.
bool SameContent(FileHandle& a, FileHandle& b, std::int64_t size, bool& same, std::string& error);

}  // namespace collection
