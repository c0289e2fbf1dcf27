// Runs one repair of the track file named by its argument under the fault shim, set up from the
// environment, so that a test can kill it part way: TMF_KILL_AFTER (the armed call after which
// SIGKILL comes), TMF_WRITE_CHUNK (most bytes per write), TMF_REFUSE_RENAME_FLAGS (1: no
// RENAME_NOREPLACE). Prints the flag, the message and the kinds of calls made, one per line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "clock.h"
#include "fault_shim.h"
#include "repair.h"

namespace {

long Setting(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? 0 : std::strtol(value, nullptr, 10);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: repair_driver TRACK\n");
    return 2;
  }
  PinClockDigit(7);
  ShimKillAfter(Setting("TMF_KILL_AFTER"));
  ShimLimitWrites(static_cast<size_t>(Setting("TMF_WRITE_CHUNK")));
  ShimRefuseRenameFlags(Setting("TMF_REFUSE_RENAME_FLAGS") != 0);

  const std::string path = argv[1];
  std::string message;
  ShimArm();
  const int flag = FixTrackFile(path, message);
  ShimDisarm();
  std::printf("%d\n%s\n%s\n", flag, message.c_str(), ShimTrace());
  return 0;
}
