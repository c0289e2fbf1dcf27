#include <cstdio>

#include "commands.h"
#include "handle_guard.h"
#include "windows_found.h"

int HoldFile(const std::string& path, const std::string& flag_file) {
  // Share mode 0, as another program that shares the file with nobody would open it.
  HandleGuard file{CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (!file.ok()) {
    std::printf("error=cannot open %s (%lu)\n", path.c_str(), GetLastError());
    return 1;
  }
  FILE* flag = std::fopen(flag_file.c_str(), "wb");
  const bool flagged = flag && std::fclose(flag) == 0;
  if (flagged) {
    WaitFor(60000,
            [&] { return GetFileAttributesA(flag_file.c_str()) == INVALID_FILE_ATTRIBUTES; });
  } else {
    std::printf("error=cannot write %s\n", flag_file.c_str());
  }
  return flagged ? 0 : 1;
}
