// Repairs one track file, the way the program does, for benchmarks: bench_repair PATH
// The clock digit is pinned to 7 so that every run writes the same new name.
#include <cstdio>
#include <string>

#include "clock.h"
#include "repair.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_repair PATH\n");
    return 2;
  }
  PinClockDigit(7);
  std::string message;
  if (FixTrackFile(argv[1], message) != 1) {
    std::fprintf(stderr, "bench_repair: failed: \"%s\"\n", message.c_str());
    return 1;
  }
  return 0;
}
