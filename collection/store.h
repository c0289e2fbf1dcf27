// The file primitives as the track library uses them: its paths are UTF-8 (the wide calls on
// Windows), it reads tracks shared with other readers only, and every failure comes back as a
// reason in words.
#pragma once

#include <string>
#include <vector>

#include "files.h"
#include "paths.h"

namespace collection {

using files::CloseFile;
using files::CopyContent;
using files::EntryInfo;
using files::EntryType;
using files::FileFacts;
using files::FileHandle;
using files::FlushFile;
using files::FlushVolume;
using files::kSeparator;
using files::ReadAt;
using files::SameFile;
using files::SetSize;
using files::StartFlush;
using files::Unchanged;
using files::UniqueNumber;
using files::WriteAt;

// Bytes [begin, begin + size) of an open file, as ViewFile last gave them, read into the view's
// buffer, which is kept from one window to the next (no allocation per window).
struct FileView {
  const char* data = nullptr;
  std::int64_t begin = 0;
  std::size_t size = 0;
  std::vector<char> buffer;
};

// Makes view show bytes [begin, end) of file, which must lie within it; fails (with "the file
// ended early" when it is shorter now) on a read error.
bool ViewFile(FileHandle& file, std::int64_t begin, std::int64_t end, FileView& view,
              std::string& error);

inline EntryInfo ProbeEntry(const std::string& path) {
  return files::ProbeEntry(files::Utf8Path{path});
}

inline bool ListFolder(const std::string& folder, std::vector<std::string>& names,
                       std::string& error) {
  return files::ListFolder(files::Utf8Path{folder}, names, error);
}

// Opens an existing regular file for reading, shared with readers only (another program
// writing it, or holding it to itself, makes this fail), and gives its facts.
inline bool OpenForReading(const std::string& path, FileHandle& file, FileFacts& facts,
                           std::string& error) {
  return files::OpenExisting(files::Utf8Path{path}, files::Access::kRead, files::Sharing::kReaders,
                             file, error) &&
         files::QueryOpen(file, facts, error);
}

// Whether the file open at path was reached through a link, seen or hidden.
inline bool ReachedThroughLink(const std::string& path, FileHandle& file) {
  return files::ReachedThroughLink(files::Utf8Path{path}, file);
}

// Opens path as OpenForReading does, but refuses with linkError a file reached through a link,
// seen or hidden: a rename at path would move the link, or under Wine the file it leads to.
inline bool OpenNotLinked(const std::string& path, const std::string& linkError, FileHandle& file,
                          FileFacts& facts, std::string& error) {
  bool link = ProbeEntry(path).type == EntryType::kLink;
  if (!link) {
    if (!OpenForReading(path, file, facts, error)) return false;
    link = ReachedThroughLink(path, file);
  }
  if (!link) return true;
  error = linkError;
  return false;
}

// The facts of the file now at path (following links), or false when there is none.
inline bool IdentityAt(const std::string& path, FileFacts& facts) {
  bool missing = false;
  return files::FactsAt(files::Utf8Path{path}, facts, missing);
}

inline bool CreateNew(const std::string& path, unsigned permissions, FileHandle& file,
                      std::string& error) {
  return files::CreateNew(files::Utf8Path{path}, permissions, file, error);
}

inline bool HardLink(const std::string& existing, const std::string& linkPath, bool& noLinks,
                     std::string& error) {
  return files::HardLink(files::Utf8Path{existing}, files::Utf8Path{linkPath}, noLinks, error);
}

// The caller flushes the folder (once for many renames: a rename not yet on storage leaves the
// old file whole at to).
inline bool RenameReplacing(const std::string& from, const std::string& to, std::string& error) {
  return files::RenameReplacing(files::Utf8Path{from}, files::Utf8Path{to}, error);
}

inline bool RenameNoReplace(const std::string& from, const std::string& to, std::string& error) {
  return files::RenameNoReplace(files::Utf8Path{from}, files::Utf8Path{to}, error);
}

inline bool RemoveFile(const std::string& path, std::string& error) {
  return files::RemoveFile(files::Utf8Path{path}, error);
}

inline void FlushFolderOf(const std::string& path) { files::FlushFolderOf(files::Utf8Path{path}); }

}  // namespace collection
