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

// Opens an existing regular file without sharing: for reading and writing, else for reading
// only. Never creates a file.
bool OpenExistingFile(const std::string& path, FileGuard& file);

// The open file's size in bytes, taken as 64 bits.
bool QueryFileSize(FileGuard& file, std::int64_t& size);

// Gives buffer size bytes of storage; its content is undefined until read into.
bool AllocateContent(ContentBuffer& buffer, std::size_t size);

// Reads exactly size bytes from the current position; fewer is a failure.
bool ReadExactly(FileGuard& file, char* data, std::size_t size);

// Creates a new file without sharing; fails if anything of that name exists.
bool CreateNewFile(const std::string& path, FileGuard& file);

// Writes exactly size bytes at the current position; fewer is a failure.
bool WriteExactly(FileGuard& file, const char* data, std::size_t size);

// Closes the file; false when the platform reports that the close failed.
bool CloseFile(FileGuard& file);

// Deletes the file at path only if it is an ordinary file (not a directory, a link, or a file
// marked hidden or system). Failure is not reported: the caller goes on either way.
void DeleteOrdinaryFile(const std::string& path);

// Renames from to to, never replacing anything that exists at to.
bool RenameNoReplace(const std::string& from, const std::string& to);

// Removes the file at path.
bool RemoveFile(const std::string& path);
