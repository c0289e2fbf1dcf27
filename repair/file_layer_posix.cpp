// The POSIX file layer. Linux has no share modes: a non-blocking exclusive flock keeps out every
// program that asks for one, which is as close as it comes.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "file_layer.h"

namespace {

// One read() or write() moves at most this much on Linux; larger transfers loop.
constexpr std::size_t kMaxTransfer = 0x7FFFF000;

int Descriptor(const FileGuard& file) { return static_cast<int>(file.handle); }

bool LockExclusive(int fd) { return flock(fd, LOCK_EX | LOCK_NB) == 0; }

bool IsPending(int signal) {
  sigset_t pending;
  return sigpending(&pending) == 0 && sigismember(&pending, signal) == 1;
}

// A write past RLIMIT_FSIZE raises SIGXFSZ, which by default ends the process part way through
// the new file. Blocked, the write fails with EFBIG like a full disk; the signal it left pending
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

// Opens without following the open into a device or a FIFO: O_NONBLOCK keeps a FIFO from
// waiting for a writer, and anything but a regular file is refused.
int OpenRegular(const std::string& path, int mode) {
  const int fd = open(path.c_str(), mode | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

FileGuard::~FileGuard() { CloseFile(*this); }

ContentBuffer::~ContentBuffer() { std::free(data); }

bool OpenExistingFile(const std::string& path, FileGuard& file) {
  int fd = OpenRegular(path, O_RDWR);
  if (fd < 0) fd = OpenRegular(path, O_RDONLY);
  if (fd < 0) return false;
  file.handle = fd;
  return LockExclusive(fd);
}

bool QueryOpenFile(FileGuard& file, FileFacts& facts) {
  struct stat info;
  if (fstat(Descriptor(file), &info) != 0) return false;
  facts.size = info.st_size;
  facts.identity.volume = info.st_dev;
  facts.identity.index = info.st_ino;
  facts.permissions = info.st_mode & 0777;
  return true;
}

// Plain malloc, not a huge-page mapping: write() from a buffer backed by transparent huge pages
// measured 5.1-5.4 s for 1.5 GiB here, against 0.4-1.1 s from ordinary pages. The C library maps
// a large block fresh, so its pages are faulted in by the read and never zero-filled by us.
bool AllocateContent(ContentBuffer& buffer, std::size_t size) {
  void* data = std::malloc(size == 0 ? 1 : size);
  if (data == nullptr) return false;
  buffer.data = static_cast<char*>(data);
  buffer.size = size;
  return true;
}

bool ReadExactly(FileGuard& file, char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const std::size_t ask = size - done < kMaxTransfer ? size - done : kMaxTransfer;
    const ssize_t got = read(Descriptor(file), data + done, ask);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;  // an error, or the file ended early
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool EndTrackRead(FileGuard&) { return true; }

bool CheckSameFile(const std::string& path, const FileIdentity& identity, bool& same) {
  same = false;
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return errno == ENOENT;
  same = info.st_dev == identity.volume && info.st_ino == identity.index;
  return true;
}

bool IsOrdinaryFile(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool CreateNewFile(const std::string& path, const FileFacts& like, FileGuard& file) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                      static_cast<mode_t>(like.permissions));
  if (fd < 0) return false;
  if (LockExclusive(fd)) {
    file.handle = fd;
    // The umask may have taken bits away. Should this fail, the file has at most the track's
    // permissions, never more.
    fchmod(fd, static_cast<mode_t>(like.permissions));
    return true;
  }
  // Another program locked it first. The file is ours: remove it, so that the name is free for
  // the backup to move back.
  close(fd);
  unlink(path.c_str());
  return false;
}

bool WriteExactly(FileGuard& file, const char* data, std::size_t size) {
  FileSizeSignalBlock noSignal;
  std::size_t done = 0;
  while (done < size) {
    const std::size_t ask = size - done < kMaxTransfer ? size - done : kMaxTransfer;
    const ssize_t put = write(Descriptor(file), data + done, ask);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

bool CloseFile(FileGuard& file) {
  if (file.handle < 0) return true;
  const int fd = Descriptor(file);
  file.handle = -1;
  // After close() the descriptor is gone even when it reports an error: never close twice.
  return close(fd) == 0;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  // A file system without the flag: link() never replaces, and the data has two names until
  // the unlink, so it always has one.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  if (unlink(from.c_str()) == 0) return true;
  unlink(to.c_str());
  return false;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }
