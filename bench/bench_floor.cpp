// bench_floor [--phases] IN OUT: reads IN whole into memory and writes it to the new file OUT, no
// processing. With --phases it prints where the time went.
#include <cstdio>
#include <cstring>

#include "floor.h"

int main(int argc, char** argv) {
  const bool phasesWanted = argc == 4 && std::strcmp(argv[1], "--phases") == 0;
  if (argc != 3 && !phasesWanted) {
    std::fprintf(stderr, "usage: bench_floor [--phases] IN OUT\n");
    return 2;
  }
  CopyPhases phases;
  if (!CopyWhole(argv[argc - 2], argv[argc - 1], phases)) {
    std::fprintf(stderr, "bench_floor: copy failed\n");
    return 1;
  }
  if (phasesWanted) {
    std::printf("buffer %.1f ms, read %.1f ms, write %.1f ms\n", phases.buffer, phases.read,
                phases.write);
  }
  return 0;
}
