#include <cstdint>
#include <new>
#include <string>

#include "content.h"
#include "file_layer.h"
#include "repair.h"

namespace {

// The content buffer's length is a 32-bit signed count: larger files are refused unread.
constexpr std::int64_t kMaxTrackSize = INT32_MAX;

// Reads the whole track file into content. Only an existing regular file is read: creating a
// missing one would report a failure as " already fixed" and leave an empty file behind.
bool ReadTrackFile(const std::string& path, ContentBuffer& content) {
  FileGuard file;
  std::int64_t size = 0;
  if (!OpenExistingFile(path, file) || !QueryFileSize(file, size)) return false;
  if (size < 0 || size > kMaxTrackSize) return false;
  const std::size_t length = static_cast<std::size_t>(size);
  if (!AllocateContent(content, length) || !ReadExactly(file, content.data, length)) return false;
  return CloseFile(file);
}

// Writes content as a new file at path. On failure the partial file is removed, so that the
// caller can move the backup back to the free name.
bool WriteNewTrackFile(const std::string& path, const ContentBuffer& content) {
  FileGuard file;
  if (!CreateNewFile(path, file)) return false;
  if (WriteExactly(file, content.data, content.size) && CloseFile(file)) return true;
  CloseFile(file);
  RemoveFile(path);
  return false;
}

// Turns the track file into its backup and writes the repaired content in its place. At every
// moment the original bytes are complete at path or at backupPath; a failure puts them back at
// path.
bool ReplaceTrackFile(const std::string& path, const std::string& backupPath,
                      const ContentBuffer& content) {
  // The one earlier backup goes only now that a new one is about to take its place.
  DeleteOrdinaryFile(backupPath);
  if (!RenameNoReplace(path, backupPath)) return false;
  if (WriteNewTrackFile(path, content)) return true;
  RenameNoReplace(backupPath, path);
  return false;
}

std::int32_t Repair(const std::string& path, std::string& message) {
  // The platform sees a path only up to its first NUL: such a path and its ".bak" name could be
  // one file, and deleting "the backup" would delete the track.
  if (path.find('\0') != std::string::npos) return 0;
  const std::string backupPath = path + ".bak";

  ContentBuffer content;
  if (!ReadTrackFile(path, content)) return 0;

  const MapMatch match = FindStockMap(content.data, content.size);
  if (match.map == nullptr) {
    message = " already fixed";
    return 1;
  }
  const std::string newName = NewMapName(path, match.map->kindFlag);
  if (newName.size() != match.map->length) {
    message = match.map->wrongLengthMessage;
    return 0;
  }
  RepairContent(content.data, content.size, match, newName);

  if (!ReplaceTrackFile(path, backupPath, content)) return 0;
  message = newName;
  return 1;
}

}  // namespace

std::int32_t FixTrackFile(const std::string& path, std::string& message) {
  message.clear();
  try {
    return Repair(path, message);
  } catch (const std::bad_alloc&) {
    // Only the texts allocate, and all of them before the disk changes.
    message.clear();
    return 0;
  }
}
