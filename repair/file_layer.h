// The platform's file operations under a repair: one small function each, a Win32 layer and a
// POSIX layer behind the same declarations, chosen by the build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// An open file: a Win32 HANDLE or a POSIX descriptor. The guard closes it on every path that
// did not close it itself.
struct FileGuard {
  std::intptr_t handle = -1;  // -1 is INVALID_HANDLE_VALUE on Win32 and no descriptor on POSIX

  FileGuard() = default;
  ~FileGuard();
  FileGuard(const FileGuard&) = delete;
  FileGuard& operator=(const FileGuard&) = delete;
};

// A track file's content: one buffer of exactly its size, allocated the platform's best way
// and not zero-filled by us. The guard releases it.
struct ContentBuffer {
  char* data = nullptr;
  std::size_t size = 0;

  ContentBuffer() = default;
  ~ContentBuffer();
  ContentBuffer(const ContentBuffer&) = delete;
  ContentBuffer& operator=(const ContentBuffer&) = delete;
};

// Which file a file is, whatever names it has: POSIX the device and inode numbers, Win32 the
// volume serial number and the file index.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
};

inline bool operator==(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index;
}

// What a repair keeps of the track it read.
struct FileFacts {
  std::int64_t size = 0;  // taken as 64 bits
  FileIdentity identity;
  unsigned permissions = 0;  // POSIX permission bits; unused on Win32
};

// Opens an existing regular file without sharing: for reading and writing, else for reading
// only. Never creates a file. Win32 refuses a file reached through a link: there the rename
// would move the link's target rather than the link.
bool OpenExistingFile(const std::string& path, FileGuard& file);

// The open file's size, identity and permission bits.
bool QueryOpenFile(FileGuard& file, FileFacts& facts);

// Gives buffer size bytes of storage; its content is undefined until read into.
bool AllocateContent(ContentBuffer& buffer, std::size_t size);

// Reads exactly size bytes from the current position; fewer is a failure.
bool ReadExactly(FileGuard& file, char* data, std::size_t size);

// Ends the read of the track. POSIX keeps the descriptor, and with it the lock, until the guard
// goes: no other repair can read the track until the new one is written. Win32 closes it: a
// handle open without sharing keeps its own file from being renamed.
bool EndTrackRead(FileGuard& file);

// Whether what stands at path, following links, is the file of that identity (false in same when
// nothing is there). Returns false when it cannot be told.
bool CheckSameFile(const std::string& path, const FileIdentity& identity, bool& same);

// Whether path names an ordinary file itself: not a directory, not a link, not a file marked
// hidden, system or read-only.
bool IsOrdinaryFile(const std::string& path);

// Creates a new file without sharing, with the permission bits of like; fails if anything of
// that name exists.
bool CreateNewFile(const std::string& path, const FileFacts& like, FileGuard& file);

// Writes exactly size bytes at the current position; fewer is a failure, and so is a write past
// the process's file size limit.
bool WriteExactly(FileGuard& file, const char* data, std::size_t size);

// Closes the file; false when the platform reports that the close failed.
bool CloseFile(FileGuard& file);

// Renames from to to, never replacing anything that exists at to.
bool RenameNoReplace(const std::string& from, const std::string& to);

// Removes the file at path.
bool RemoveFile(const std::string& path);
