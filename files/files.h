// The platform's file primitives under both programs: one small function each, a Win32 layer
// and a POSIX layer behind the same declarations, chosen by the build. Failures come back as a
// reason in words ("permission denied", "in use by another program", "disk full"). On Windows
// every call runs with the error mode that keeps the system's own error boxes away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace files {

// A path, and how Windows takes its bytes: the dialog's paths are ANSI bytes for the "A" calls;
// the library's are UTF-8 for the wide calls, so that any name Windows allows works. POSIX
// takes the bytes as they are either way. Only ever a parameter: it refers to its text.
struct AnsiPath {
  const std::string& text;
};
struct Utf8Path {
  const std::string& text;
};

// An open file: a Win32 HANDLE or a POSIX descriptor, closed by the guard on every path that
// did not close it itself.
struct FileHandle {
  std::intptr_t handle = -1;  // -1 is INVALID_HANDLE_VALUE on Win32 and no descriptor on POSIX

  FileHandle() = default;
  ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
};

// Which file a file is, whatever names it has (POSIX: device and inode; Win32: volume serial
// number and file index), and what a run compares to tell whether it changed.
struct FileFacts {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  std::int64_t size = 0;
  std::int64_t modified = 0;  // in the platform's own units
  unsigned permissions = 0;   // POSIX permission bits; 0 on Win32
};

// The same file: the same volume and index.
inline bool SameFile(const FileFacts& a, const FileFacts& b) {
  return a.volume == b.volume && a.index == b.index;
}
// The same file, with the same size and modification time.
inline bool Unchanged(const FileFacts& a, const FileFacts& b) {
  return SameFile(a, b) && a.size == b.size && a.modified == b.modified;
}

// How a file is opened. kNone keeps every other opener out (POSIX: an exclusive flock);
// kReaders lets others read it but not write it (POSIX: a shared flock).
enum class Access { kRead, kReadWrite };
enum class Sharing { kNone, kReaders };

// Opens an existing regular file, never blocking on a FIFO or device; anything else is refused.
template <typename Path>
bool OpenExisting(const Path& path, Access access, Sharing sharing, FileHandle& file,
                  std::string& error);

// Creates a new file for reading and writing, kept from other openers, with the permission bits
// given (whatever the umask; ignored on Win32); fails if anything of that name exists.
template <typename Path>
bool CreateNew(const Path& path, unsigned permissions, FileHandle& file, std::string& error);

// The open file's facts.
bool QueryOpen(FileHandle& file, FileFacts& facts, std::string& error);

// The facts of the file now at path, following links; false when there is none (then missing
// says whether nothing is there, rather than something that could not be asked).
template <typename Path>
bool FactsAt(const Path& path, FileFacts& facts, bool& missing);

// Whether the open file was reached through a link at path: a symbolic link, or a name whose
// final path (with links resolved) is another name or another folder. Wine shows no link as
// such, so the attributes alone cannot tell. A system without final paths has no links to files.
template <typename Path>
bool ReachedThroughLink(const Path& path, FileHandle& file);

// Whether path names an ordinary file itself: not a folder, not a link, not a file marked hidden,
// system or read-only.
template <typename Path>
bool IsOrdinaryFile(const Path& path);

// Whether a file open without sharing can be renamed by its opener: POSIX yes; Win32 no.
extern const bool kOpenFilesRename;

// Renames from to to, never replacing anything at to. Where the file system cannot rename that
// way, a hard link and an unlink do; where it has neither, the rename is refused: a look before
// a plain rename would race with any program that makes the name in between.
template <typename Path>
bool RenameNoReplace(const Path& from, const Path& to, std::string& error);

// Renames from to to in one step, replacing what is at to.
template <typename Path>
bool RenameReplacing(const Path& from, const Path& to, std::string& error);

// Makes linkPath a second name of the file at existing. noLinks is set when the file system has
// no hard links.
template <typename Path>
bool HardLink(const Path& existing, const Path& linkPath, bool& noLinks, std::string& error);

template <typename Path>
bool RemoveFile(const Path& path, std::string& error);

// Closes the file; false when the platform reports that the close failed.
bool CloseFile(FileHandle& file, std::string& error);

// Reads up to size bytes at offset; got is less than size only at the end of the file.
bool ReadAt(FileHandle& file, std::int64_t offset, char* data, std::size_t size, std::size_t& got,
            std::string& error);

// Writes exactly size bytes at offset; a write past the process's file size limit fails like a
// full disk.
bool WriteAt(FileHandle& file, std::int64_t offset, const char* data, std::size_t size,
             std::string& error);

// Gives a new file its final size at once (the stretches not yet written read as zeros).
bool SetSize(FileHandle& file, std::int64_t size, std::string& error);

// Copies the bytes [begin, end) of from to the same offsets of to, by the kernel where it can.
bool CopyContent(FileHandle& from, FileHandle& to, std::int64_t begin, std::int64_t end,
                 std::string& error);

// Starts writing the file's content to storage without waiting for it, where the platform can:
// the flush that follows then finds less to wait for.
void StartFlush(FileHandle& file);

// Flushes the file's content to stable storage.
bool FlushFile(FileHandle& file, std::string& error);

// Flushes everything written to the file's volume to stable storage in one step, where the
// platform can: many files flushed at once share one journal commit and one wait. False with
// error empty where it cannot (the caller then flushes each file).
bool FlushVolume(FileHandle& file, std::string& error);

// What a path names, without following a final link.
enum class EntryType { kMissing, kRegular, kFolder, kLink, kOther };
struct EntryInfo {
  EntryType type = EntryType::kMissing;
  EntryType target = EntryType::kMissing;  // for a link: what it leads to (kMissing: dangling)
};
EntryInfo ProbeEntry(const Utf8Path& path);

// The names in a folder (no "." and ".."), unsorted.
bool ListFolder(const Utf8Path& folder, std::vector<std::string>& names, std::string& error);

// The full path of what path names, with every link resolved and every name spelt as the file
// system spells it: two paths to one file or folder give the same full path.
bool FullPathOf(const Utf8Path& path, std::string& full, std::string& error);

// Flushes the folder holding path, so that renames and links in it are on stable storage.
void FlushFolderOf(const Utf8Path& path);

// A number that differs between runs and processes, for temporary names.
unsigned long UniqueNumber();

}  // namespace files
