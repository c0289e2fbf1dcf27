// Writes a synthetic track file and the content that its repair must give, for benchmarks:
//   make_bench_track SIZE SPACING NEWNAME TRACK EXPECTED
// SIZE bytes of pseudo-random data (the same for the same arguments); in every SPACING bytes one
// "National_Map" (NEWNAME, 12 bytes, in EXPECTED) and one ";  The Sun" (";TDFIX   1"), each at
// a pseudo-random place of its own half of the block.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "game_texts.h"

namespace {

const std::string kStockName = kNationalMap;
const std::string kSite = kMarkerSite;
const std::string kMarker = kFixMarker;

// splitmix64: small, fast, and the same sequence on every platform.
std::uint64_t Next(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

void Fill(std::uint64_t& state, char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; i += 8) {
    const std::uint64_t r = Next(state);
    std::memcpy(data + i, &r, size - i < 8 ? size - i : 8);
  }
}

bool WriteAll(std::FILE* file, const std::vector<char>& block) {
  return std::fwrite(block.data(), 1, block.size(), file) == block.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: make_bench_track SIZE SPACING NEWNAME TRACK EXPECTED\n");
    return 2;
  }
  const std::uint64_t size = std::strtoull(argv[1], nullptr, 10);
  const std::size_t spacing = std::strtoull(argv[2], nullptr, 10);
  const std::string newName = argv[3];
  if (newName.size() != kStockName.size() || spacing < 64 || size % spacing != 0) {
    std::fprintf(stderr,
                 "make_bench_track: NEWNAME needs 12 bytes, SIZE a multiple of SPACING >= 64\n");
    return 2;
  }
  std::FILE* track = std::fopen(argv[4], "wb");
  std::FILE* expected = std::fopen(argv[5], "wb");
  if (track == nullptr || expected == nullptr) {
    std::fprintf(stderr, "make_bench_track: cannot create the output files\n");
    return 1;
  }
  std::uint64_t state = size ^ spacing;
  std::vector<char> before(spacing);
  std::vector<char> after(spacing);
  bool ok = true;
  const std::size_t half = spacing / 2;
  for (std::uint64_t done = 0; ok && done < size; done += spacing) {
    Fill(state, before.data(), spacing);
    const std::size_t name = Next(state) % (half - kStockName.size());
    const std::size_t marker = half + Next(state) % (half - kSite.size());
    std::memcpy(&before[name], kStockName.data(), kStockName.size());
    std::memcpy(&before[marker], kSite.data(), kSite.size());
    after = before;
    std::memcpy(&after[name], newName.data(), newName.size());
    std::memcpy(&after[marker], kMarker.data(), kMarker.size());
    ok = WriteAll(track, before) && WriteAll(expected, after);
  }
  ok = std::fclose(track) == 0 && ok;
  ok = std::fclose(expected) == 0 && ok;
  if (!ok) std::fprintf(stderr, "make_bench_track: writing failed\n");
  return ok ? 0 : 1;
}
