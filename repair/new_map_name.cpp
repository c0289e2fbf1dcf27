#include <cstdint>
#include <new>
#include <string>

#include "clock.h"
#include "paths.h"
#include "repair.h"

std::string NewMapStem(const std::string& base, std::int32_t kind) {
  const std::string::size_type threshold = kind != 0 ? 9 : 11;
  if (base.size() < threshold) {
    // At most nine zeros: an empty Supercross base name stays one short, and the caller
    // refuses that name by its length.
    return (base + "000000000").substr(0, threshold - 1);
  }
  return base.substr(0, 2) + base.substr(base.size() - (threshold - 3));
}

std::string NewMapName(const std::string& path, std::int32_t kind) {
  try {
    // The file's own name: a track path as Windows gives it, where either slash ends a folder.
    std::string base = files::NameOf(path, files::kWindowsSeparators);
    // The extension is cut by count, whatever it holds.
    if (base.size() >= 4) base.resize(base.size() - 4);
    std::string name = NewMapStem(base, kind);
    name += static_cast<char>('0' + ClockDigit());
    name += "Map";
    for (char& c : name) {
      if (c == ' ') c = '_';
    }
    return name;
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}
