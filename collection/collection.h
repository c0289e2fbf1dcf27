// The track library: what a collection of track files holds (every track's state and map name,
// the clashes between them) and the three runs over it: scan, fix and restore.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "places.h"
#include "store.h"

namespace collection {

enum class State { kStock, kFixed, kUnverified, kError };
enum class Kind { kNone, kNational, kSupercross };

// One track as a scan finds it. Texts are bytes; an empty map name means "not known".
struct Track {
  std::string path;  // as the arguments reach it
  State state = State::kError;
  Kind kind = Kind::kNone;   // the stock track's kind, or the verified original's
  std::string mapName;       // the stock name, or the name a fixed track carries
  std::string error;         // why an error track could not be read, in words
  bool holdsBoth = false;    // a stock track that carries both stock names
  FileFacts identity;        // the track as it was scanned
  FileFacts backupIdentity;  // its verified backup, for a fixed track
  Places places;             // where a stock track's names and sites lie, for its fix
};

// A map name carried by two or more tracks, or a stock name carried by any; paths in path order.
struct Clash {
  std::string mapName;
  std::vector<std::string> paths;
};

// A folder that could not be listed, and why.
struct Unreadable {
  std::string path;
  std::string error;
};

// The tracks the arguments reach, in path order and each path once, and what else was found on
// the way: leftover temporary files of interrupted runs, backups whose track is missing, and
// folders that could not be listed.
struct Gathered {
  std::vector<std::string> tracks;
  std::vector<std::string> leftovers;
  std::vector<std::string> orphans;
  std::vector<Unreadable> unreadable;
};

// Which part of a run the work is in.
enum class Phase { kScanning, kFixing, kRestoring, kAdding };

// How far a phase has come: bytes of track content done and in all, and tracks done and in all.
struct ProgressStep {
  Phase phase = Phase::kScanning;
  std::int64_t bytesDone = 0;
  std::int64_t bytesTotal = 0;
  std::size_t tracksDone = 0;
  std::size_t tracksTotal = 0;
};

// Told as the work goes on: after each track and, within a large one, after each stretch read.
// Returning false asks the run to stop after the track in hand; a run that stops returns the
// tracks or outcomes it got to, in order, and touches no other track. May be empty.
using Progress = std::function<bool(const ProgressStep& step)>;

// One phase's progress as a run tells it.
struct ProgressMeter {
  const Progress* progress = nullptr;
  ProgressStep step;
  std::int64_t trackBase = 0;  // bytes done before the track in hand
  bool stop = false;           // the caller asked to stop: the run ends after the track in hand
};
ProgressMeter StartPhase(const Progress& progress, Phase phase, std::int64_t bytesTotal,
                         std::size_t tracksTotal);
// The bytes of the tracks as they were scanned.
std::int64_t TotalSize(const std::vector<Track>& tracks);
// Tells how far into the track in hand the work is.
void TellWithinTrack(ProgressMeter& meter, std::int64_t bytesIntoTrack);
// Tells that the track in hand, of trackBytes, is done. False: stop before the next track.
bool TellTrackDone(ProgressMeter& meter, std::int64_t trackBytes);

// Finds every track under library, as GatherTracks does for it alone, and marks in chosen the
// tracks under the paths (every track when there are none). Returns false with a one-line usage
// error when a path does not exist, is not a track nor a folder, or lies outside the library.
bool GatherLibrary(const std::string& library, const std::vector<std::string>& paths,
                   Gathered& gathered, std::vector<bool>& chosen, std::string& usageError);

// Finds the tracks under the arguments (files or folders; none means the current folder).
// Returns false with a one-line usage error naming the argument when one does not exist or names
// a file that is not a track; nothing is touched either way.
bool GatherTracks(const std::vector<std::string>& arguments, Gathered& gathered,
                  std::string& usageError);

// Reads one track (and its backup, when the track holds no stock name) and tells its state.
Track ScanTrack(const std::string& path);
std::vector<Track> ScanTracks(const std::vector<std::string>& paths, const Progress& progress);

// The clashes among (path, map name) pairs in path order; an empty name is never a clash.
struct Carried {
  std::string path;
  std::string mapName;
};
std::vector<Clash> FindClashes(const std::vector<Carried>& carried);
std::vector<Carried> CarriedBy(const std::vector<Track>& tracks);
std::vector<Clash> ClashesOf(const std::vector<Track>& tracks);

// What fix and restore did, or would do, to one track.
enum class Action {
  kFixed,
  kRefixed,
  kUnchanged,
  kFailed,
  kWouldFix,
  kWouldRefix,
  kRestored,
  kWouldRestore,
  kAdded,
  kWouldAdd
};

struct Outcome {
  std::string path;
  std::string source;  // for an added track: the file it came from
  Action action = Action::kUnchanged;
  std::string mapName;          // the name carried afterwards; empty when unknown or failed
  std::string previousMapName;  // the stock or old name of a (would-be) fixed or refixed track
  std::string reason;           // why an unchanged track was left
  std::string error;            // why a failed track failed
};

struct FixOptions {
  bool dryRun = false;
  bool refix = false;
  // The names that tracks outside the run carry (the rest of a library): never given, and with
  // refix a fixed track of the run that carries one is given a new name.
  std::set<std::string> outsideNames;
};

// Fixes every stock track (and with refix every fixed track whose name clashes with an earlier
// one) with a name free in the whole collection. The tracks come from ScanTracks.
std::vector<Outcome> FixTracks(const std::vector<Track>& tracks, const FixOptions& options,
                               const Progress& progress);

// What the tracks carry after the outcomes (a track failed or not reached keeps its name), and the
// clashes that a scan would then report.
std::vector<Carried> CarriedAfter(const std::vector<Track>& tracks,
                                  const std::vector<Outcome>& outcomes);
std::vector<Clash> ClashesAfter(const std::vector<Track>& tracks,
                                const std::vector<Outcome>& outcomes);

// The clashes that involve any of paths.
std::vector<Clash> ClashesTouching(const std::vector<Clash>& clashes,
                                   const std::set<std::string>& paths);

// Puts the original of every fixed track back in its place.
std::vector<Outcome> RestoreTracks(const std::vector<Track>& tracks, bool dryRun,
                                   const Progress& progress);

// Adds downloaded track files to the top of library, each fixed with a name free in the whole
// library (whose tracks, as scanned, are libraryTracks), as a fix would: the original becomes the
// new track's backup, and the library never holds a partial file. A file already fixed comes in
// with its backup when that is its verified original, and gets a new name when its own clashes.
// A file whose name the library has is left out: unchanged when it is that track or its
// original, failed when it differs. The downloaded files are only read.
std::vector<Outcome> AddTracks(const std::string& library, const std::vector<std::string>& files,
                               const std::vector<Track>& libraryTracks, bool dryRun,
                               const Progress& progress);

// The stock name of a kind ("National_Map", "Supercross_Map").
const std::string& StockName(Kind kind);

// Whether a file name is a track's (ends in ".pak", any letter case) or one of our leftovers.
bool IsTrackName(const std::string& name);
bool IsLeftoverName(const std::string& name);

// Flushes the folders holding the paths, each once.
void FlushFoldersOf(const std::set<std::string>& paths);

// The name of a temporary file beside a track, which never ends in ".pak".
std::string TemporaryNameFor(const std::string& trackName, unsigned long unique);

}  // namespace collection
