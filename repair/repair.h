// Track file repair: gives a track file a map name of its own.
#pragma once

#include <cstdint>
#include <string>

// Repairs the track file at path: every stock map name becomes a new name of the same length,
// every marker site becomes the fix marker, and the original is kept as path + ".bak".
// Returns 1 when handled (message: the new map name, or " already fixed") and 0 when not
// (message: "map name isn't 12 chars", "map name isn't 14 chars", or empty after a failed file
// operation). A failed repair leaves the track file exactly as it was.
std::int32_t FixTrackFile(const std::string& path, std::string& message);

// Builds the new map name for the track file at path: 12 bytes for kind != 0 (National), 14 for
// kind 0 (Supercross), except 13 for a Supercross file named only by its extension. Empty when
// memory cannot be had.
std::string NewMapName(const std::string& path, std::int32_t kind);

// The part of a new map name before its digit, from the track's base name (its file name without
// the extension): shorter than the threshold (9 for kind != 0, 11 for kind 0), the base name
// filled with zeros on the right to threshold - 1 characters (at most nine zeros); otherwise its
// first two and last threshold - 3 characters. Bytes as they are.
std::string NewMapStem(const std::string& base, std::int32_t kind);
