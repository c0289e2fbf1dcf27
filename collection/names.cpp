#include "names.h"

#include <cstdint>

#include "repair.h"

namespace collection {

namespace {

const char kOdometer[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::uint64_t kOdometerBase = sizeof kOdometer - 1;

}  // namespace

std::string MapStem(const std::string& path, Kind kind) {
  const std::string& stock = StockName(kind);
  std::string name = NewMapName(path, kind == Kind::kNational ? 1 : 0);
  std::string stem = name.size() >= 4 ? name.substr(0, name.size() - 4) : std::string();
  stem.resize(stock.size() - 4, '0');
  return stem;
}

std::string AllocateMapName(const std::string& stem, int clockDigit,
                            const std::set<std::string>& taken) {
  std::uint64_t variants = 1;  // kOdometerBase to the power of the wheels turning
  for (std::size_t wheels = 0; wheels <= stem.size(); ++wheels, variants *= kOdometerBase) {
    for (std::uint64_t variant = 0; variant < variants; ++variant) {
      std::string name = stem;
      std::uint64_t rest = variant;
      for (std::size_t wheel = 0; wheel < wheels; ++wheel, rest /= kOdometerBase) {
        name[stem.size() - 1 - wheel] = kOdometer[rest % kOdometerBase];
      }
      for (int step = 0; step < 10; ++step) {
        const std::string candidate =
            name + static_cast<char>('0' + (clockDigit + step) % 10) + "Map";
        if (taken.count(candidate) == 0) return candidate;
      }
    }
  }
  return std::string();
}

}  // namespace collection
