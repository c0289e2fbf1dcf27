// Real files for tests: a fresh folder per test and plain reads and writes of whole files, with
// the platform's own calls so that what a test sees is what is on disk.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

// The platform's directory separator, as a text to join with.
extern const char* const kSeparator;

// Writes bytes as the whole content of path, replacing what was there.
bool WriteBytes(const std::string& path, const std::string& bytes);

// The whole content of path; false when it cannot be read.
bool ReadBytes(const std::string& path, std::string& bytes);

// The whole content of path, or "<missing>" when it cannot be read.
inline std::string ContentOf(const std::string& path) {
  std::string bytes;
  return ReadBytes(path, bytes) ? bytes : "<missing>";
}

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool MakeDirectory(const std::string& path);

// A file of size bytes that takes no disk space but for tail, written at its end.
bool MakeSparseFile(const std::string& path, std::int64_t size, const std::string& tail);

// The bytes of path from offset on, at most count of them.
bool ReadRange(const std::string& path, std::int64_t offset, std::size_t count, std::string& bytes);

std::int64_t SizeOf(const std::string& path);  // -1 when it cannot be read

// Marks path read-only (or writable again).
bool SetReadOnly(const std::string& path, bool readOnly);

// Makes a new empty folder under the system's temporary folder; removes it and all it holds.
std::string MakeTempFolder();
void RemoveTree(const std::string& path);

// A test case with a fresh folder of its own, removed afterwards.
class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = MakeTempFolder(); }
  void TearDown() override { RemoveTree(folder_); }
  std::string PathOf(const std::string& name) const { return folder_ + kSeparator + name; }

  std::string folder_;
};

// Marks path hidden; false where the platform has no such attribute.
bool SetHidden(const std::string& path);

// Makes a symbolic link at link that points at target, a name in link's folder or a full path.
// Wine has no call that makes one: there the host's ln makes it.
bool MakeLink(const std::string& target, const std::string& link);

// The permission bits of path, and setting them; false where the platform has none.
bool GetPermissions(const std::string& path, unsigned& bits);
bool SetPermissions(const std::string& path, unsigned bits);

// Marks path immutable (or not): no one may change, rename or delete it. False where the
// platform or the file system has no such flag.
bool SetImmutable(const std::string& path, bool immutable);

// Sets the sticky bit of a folder open to all: there only a file's owner may rename or delete it.
// False where the platform has no such bit.
bool MakeSticky(const std::string& folder);

// Holds a file open the way another program would that shares it with nobody.
struct ExclusiveHold {
  std::intptr_t handle = -1;
  ExclusiveHold() = default;
  ~ExclusiveHold();
  ExclusiveHold(const ExclusiveHold&) = delete;
  ExclusiveHold& operator=(const ExclusiveHold&) = delete;
};
bool HoldExclusive(const std::string& path, ExclusiveHold& hold);

// While alive, files this process writes can grow to at most limit bytes. ok() says whether the
// platform has such a limit.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::int64_t limit);
  ~FileSizeLimit();
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
  std::int64_t previous_ = 0;
};

// While alive, the process runs its file checks as an ordinary user rather than root. ok() says
// whether it took effect (only root can change its file user).
class OrdinaryUser {
 public:
  OrdinaryUser();
  ~OrdinaryUser();
  bool ok() const { return previous_ >= 0; }

 private:
  int previous_ = -1;
};
