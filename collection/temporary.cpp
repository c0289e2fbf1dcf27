#include "temporary.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "collection.h"
#include "stream.h"

namespace collection {

TemporaryFile::~TemporaryFile() {
  std::string ignored;
  CloseFile(file, ignored);
  if (!path.empty() && !renamed) RemoveFile(path, ignored);
}

std::string TemporaryPathFor(const std::string& path) {
  const std::string folder = files::FolderPrefix(path);
  return folder + TemporaryNameFor(path.substr(folder.size()), UniqueNumber());
}

bool SameContent(FileHandle& a, FileHandle& b, std::int64_t size, bool& same, std::string& error) {
  std::vector<char> left(kWindow);
  std::vector<char> right(kWindow);
  same = true;
  for (std::int64_t offset = 0; offset < size && same;) {
    std::size_t gotLeft = 0;
    std::size_t gotRight = 0;
    if (!ReadAt(a, offset, left.data(), kWindow, gotLeft, error) ||
        !ReadAt(b, offset, right.data(), kWindow, gotRight, error)) {
      return false;
    }
    // A read that comes back short is a failure: taking it for the end would call two
    // different files the same.
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::int64_t>(kWindow, size - offset));
    if (gotLeft != want || gotRight != want) {
      error = "the file ended early";
      return false;
    }
    same = std::memcmp(left.data(), right.data(), want) == 0;
    offset += static_cast<std::int64_t>(want);
  }
  return true;
}

}  // namespace collection
