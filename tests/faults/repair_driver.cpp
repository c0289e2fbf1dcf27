// Runs one repair of the track file named by its argument under the fault shim, set up from the
// environment (see fault_shim.h), so that a test can kill it part way. Prints the flag and the
// message, one a line.
#include <cstdio>
#include <string>

#include "clock.h"
#include "fault_shim.h"
#include "repair.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: repair_driver TRACK\n");
    return 2;
  }
  PinClockDigit(7);
  std::string message;
  ShimStartDriver();
  const int flag = FixTrackFile(argv[1], message);
  ShimEndDriver();
  std::printf("%d\n%s\n", flag, message.c_str());
  return 0;
}
