#include "names.h"

#include <cstdint>

#include "paths.h"
#include "repair.h"

namespace collection {

namespace {

const char kOdometer[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::uint64_t kOdometerBase = sizeof kOdometer - 1;

// The length of the UTF-8 sequence that starts at text[at], or 0 where none does: a lead byte,
// its continuation bytes, and no overlong form, surrogate or code point past U+10FFFF.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
  std::uint32_t point = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    point = point << 6 | (next & 0x3F);
  }
  const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string StemCharacters(const std::string& base) {
  std::string characters;
  for (std::size_t at = 0; at < base.size();) {
    const char c = base[at];
    const std::size_t length = Utf8Length(base, at);
    characters += c > ' ' && c <= '~' ? c : '_';
    at += length == 0 ? 1 : length;
  }
  return characters;
}

std::string MapStem(const std::string& path, Kind kind) {
  const std::string& stock = StockName(kind);
  std::string base = files::NameOf(path);
  // A track's name ends in ".pak": four characters of one byte each.
  base.resize(base.size() >= 4 ? base.size() - 4 : 0);
  std::string stem = NewMapStem(StemCharacters(base), kind == Kind::kNational ? 1 : 0);
  stem.resize(stock.size() - 4, '0');
  return stem;
}

std::string AllocateMapName(const std::string& stem, int firstDigit,
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
            name + static_cast<char>('0' + (firstDigit + step) % 10) + "Map";
        if (taken.count(candidate) == 0) return candidate;
      }
    }
  }
  return std::string();
}

}  // namespace collection
