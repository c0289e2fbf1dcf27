#include <fcntl.h>
#include <ftw.h>
#include <linux/fs.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/fsuid.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "disk.h"

const char* const kSeparator = "/";

namespace {

bool WriteAllAt(int fd, const std::string& bytes, off_t offset) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = pwrite(fd, bytes.data() + done, bytes.size() - done, offset + done);
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace

bool WriteBytes(const std::string& path, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool written = WriteAllAt(fd, bytes, 0);
  return close(fd) == 0 && written;
}

bool ReadRange(const std::string& path, std::int64_t offset, std::size_t count,
               std::string& bytes) {
  bytes.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char chunk[1 << 16];
  bool ok = true;
  while (bytes.size() < count) {
    const std::size_t ask = std::min(sizeof chunk, count - bytes.size());
    const ssize_t got = pread(fd, chunk, ask, offset + static_cast<off_t>(bytes.size()));
    if (got < 0) ok = false;
    if (got <= 0) break;
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
  close(fd);
  return ok;
}

bool ReadBytes(const std::string& path, std::string& bytes) {
  return ReadRange(path, 0, static_cast<std::size_t>(-1), bytes);
}

bool PathExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeDirectory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool MakeSparseFile(const std::string& path, std::int64_t size, const std::string& tail) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool made =
      ftruncate(fd, size) == 0 && WriteAllAt(fd, tail, static_cast<off_t>(size - tail.size()));
  return close(fd) == 0 && made;
}

std::int64_t SizeOf(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

bool SetReadOnly(const std::string& path, bool readOnly) {
  return chmod(path.c_str(), readOnly ? 0444 : 0666) == 0;
}

std::string MakeTempFolder() {
  const char* base = getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/trackmapfix-test-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) return std::string();
  // Open to every user: tests that drop root's file privileges still work inside it.
  chmod(pattern.c_str(), 0777);
  return pattern;
}

void RemoveTree(const std::string& path) {
  if (path.empty()) return;
  nftw(
      path.c_str(),
      [](const char* entry, const struct stat*, int, struct FTW*) { return remove(entry), 0; }, 16,
      FTW_DEPTH | FTW_PHYS);
}

bool SetHidden(const std::string&) { return false; }

bool MakeLink(const std::string& target, const std::string& link) {
  return symlink(target.c_str(), link.c_str()) == 0;
}

bool GetPermissions(const std::string& path, unsigned& bits) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  bits = info.st_mode & 07777;
  return true;
}

bool SetPermissions(const std::string& path, unsigned bits) {
  return chmod(path.c_str(), static_cast<mode_t>(bits)) == 0;
}

bool SetImmutable(const std::string& path, bool immutable) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  close(fd);
  return done;
}

bool MakeSticky(const std::string& folder) { return chmod(folder.c_str(), 01777) == 0; }

ExclusiveHold::~ExclusiveHold() {
  if (handle >= 0) close(static_cast<int>(handle));
}

bool HoldExclusive(const std::string& path, ExclusiveHold& hold) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  hold.handle = fd;
  return flock(fd, LOCK_EX | LOCK_NB) == 0;
}

// As under a shell's ulimit -f: a write past the limit raises SIGXFSZ, which ends the process
// unless the writer blocks it.
FileSizeLimit::FileSizeLimit(std::int64_t limit) {
  struct rlimit current;
  if (getrlimit(RLIMIT_FSIZE, &current) != 0) return;
  previous_ = static_cast<std::int64_t>(current.rlim_cur);
  struct rlimit lowered = current;
  lowered.rlim_cur = static_cast<rlim_t>(limit);
  ok_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
}

FileSizeLimit::~FileSizeLimit() {
  if (!ok_) return;
  struct rlimit current;
  getrlimit(RLIMIT_FSIZE, &current);
  current.rlim_cur = static_cast<rlim_t>(previous_);
  setrlimit(RLIMIT_FSIZE, &current);
}

// Root passes every permission check; a file user id of nobody drops those privileges for file
// access only.
OrdinaryUser::OrdinaryUser() {
  if (geteuid() == 0) previous_ = setfsuid(65534);
}

OrdinaryUser::~OrdinaryUser() {
  if (previous_ >= 0) setfsuid(static_cast<uid_t>(previous_));
}
