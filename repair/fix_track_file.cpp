#include <cstdint>
#include <new>
#include <string>

#include "content.h"
#include "content_buffer.h"
#include "files.h"
#include "hold_point.h"
#include "repair.h"

namespace {

using files::AnsiPath;
using files::FileFacts;
using files::FileHandle;

// The dialog's calls report no reasons: the repair answers every failure alike.
std::string g_ignored;  // the reasons the file primitives give, never shown

// Opens an existing regular file without sharing: for reading and writing, else for reading
// only. A file reached through a link is refused: the rename would move the link's target, or
// the link, rather than the track read.
bool OpenExistingFile(const std::string& path, FileHandle& file) {
  using files::Access;
  using files::Sharing;
  if (!files::OpenExisting(AnsiPath{path}, Access::kReadWrite, Sharing::kNone, file, g_ignored)) {
    if (file.handle != -1) return false;  // opened, but not a file on disk
    if (!files::OpenExisting(AnsiPath{path}, Access::kRead, Sharing::kNone, file, g_ignored)) {
      return false;
    }
  }
  return !files::ReachedThroughLink(AnsiPath{path}, file);
}

// Reads exactly size bytes from the start of the file; fewer is a failure.
bool ReadExactly(FileHandle& file, char* data, std::size_t size) {
  std::size_t got = 0;
  return files::ReadAt(file, 0, data, size, got, g_ignored) && got == size;
}

// Ends the read of the track. Where an open file can be renamed (POSIX), the descriptor, and with
// it the lock, stays until the guard goes: no other repair can read the track until the new one
// is written. Win32 closes it: a handle open without sharing keeps its file from being renamed.
bool EndTrackRead(FileHandle& file) {
  return files::kOpenFilesRename || files::CloseFile(file, g_ignored);
}

// Whether what stands at path, following links, is the file of those facts (false in same when
// nothing is there). Returns false when it cannot be told.
bool CheckSameFile(const std::string& path, const FileFacts& facts, bool& same) {
  FileFacts found;
  bool missing = false;
  const bool told = files::FactsAt(AnsiPath{path}, found, missing);
  same = told && files::SameFile(found, facts);
  return told || missing;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  return files::RenameNoReplace(AnsiPath{from}, AnsiPath{to}, g_ignored);
}

bool RemoveFile(const std::string& path) { return files::RemoveFile(AnsiPath{path}, g_ignored); }

// Larger files are refused unread: the Win32 layer reads a track in one ReadFile request, and one
// request is known to deliver its full count only up to 2^31 - 1 bytes.
constexpr std::int64_t kMaxTrackSize = INT32_MAX;

// The earlier backup is set aside under its name plus ".old" and one digit, the first of these
// that is free; a name that never ends in ".PAK", so that no one takes it for a track.
constexpr char kAsideSuffix[] = ".old0";
constexpr int kAsideNames = 10;

// Reads the whole track file into content and what the repair must know of it into facts. Only
// an existing regular file is read: creating a missing one would report a failure as " already
// fixed" and leave an empty file behind. track stays open where the platform keeps it.
bool ReadTrackFile(const std::string& path, FileHandle& track, FileFacts& facts,
                   ContentBuffer& content) {
  if (!OpenExistingFile(path, track) || !files::QueryOpen(track, facts, g_ignored)) return false;
  if (facts.size < 0 || facts.size > kMaxTrackSize) return false;
  const std::size_t length = static_cast<std::size_t>(facts.size);
  if (!AllocateContent(content, length) || !ReadExactly(track, content.data, length)) return false;
  return EndTrackRead(track);
}

// Writes content as a new file at path, with the permission bits of the track read. On failure
// the partial file is removed, so that the caller can move the backup back to the free name.
bool WriteNewTrackFile(const std::string& path, const FileFacts& facts,
                       const ContentBuffer& content) {
  FileHandle file;
  if (!files::CreateNew(AnsiPath{path}, facts.permissions, file, g_ignored)) return false;
  if (files::WriteAt(file, 0, content.data, content.size, g_ignored) &&
      files::CloseFile(file, g_ignored)) {
    return true;
  }
  files::CloseFile(file, g_ignored);
  RemoveFile(path);
  return false;
}

// Moves an earlier backup out of the way, to the first free aside name; aside ends empty when
// there was none. Anything but an ordinary file stays, and the rename onto it fails later.
bool SetBackupAside(const std::string& backupPath, std::string& aside) {
  if (!files::IsOrdinaryFile(AnsiPath{backupPath})) {
    aside.clear();
    return true;
  }
  for (int n = 0; n < kAsideNames; ++n) {
    aside.back() = static_cast<char>('0' + n);
    if (RenameNoReplace(backupPath, aside)) return true;
  }
  return false;
}

// Puts the track read back under its name, and the earlier backup under its own.
void Restore(const std::string& path, const std::string& backupPath, const std::string& aside) {
  RenameNoReplace(backupPath, path);
  if (!aside.empty()) RenameNoReplace(aside, backupPath);
}

// Turns the track file into its backup and writes the repaired content in its place. At every
// moment the original bytes are complete at path or at backupPath, and the earlier backup at
// its name or its aside name; a failure puts both back.
bool ReplaceTrackFile(const std::string& path, const std::string& backupPath,
                      const FileFacts& facts, const ContentBuffer& content) {
  // A link either way makes the two names one file: renaming the track onto it, or setting it
  // aside, would leave the original under neither name.
  bool same = false;
  if (!CheckSameFile(backupPath, facts, same) || same) return false;
  std::string aside = backupPath + kAsideSuffix;
  if (!SetBackupAside(backupPath, aside)) return false;
  if (!RenameNoReplace(path, backupPath)) {
    if (!aside.empty()) RenameNoReplace(aside, backupPath);
    return false;
  }
  // Another program or repair may have put a file of its own at path since the read: then that
  // file, not the original, has just become the backup.
  if (!CheckSameFile(backupPath, facts, same) || !same ||
      !WriteNewTrackFile(path, facts, content)) {
    Restore(path, backupPath, aside);
    return false;
  }
  // Only now that the new track is complete may the earlier backup go.
  if (!aside.empty()) RemoveFile(aside);
  return true;
}

std::int32_t Repair(const std::string& path, std::string& message) {
  // The platform sees a path only up to its first NUL: such a path and its ".bak" name could be
  // one name to it, and the rename onto "the backup" would fail or take the track away.
  if (path.find('\0') != std::string::npos) return 0;
  const std::string backupPath = path + ".bak";

  FileHandle track;
  FileFacts facts;
  ContentBuffer content;
  if (!ReadTrackFile(path, track, facts, content)) return 0;

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

  BeforeDiskChanges(path);
  if (!ReplaceTrackFile(path, backupPath, facts, content)) return 0;
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
