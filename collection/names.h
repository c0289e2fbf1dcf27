// New map names that no other track of the collection carries.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "collection.h"

namespace collection {

// A base name as a stem counts it: one character for each UTF-8 sequence that decodes and for
// each byte that does not; printable ASCII stays, anything else (a space too) becomes '_'. The
// result is plain ASCII, one byte per character.
std::string StemCharacters(const std::string& base);

// The stem of a new name for the track at path: the dialog's, without its digit and "Map", built
// from the base name's characters, and always of full length (an empty Supercross base name is
// filled with one more zero).
std::string MapStem(const std::string& path, Kind kind);

// The digit a track's new name tries first: the last digit of its size in bytes, so that the
// same collection gives the same names in a dry run and in the run after it.
inline int FirstDigit(std::int64_t size) { return static_cast<int>(size % 10); }

// The first name stem + digit + "Map" not in taken, trying the digits from firstDigit up
// (9 wraps to 0); when all ten are taken, the stem's last characters turn like an odometer
// (0-9, then A-Z, the last fastest, the one before joining when it has gone round) and the
// digits are tried again for each.
std::string AllocateMapName(const std::string& stem, int clockDigit,
                            const std::set<std::string>& taken);

}  // namespace collection
