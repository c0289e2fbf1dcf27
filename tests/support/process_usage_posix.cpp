#include <dirent.h>
#include <malloc.h>

#include <fstream>
#include <string>

#include "process_usage.h"

namespace {

// A "Name:   1234 kB" line of /proc/self/status, in bytes.
std::size_t StatusKilobytes(const std::string& name) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, name.size() + 1, name + ":") == 0) {
      return std::stoul(line.substr(name.size() + 1)) * 1024;
    }
  }
  return 0;
}

}  // namespace

std::size_t ResidentBytes() { return StatusKilobytes("VmRSS"); }
std::size_t PeakResidentBytes() { return StatusKilobytes("VmHWM"); }

std::size_t HeapBytesInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

std::size_t OpenHandles() {
  std::size_t count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return 0;
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
}
