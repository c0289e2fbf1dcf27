// The texts the game defines, each written once for both programs.
#pragma once

#include <cstddef>

// The two stock map names a user-made track can carry.
inline constexpr char kNationalMap[] = "National_Map";
inline constexpr char kSupercrossMap[] = "Supercross_Map";

// The marker site, and the fix marker that replaces it: the same length.
inline constexpr char kMarkerSite[] = ";  The Sun";
inline constexpr char kFixMarker[] = ";TDFIX   1";
inline constexpr std::size_t kMarkerLength = sizeof kMarkerSite - 1;
static_assert(sizeof kMarkerSite == sizeof kFixMarker, "the fix marker keeps the length");
