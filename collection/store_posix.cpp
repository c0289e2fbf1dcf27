// The POSIX store. Linux has no share modes: flock stands in for them, so that a program holding
// a track to itself with an exclusive lock keeps us out, as it would on Windows.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "store.h"

namespace collection {

const char kSeparator = '/';

namespace {

int Descriptor(const StoreFile& file) { return static_cast<int>(file.handle); }

std::string Reason(int error) {
  switch (error) {
    case ENOENT:
      return "no such file";
    case EACCES:
    case EPERM:
      return "permission denied";
    case ENOSPC:
    case EDQUOT:
      return "disk full";
    case EROFS:
      return "read-only file system";
    case EWOULDBLOCK:
      return "in use by another program";
    case EISDIR:
      return "is a folder";
    case ELOOP:
      return "too many levels of links";
    case ENAMETOOLONG:
      return "name too long";
    case EFBIG:
      return "file too large";
    case EIO:
      return "input/output error";
    default:
      return strerror(error);
  }
}

bool Fail(std::string& error) {
  error = Reason(errno);
  return false;
}

EntryType TypeOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryType::kRegular;
  if (S_ISDIR(mode)) return EntryType::kFolder;
  if (S_ISLNK(mode)) return EntryType::kLink;
  return EntryType::kOther;
}

void FillIdentity(const struct stat& info, FileIdentity& identity) {
  identity.volume = static_cast<std::uint64_t>(info.st_dev);
  identity.index = static_cast<std::uint64_t>(info.st_ino);
  identity.size = static_cast<std::int64_t>(info.st_size);
  identity.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                      static_cast<std::int64_t>(info.st_mtim.tv_nsec);
}

std::string FolderOf(const std::string& path) {
  const std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

StoreFile::~StoreFile() {
  std::string ignored;
  CloseFile(*this, ignored);
}

EntryInfo ProbeEntry(const std::string& path) {
  EntryInfo entry;
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return entry;
  entry.type = TypeOf(info.st_mode);
  if (entry.type == EntryType::kLink && stat(path.c_str(), &info) == 0) {
    entry.target = TypeOf(info.st_mode);
  }
  return entry;
}

bool ListFolder(const std::string& folder, std::vector<std::string>& names, std::string& error) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return Fail(error);
  errno = 0;
  while (const struct dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
    errno = 0;
  }
  const int readError = errno;
  closedir(dir);
  if (readError != 0) {
    error = Reason(readError);
    return false;
  }
  return true;
}

bool OpenForReading(const std::string& path, StoreFile& file, FileIdentity& identity,
                    std::string& error) {
  // O_NONBLOCK: a FIFO opens at once instead of waiting for a writer, and is refused below.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return Fail(error);
  file.handle = fd;
  struct stat info;
  if (fstat(fd, &info) != 0) return Fail(error);
  if (!S_ISREG(info.st_mode)) {
    error = S_ISDIR(info.st_mode) ? "is a folder" : "is not a regular file";
    return false;
  }
  if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) return Fail(error);
  if (flock(fd, LOCK_SH | LOCK_NB) != 0) return Fail(error);
  FillIdentity(info, identity);
  return true;
}

bool IdentityAt(const std::string& path, FileIdentity& identity) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  FillIdentity(info, identity);
  return true;
}

bool ReadAt(StoreFile& file, std::int64_t offset, char* data, std::size_t size, std::size_t& got,
            std::string& error) {
  got = 0;
  while (got < size) {
    const ssize_t moved = pread(Descriptor(file), data + got, size - got,
                                static_cast<off_t>(offset + static_cast<std::int64_t>(got)));
    if (moved < 0 && errno == EINTR) continue;
    if (moved < 0) return Fail(error);
    if (moved == 0) break;
    got += static_cast<std::size_t>(moved);
  }
  return true;
}

bool CreateNew(const std::string& path, StoreFile& file, std::string& error) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return Fail(error);
  file.handle = fd;
  return true;
}

namespace {

// Copies [in, end) of from to the same offsets of to.
bool CopyRange(StoreFile& from, StoreFile& to, off_t in, off_t end, std::string& error);

}  // namespace

// copy_file_range lets the kernel copy (or clone, where the file system can) without the bytes
// passing through this process. Only the stretches that hold data are copied: the holes of a
// sparse track stay holes in the copy, which has the track's size from the start (SetSize).
bool SetSize(StoreFile& file, std::int64_t size, std::string& error) {
  if (ftruncate(Descriptor(file), static_cast<off_t>(size)) == 0) return true;
  // FAT through FUSE refuses to grow a file that way (and ignores writes over bytes it holds):
  // there the copy grows as it is written, in order, and a file system without holes leaves no
  // stretch unwritten.
  return errno == EPERM || errno == EOPNOTSUPP || Fail(error);
}

bool CopyContent(StoreFile& from, StoreFile& to, std::int64_t begin, std::int64_t size,
                 std::string& error) {
  // A file with as many blocks as bytes has no holes: no need to ask where its data lies.
  struct stat info;
  if (fstat(Descriptor(from), &info) == 0 &&
      static_cast<std::int64_t>(info.st_blocks) * 512 >= static_cast<std::int64_t>(info.st_size)) {
    return CopyRange(from, to, static_cast<off_t>(begin), static_cast<off_t>(size), error);
  }
  for (off_t at = static_cast<off_t>(begin); at < size;) {
    const off_t data = lseek(Descriptor(from), at, SEEK_DATA);
    if (data < 0 && errno == ENXIO) return true;  // only a hole is left
    if (data < 0) return CopyRange(from, to, at, static_cast<off_t>(size), error);
    off_t hole = lseek(Descriptor(from), data, SEEK_HOLE);
    if (hole < 0 || hole > size) hole = static_cast<off_t>(size);
    if (!CopyRange(from, to, data, hole, error)) return false;
    at = hole;
  }
  return true;
}

namespace {

// A plain read and write loop covers kernels and file systems that refuse copy_file_range.
bool CopyRange(StoreFile& from, StoreFile& to, off_t in, off_t size, std::string& error) {
  off_t out = in;
  while (in < size) {
    const ssize_t moved = copy_file_range(Descriptor(from), &in, Descriptor(to), &out,
                                          static_cast<std::size_t>(size - in), 0);
    if (moved > 0) continue;
    if (moved < 0 && errno == EINTR) continue;
    if (moved == 0) {
      error = "the track ended early";
      return false;
    }
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
      return Fail(error);
    }
    static char buffer[1 << 20];
    while (in < size) {
      std::size_t got = 0;
      const std::size_t ask = size - in < static_cast<off_t>(sizeof buffer)
                                  ? static_cast<std::size_t>(size - in)
                                  : sizeof buffer;
      if (!ReadAt(from, in, buffer, ask, got, error)) return false;
      if (got == 0) {
        error = "the track ended early";
        return false;
      }
      if (!WriteAt(to, out, buffer, got, error)) return false;
      in += static_cast<off_t>(got);
      out += static_cast<off_t>(got);
    }
  }
  return true;
}

}  // namespace

bool WriteAt(StoreFile& file, std::int64_t offset, const char* data, std::size_t size,
             std::string& error) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t moved = pwrite(Descriptor(file), data + done, size - done,
                                 static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) return Fail(error);
    done += static_cast<std::size_t>(moved);
  }
  return true;
}

// A hint: a failure here is found again by the flush.
void StartFlush(StoreFile& file) { sync_file_range(Descriptor(file), 0, 0, SYNC_FILE_RANGE_WRITE); }

bool FlushFile(StoreFile& file, std::string& error) {
  return fsync(Descriptor(file)) == 0 || Fail(error);
}

// syncfs reports the write-back errors of the whole file system since the file was opened
// (Linux 5.8 on).
bool FlushVolume(StoreFile& file, std::string& error) {
  return syncfs(Descriptor(file)) == 0 || Fail(error);
}

bool CloseFile(StoreFile& file, std::string& error) {
  if (file.handle == -1) return true;
  const int fd = Descriptor(file);
  file.handle = -1;
  return close(fd) == 0 || Fail(error);
}

bool HardLink(const std::string& existing, const std::string& linkPath, bool& noLinks,
              std::string& error) {
  noLinks = false;
  if (link(existing.c_str(), linkPath.c_str()) == 0) return true;
  noLinks = errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK;
  return Fail(error);
}

bool RenameReplacing(const std::string& from, const std::string& to, std::string& error) {
  return renameat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str()) == 0 || Fail(error);
}

bool RenameNoReplace(const std::string& from, const std::string& to, std::string& error) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    FlushFolderOf(to);
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return Fail(error);
  // No RENAME_NOREPLACE here: a link and an unlink never replace either.
  if (link(from.c_str(), to.c_str()) == 0) {
    if (unlink(from.c_str()) != 0) return Fail(error);
    FlushFolderOf(to);
    return true;
  }
  if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK) return Fail(error);
  // Nor hard links (FAT): a look before the rename, as Windows does for a rename that must not
  // replace; only a file made at to between the two is at risk.
  struct stat existing;
  if (lstat(to.c_str(), &existing) == 0) {
    errno = EEXIST;
    return Fail(error);
  }
  if (errno != ENOENT) return Fail(error);
  if (renameat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str()) != 0) return Fail(error);
  FlushFolderOf(to);
  return true;
}

bool RemoveFile(const std::string& path, std::string& error) {
  return unlink(path.c_str()) == 0 || Fail(error);
}

void FlushFolderOf(const std::string& path) {
  const int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

unsigned long UniqueNumber() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<unsigned long>(getpid()) * 1000003UL ^
         static_cast<unsigned long>(now.tv_nsec) ^ static_cast<unsigned long>(now.tv_sec);
}

}  // namespace collection
