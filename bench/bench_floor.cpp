// bench_floor IN OUT: reads IN whole into memory and writes it to the new file OUT, no processing.
#include <cstdio>

#include "floor.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_floor IN OUT\n");
    return 2;
  }
  if (!CopyWhole(argv[1], argv[2])) {
    std::fprintf(stderr, "bench_floor: copy failed\n");
    return 1;
  }
  return 0;
}
