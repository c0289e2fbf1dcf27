// Where a track's stock names and marker sites lie, and the bytes its repair changes there: what
// a scan records so that the fix need not read the track again, and what it compares a fixed
// track with. The result equals the streaming repair's: every stock name replaced over the whole
// content, then every marker site over the result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "store.h"

namespace collection {

// The bytes kept on each side of a stock name. A marker site that a new name completes starts at
// most 9 bytes before the name or ends 9 after it; a stock name that it completes, 13.
constexpr std::size_t kContext = 13;

// Most places a track's record holds: above it the fix reads the track again (a pathological
// track with millions of names must not fill the memory).
constexpr std::size_t kMaxPlaces = 4096;

// A stock name's place, with the original bytes around it (fewer at the file's ends).
struct NamePlace {
  std::int64_t offset = 0;  // where the name starts
  std::int64_t begin = 0;   // where bytes starts: offset less up to kContext
  std::string bytes;        // the name and its context
};

// What a scan of a stock track records, in order of offset.
struct Places {
  bool complete = false;            // every place is here (false: over the cap, or not recorded)
  std::vector<NamePlace> names;     // every stock name (a track fixed from it has one kind)
  std::vector<std::int64_t> sites;  // every marker site
};

// Bytes the repair writes at offset.
struct Patch {
  std::int64_t offset = 0;
  std::string bytes;
};

// The repair's changes, from places that come in order of offset. Names whose surroundings
// touch are patched together, once no later name can touch them; sites give their patch at once.
struct Patcher {
  std::string from;                 // the stock name replaced
  std::string to;                   // its new name, of the same length
  std::vector<NamePlace> cluster;   // names whose surroundings touch, not yet patched
  std::vector<Patch> patches;       // the changes known so far; SortPatches orders them
  std::int64_t stockInResult = -1;  // where the result holds a stock name near a new name, or -1
};
void BeginPatches(Patcher& patcher, const std::string& from, const std::string& to);
void AddName(Patcher& patcher, const NamePlace& name);
void AddSite(Patcher& patcher, std::int64_t offset);
// Patches the names that no name starting at next or later can touch (every name, when next is
// past the end).
void PatchBefore(Patcher& patcher, std::int64_t next);
// Every patch starts at or after this (no cluster is open: the end of the file).
std::int64_t PatchedBefore(const Patcher& patcher, std::int64_t fileEnd);
void SortPatches(Patcher& patcher);

// The places in view (bytes [viewBegin, viewBegin + size) of a file) of names and sites that
// start in [from, to): fills names (every stock name, both kinds) and sites.
void FindPlaces(const char* view, std::int64_t viewBegin, std::size_t size, std::int64_t from,
                std::int64_t to, std::vector<NamePlace>& names, std::vector<std::int64_t>& sites);

// Where the bytes of two files of the same length differ, within a stretch [begin, end) of
// both; outside it nothing is known.
struct Differences {
  std::int64_t begin = 0;
  std::int64_t end = 0;
  std::vector<std::pair<std::int64_t, std::int64_t>> runs;  // [first, past) of each, in order
};

// Most differing bytes a search that compares notes: past it the rest is left to a plain
// comparison. Where a track is its backup's repair, they differ only where the repair changed it.
constexpr std::size_t kMaxDiffering = 1024;

// FindPlaces that also compares view with other (the other file's bytes at the same offsets)
// over [from, to) in the same pass, and records where they differ.
void FindPlacesComparing(const char* view, const char* other, std::int64_t viewBegin,
                         std::size_t size, std::int64_t from, std::int64_t to,
                         std::vector<NamePlace>& names, std::vector<std::int64_t>& sites,
                         Differences& differences);

// Whether differences holds a run that meets [begin, end), which lies in its stretch.
bool DifferIn(const Differences& differences, std::int64_t begin, std::int64_t end);

// The marker site and the fix marker, of the same length.
const std::string& MarkerSite();
const std::string& FixMarker();

}  // namespace collection
