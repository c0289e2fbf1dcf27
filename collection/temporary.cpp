#include "temporary.h"

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
    if (gotLeft == 0) break;
    same = gotLeft == gotRight && std::memcmp(left.data(), right.data(), gotLeft) == 0;
    offset += static_cast<std::int64_t>(gotLeft);
  }
  return true;
}

}  // namespace collection
