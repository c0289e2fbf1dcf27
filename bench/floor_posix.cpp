// The floor with plain POSIX calls and a std::vector, as an ordinary program would write it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "floor.h"

namespace {

// Closes the descriptor on every path.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

bool CopyWhole(const std::string& from, const std::string& to, CopyPhases& phases) {
  Descriptor in{open(from.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat info;
  if (in.fd < 0 || fstat(in.fd, &info) != 0) return false;
  auto mark = std::chrono::steady_clock::now();
  std::vector<char> buffer(static_cast<std::size_t>(info.st_size));
  phases.buffer = Lap(mark);
  for (std::size_t done = 0; done < buffer.size();) {
    const ssize_t got = read(in.fd, buffer.data() + done, buffer.size() - done);
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  phases.read = Lap(mark);
  Descriptor out{open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)};
  if (out.fd < 0) return false;
  for (std::size_t done = 0; done < buffer.size();) {
    const ssize_t put = write(out.fd, buffer.data() + done, buffer.size() - done);
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  const int fd = out.fd;
  out.fd = -1;
  const bool closed = close(fd) == 0;
  phases.write = Lap(mark);
  return closed;
}
