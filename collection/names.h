// New map names that no other track of the collection carries.
#pragma once

#include <set>
#include <string>

#include "collection.h"

namespace collection {

// The stem of a new name for the track at path: the dialog's, without its digit and "Map", and
// always of full length (an empty Supercross base name is filled with one more zero).
std::string MapStem(const std::string& path, Kind kind);

// The first name stem + digit + "Map" not in taken, trying the digits from clockDigit up
// (9 wraps to 0); when all ten are taken, the stem's last characters turn like an odometer
// (0-9, then A-Z, the last fastest, the one before joining when it has gone round) and the
// digits are tried again for each.
std::string AllocateMapName(const std::string& stem, int clockDigit,
                            const std::set<std::string>& taken);

}  // namespace collection
