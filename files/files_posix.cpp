// The POSIX file primitives. Linux has no share modes: a non-blocking flock keeps out every
// program that asks for one, which is as close as it comes. Paths are bytes, whichever kind.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#include "files.h"
#include "path_calls.h"
#include "paths.h"

namespace files {

const char kSeparator = '/';
const char* const kSeparators = "/";
const bool kOpenFilesRename = true;

namespace {

// One read() or write() moves at most this much on Linux; larger transfers loop.
constexpr std::size_t kMaxTransfer = 0x7FFFF000;

int Descriptor(const FileHandle& file) { return static_cast<int>(file.handle); }

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
    case EEXIST:
      return "a file of that name exists";
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

void FillFacts(const struct stat& info, FileFacts& facts) {
  facts.volume = static_cast<std::uint64_t>(info.st_dev);
  facts.index = static_cast<std::uint64_t>(info.st_ino);
  facts.size = static_cast<std::int64_t>(info.st_size);
  facts.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                   static_cast<std::int64_t>(info.st_mtim.tv_nsec);
  facts.permissions = static_cast<unsigned>(info.st_mode & 07777);
}

EntryType TypeOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryType::kRegular;
  if (S_ISDIR(mode)) return EntryType::kFolder;
  if (S_ISLNK(mode)) return EntryType::kLink;
  return EntryType::kOther;
}

bool IsPending(int signal) {
  sigset_t pending;
  return sigpending(&pending) == 0 && sigismember(&pending, signal) == 1;
}

// A write past RLIMIT_FSIZE raises SIGXFSZ, which by default ends the process part way through
// a new file. Blocked, the write fails with EFBIG like a full disk; the signal it left pending
// is taken before the thread's mask is restored.
struct FileSizeSignalBlock {
  sigset_t only;
  sigset_t previous;
  bool pendingBefore;

  FileSizeSignalBlock() {
    sigemptyset(&only);
    sigaddset(&only, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &only, &previous);
    pendingBefore = IsPending(SIGXFSZ);
  }
  ~FileSizeSignalBlock() {
    const struct timespec now = {0, 0};
    if (!pendingBefore && IsPending(SIGXFSZ)) sigtimedwait(&only, nullptr, &now);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }
  FileSizeSignalBlock(const FileSizeSignalBlock&) = delete;
  FileSizeSignalBlock& operator=(const FileSizeSignalBlock&) = delete;
};

bool Lock(int fd, Sharing sharing) {
  return flock(fd, (sharing == Sharing::kNone ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0;
}

// A plain read and write loop covers kernels and file systems that refuse copy_file_range.
bool CopyByHand(FileHandle& from, FileHandle& to, off_t in, off_t end, std::string& error) {
  thread_local std::vector<char> buffer(std::size_t{1} << 20);
  while (in < end) {
    std::size_t got = 0;
    const std::size_t ask = end - in < static_cast<off_t>(buffer.size())
                                ? static_cast<std::size_t>(end - in)
                                : buffer.size();
    if (!ReadAt(from, in, buffer.data(), ask, got, error)) return false;
    if (got == 0) {
      error = "the file ended early";
      return false;
    }
    if (!WriteAt(to, in, buffer.data(), got, error)) return false;
    in += static_cast<off_t>(got);
  }
  return true;
}

// Copies [in, end) of from to the same offsets of to: copy_file_range lets the kernel copy (or
// clone, where the file system can) without the bytes passing through this process.
bool CopyRange(FileHandle& from, FileHandle& to, off_t in, off_t end, std::string& error) {
  off_t out = in;
  while (in < end) {
    const ssize_t moved = copy_file_range(Descriptor(from), &in, Descriptor(to), &out,
                                          static_cast<std::size_t>(end - in), 0);
    if (moved > 0) continue;
    if (moved < 0 && errno == EINTR) continue;
    if (moved == 0) {
      error = "the file ended early";
      return false;
    }
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
      return Fail(error);
    }
    return CopyByHand(from, to, in, end, error);
  }
  return true;
}

}  // namespace

FileHandle::~FileHandle() {
  std::string ignored;
  CloseFile(*this, ignored);
}

// O_NONBLOCK keeps a FIFO from waiting for a writer; anything but a regular file is refused and
// closed again. Only a refused lock leaves the descriptor in file: another program holds it.
template <typename Path>
bool OpenExisting(const Path& path, Access access, Sharing sharing, FileHandle& file,
                  std::string& error) {
  const int mode = access == Access::kRead ? O_RDONLY : O_RDWR;
  const int fd = open(path.text.c_str(), mode | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return Fail(error);
  struct stat info;
  std::string refused;
  if (fstat(fd, &info) != 0) {
    refused = Reason(errno);
  } else if (S_ISDIR(info.st_mode)) {
    refused = "is a folder";
  } else if (!S_ISREG(info.st_mode)) {
    refused = "is not a regular file";
  } else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    refused = Reason(errno);
  }
  if (!refused.empty()) {
    close(fd);
    error = refused;
    return false;
  }
  file.handle = fd;
  return Lock(fd, sharing) || Fail(error);
}

template <typename Path>
bool CreateNew(const Path& path, unsigned permissions, FileHandle& file, std::string& error) {
  const int fd = open(path.text.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                      static_cast<mode_t>(permissions));
  if (fd < 0) return Fail(error);
  if (!Lock(fd, Sharing::kNone)) {
    // Another program locked it first. The file is ours: remove it, so that the name is free.
    const int lockError = errno;
    close(fd);
    unlink(path.text.c_str());
    error = Reason(lockError);
    return false;
  }
  file.handle = fd;
  // The umask may have taken bits away. Should this fail, the file has at most the bits asked
  // for, never more.
  fchmod(fd, static_cast<mode_t>(permissions));
  return true;
}

bool QueryOpen(FileHandle& file, FileFacts& facts, std::string& error) {
  struct stat info;
  if (fstat(Descriptor(file), &info) != 0) return Fail(error);
  FillFacts(info, facts);
  return true;
}

template <typename Path>
bool FactsAt(const Path& path, FileFacts& facts, bool& missing) {
  struct stat info;
  missing = false;
  if (stat(path.text.c_str(), &info) != 0) {
    missing = errno == ENOENT;
    return false;
  }
  FillFacts(info, facts);
  return true;
}

// A rename of a symbolic link moves the link, but a track read through one is another file.
template <typename Path>
bool ReachedThroughLink(const Path& path, FileHandle& file) {
  struct stat named;
  struct stat open;
  if (lstat(path.text.c_str(), &named) != 0 || fstat(Descriptor(file), &open) != 0) return true;
  return S_ISLNK(named.st_mode) || named.st_dev != open.st_dev || named.st_ino != open.st_ino;
}

template <typename Path>
bool IsOrdinaryFile(const Path& path) {
  struct stat info;
  return lstat(path.text.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

template <typename Path>
bool RenameNoReplace(const Path& from, const Path& to, std::string& error) {
  const char* source = from.text.c_str();
  const char* target = to.text.c_str();
  if (renameat2(AT_FDCWD, source, AT_FDCWD, target, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return Fail(error);
  // A file system without the flag: link() never replaces, and the data has two names until
  // the unlink, so it always has one.
  if (link(source, target) != 0) {
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK) return Fail(error);
    error = "the file system cannot rename without replacing";
    return false;
  }
  if (unlink(source) == 0) return true;
  const int unlinkError = errno;
  unlink(target);
  error = Reason(unlinkError);
  return false;
}

template <typename Path>
bool RenameReplacing(const Path& from, const Path& to, std::string& error) {
  return renameat(AT_FDCWD, from.text.c_str(), AT_FDCWD, to.text.c_str()) == 0 || Fail(error);
}

template <typename Path>
bool HardLink(const Path& existing, const Path& linkPath, bool& noLinks, std::string& error) {
  noLinks = false;
  if (link(existing.text.c_str(), linkPath.text.c_str()) == 0) return true;
  noLinks = errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK;
  return Fail(error);
}

template <typename Path>
bool RemoveFile(const Path& path, std::string& error) {
  return unlink(path.text.c_str()) == 0 || Fail(error);
}

bool CloseFile(FileHandle& file, std::string& error) {
  if (file.handle < 0) return true;
  const int fd = Descriptor(file);
  file.handle = -1;
  // After close() the descriptor is gone even when it reports an error: never close twice.
  return close(fd) == 0 || Fail(error);
}

bool ReadAt(FileHandle& file, std::int64_t offset, char* data, std::size_t size, std::size_t& got,
            std::string& error) {
  got = 0;
  while (got < size) {
    const std::size_t ask = size - got < kMaxTransfer ? size - got : kMaxTransfer;
    const ssize_t moved = pread(Descriptor(file), data + got, ask,
                                static_cast<off_t>(offset + static_cast<std::int64_t>(got)));
    if (moved < 0 && errno == EINTR) continue;
    if (moved < 0) return Fail(error);
    if (moved == 0) break;
    got += static_cast<std::size_t>(moved);
  }
  return true;
}

bool WriteAt(FileHandle& file, std::int64_t offset, const char* data, std::size_t size,
             std::string& error) {
  FileSizeSignalBlock noSignal;
  std::size_t done = 0;
  while (done < size) {
    const std::size_t ask = size - done < kMaxTransfer ? size - done : kMaxTransfer;
    const ssize_t moved = pwrite(Descriptor(file), data + done, ask,
                                 static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) return Fail(error);
    done += static_cast<std::size_t>(moved);
  }
  return true;
}

bool SetSize(FileHandle& file, std::int64_t size, std::string& error) {
  if (ftruncate(Descriptor(file), static_cast<off_t>(size)) == 0) return true;
  // FAT through FUSE refuses to grow a file that way (and ignores writes over bytes it holds):
  // there the copy grows as it is written, in order, and a file system without holes leaves no
  // stretch unwritten.
  return errno == EPERM || errno == EOPNOTSUPP || Fail(error);
}

// Only the stretches that hold data are copied: the holes of a sparse file stay holes in the
// copy, which has its size from the start (SetSize).
bool CopyContent(FileHandle& from, FileHandle& to, std::int64_t begin, std::int64_t end,
                 std::string& error) {
  // A file with as many blocks as bytes has no holes: no need to ask where its data lies.
  struct stat info;
  if (fstat(Descriptor(from), &info) == 0 &&
      static_cast<std::int64_t>(info.st_blocks) * 512 >= static_cast<std::int64_t>(info.st_size)) {
    return CopyRange(from, to, static_cast<off_t>(begin), static_cast<off_t>(end), error);
  }
  for (off_t at = static_cast<off_t>(begin); at < end;) {
    const off_t data = lseek(Descriptor(from), at, SEEK_DATA);
    if (data < 0 && errno == ENXIO) return true;  // only a hole is left
    if (data < 0) return CopyRange(from, to, at, static_cast<off_t>(end), error);
    off_t hole = lseek(Descriptor(from), data, SEEK_HOLE);
    if (hole < 0 || hole > end) hole = static_cast<off_t>(end);
    if (data >= end) return true;
    if (!CopyRange(from, to, data, hole, error)) return false;
    at = hole;
  }
  return true;
}

// A hint: a failure here is found again by the flush.
void StartFlush(FileHandle& file) {
  sync_file_range(Descriptor(file), 0, 0, SYNC_FILE_RANGE_WRITE);
}

bool FlushFile(FileHandle& file, std::string& error) {
  return fsync(Descriptor(file)) == 0 || Fail(error);
}

// syncfs reports the write-back errors of the whole file system since the file was opened
// (Linux 5.8 on).
bool FlushVolume(FileHandle& file, std::string& error) {
  return syncfs(Descriptor(file)) == 0 || Fail(error);
}

EntryInfo ProbeEntry(const Utf8Path& path) {
  EntryInfo entry;
  struct stat info;
  if (lstat(path.text.c_str(), &info) != 0) return entry;
  entry.type = TypeOf(info.st_mode);
  if (entry.type == EntryType::kLink && stat(path.text.c_str(), &info) == 0) {
    entry.target = TypeOf(info.st_mode);
  }
  return entry;
}

bool ListFolder(const Utf8Path& folder, std::vector<std::string>& names, std::string& error) {
  DIR* dir = opendir(folder.text.c_str());
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

bool FullPathOf(const Utf8Path& path, std::string& full, std::string& error) {
  char* resolved = realpath(path.text.c_str(), nullptr);
  if (resolved == nullptr) return Fail(error);
  full = resolved;
  free(resolved);
  return true;
}

void FlushFolderOf(const Utf8Path& path) {
  std::string folder = FolderPrefix(path.text);
  if (folder.empty()) folder = ".";
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

// Paths are bytes here whichever kind they are: both kinds share every definition.
TMF_FILES_PATH_CALLS(AnsiPath)
TMF_FILES_PATH_CALLS(Utf8Path)

}  // namespace files
