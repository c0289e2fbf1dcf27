// The platform's file operations under the track library: one small function each, a Win32 file
// and a POSIX file behind the same declarations, chosen by the build. Failures come back as a
// reason in words ("permission denied", "in use by another program", "disk full").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace collection {

// The platform's directory separator.
extern const char kSeparator;

// An open file, closed by the guard on every path that did not close it itself.
struct StoreFile {
  std::intptr_t handle = -1;  // -1 is INVALID_HANDLE_VALUE on Win32 and no descriptor on POSIX

  StoreFile() = default;
  ~StoreFile();
  StoreFile(const StoreFile&) = delete;
  StoreFile& operator=(const StoreFile&) = delete;
};

enum class EntryType { kMissing, kRegular, kFolder, kLink, kOther };

// What a path names, without following a final link.
struct EntryInfo {
  EntryType type = EntryType::kMissing;
  EntryType target = EntryType::kMissing;  // for a link: what it leads to (kMissing: dangling)
};
EntryInfo ProbeEntry(const std::string& path);

// The names in a folder (no "." and ".."), unsorted.
bool ListFolder(const std::string& folder, std::vector<std::string>& names, std::string& error);

// Which file an open file is, and its size and modification time.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  std::int64_t size = 0;
  std::int64_t modified = 0;
};
// The same file: the same volume and index.
inline bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index;
}
// The same file, with the same size and modification time.
inline bool Unchanged(const FileIdentity& a, const FileIdentity& b) {
  return SameFile(a, b) && a.size == b.size && a.modified == b.modified;
}

// Opens an existing regular file for reading, never blocking on a FIFO or device, shared with
// readers only (another program writing it, or holding it to itself, makes this fail).
bool OpenForReading(const std::string& path, StoreFile& file, FileIdentity& identity,
                    std::string& error);

// The identity of the file now at path (following links), or false when there is none.
bool IdentityAt(const std::string& path, FileIdentity& identity);

// Reads up to size bytes at offset; got is less than size only at the end of the file.
bool ReadAt(StoreFile& file, std::int64_t offset, char* data, std::size_t size, std::size_t& got,
            std::string& error);

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
bool ViewFile(StoreFile& file, std::int64_t begin, std::int64_t end, FileView& view,
              std::string& error);

// Creates a new file at path; fails if anything of that name exists.
bool CreateNew(const std::string& path, StoreFile& file, std::string& error);

// Gives a new file its final size at once (the stretches not yet written read as zeros).
bool SetSize(StoreFile& file, std::int64_t size, std::string& error);

// Copies the bytes [begin, end) of from to the same offsets of to, by the kernel where it can.
bool CopyContent(StoreFile& from, StoreFile& to, std::int64_t begin, std::int64_t end,
                 std::string& error);

// Writes exactly size bytes at offset.
bool WriteAt(StoreFile& file, std::int64_t offset, const char* data, std::size_t size,
             std::string& error);

// Starts writing the file's content to storage without waiting for it, where the platform can:
// the flush that follows then finds less to wait for.
void StartFlush(StoreFile& file);

// Flushes the file's content to stable storage.
bool FlushFile(StoreFile& file, std::string& error);

// Flushes everything written to the file's volume to stable storage in one step, where the
// platform can: many files flushed at once share one journal commit and one wait. False with
// error empty where it cannot (the caller then flushes each file).
bool FlushVolume(StoreFile& file, std::string& error);

bool CloseFile(StoreFile& file, std::string& error);

// Makes linkPath a second name of the file at existing. noLinks is set when the file system has
// no hard links (the caller then keeps the original by renaming).
bool HardLink(const std::string& existing, const std::string& linkPath, bool& noLinks,
              std::string& error);

// Renames from to to in one step, replacing what is at to. The caller flushes the folder (once
// for many renames: a rename not yet on storage leaves the old file whole at to).
bool RenameReplacing(const std::string& from, const std::string& to, std::string& error);

// Renames from to to, never replacing anything at to.
bool RenameNoReplace(const std::string& from, const std::string& to, std::string& error);

bool RemoveFile(const std::string& path, std::string& error);

// Flushes the folder holding path, so that renames and links in it are on stable storage.
void FlushFolderOf(const std::string& path);

// A number that differs between runs and processes, for temporary names.
unsigned long UniqueNumber();

}  // namespace collection
