// A track's state: stock, fixed (its backup verified as its original), unverified or error.
#include <cstring>
#include <vector>

#include "collection.h"
#include "game_texts.h"
#include "stream.h"

namespace collection {

namespace {

// Reads the track once: for its stock names and, where its backup may be its original, to
// compare it with the backup's repair, with the name the track carries where the backup has its
// first stock name. A backup is the original when it has the track's length and its repair
// gives the track byte for byte. Fills the track's state, kind, map name and backup identity.
bool ReadTrack(FileHandle& file, Track& track) {
  const std::int64_t size = track.identity.size;
  StockSeeker seeker;
  FileHandle backup;
  FileFacts backupIdentity;
  std::string ignored;
  // The backup's kind and its first stock name.
  StockSeeker original;
  std::string name;
  Kind kind = Kind::kNone;
  if (OpenForReading(track.path + ".bak", backup, backupIdentity, ignored) &&
      !SameFile(backupIdentity, track.identity) && backupIdentity.size == size &&
      SeekStockInFile(backup, 0, size, true, original, ignored)) {
    kind = original.found.national >= 0     ? Kind::kNational
           : original.found.supercross >= 0 ? Kind::kSupercross
                                            : Kind::kNone;
  }
  bool verified = false;
  std::int64_t read = 0;  // how much of the track the comparison has read
  if (kind != Kind::kNone) {
    const std::int64_t first =
        kind == Kind::kNational ? original.found.national : original.found.supercross;
    name.resize(StockName(kind).size());
    std::size_t got = 0;
    if (!ReadAt(file, first, &name[0], name.size(), got, track.error)) return false;
    std::vector<char> trackBytes;
    StreamRepair stream;
    BeginRepair(stream, StockName(kind), name, false);
    const RepairSink compare = [&](std::int64_t offset, const char* repaired, const char*,
                                   std::size_t count) {
      trackBytes.resize(count);
      std::size_t readNow = 0;
      if (!ReadAt(file, offset, trackBytes.data(), count, readNow, track.error)) return false;
      SeekStock(seeker, trackBytes.data(), readNow);
      read = offset + static_cast<std::int64_t>(readNow);
      return readNow == count && std::memcmp(trackBytes.data(), repaired, count) == 0;
    };
    if (got == name.size()) {
      verified = RepairFile(backup, size, kWindow, stream, compare, ignored) && read == size;
    }
    if (!track.error.empty()) return false;
  }
  // The rest of the track, where the comparison stopped early or was not made.
  if (!SeekStockInFile(file, read, size, false, seeker, track.error)) return false;
  const StockOffsets& found = seeker.found;
  if (found.national >= 0 || found.supercross >= 0) {
    track.state = State::kStock;
    track.kind = found.national >= 0 ? Kind::kNational : Kind::kSupercross;
    track.mapName = StockName(track.kind);
    track.holdsBoth = found.national >= 0 && found.supercross >= 0;
  } else if (verified) {
    track.state = State::kFixed;
    track.kind = kind;
    track.mapName = name;
    track.backupIdentity = backupIdentity;
  } else {
    track.state = State::kUnverified;
  }
  return true;
}

}  // namespace

const std::string& StockName(Kind kind) {
  static const std::string kNational = kNationalMap;
  static const std::string kSupercross = kSupercrossMap;
  static const std::string kNone;
  return kind == Kind::kNational ? kNational : kind == Kind::kSupercross ? kSupercross : kNone;
}

Track ScanTrack(const std::string& path) {
  Track track;
  track.path = path;
  const EntryInfo entry = ProbeEntry(path);
  if (entry.type == EntryType::kLink && entry.target == EntryType::kMissing) {
    track.error = "a link that leads nowhere";
    return track;
  }
  FileHandle file;
  if (!OpenForReading(path, file, track.identity, track.error) || !ReadTrack(file, track)) {
    track.state = State::kError;
    track.kind = Kind::kNone;
    track.mapName.clear();
  }
  return track;
}

std::vector<Track> ScanTracks(const std::vector<std::string>& paths, const Progress& progress) {
  std::int64_t total = 0;
  std::vector<std::int64_t> sizes;
  for (const std::string& path : paths) {
    FileFacts identity;
    sizes.push_back(IdentityAt(path, identity) ? identity.size : 0);
    total += sizes.back();
  }
  ProgressMeter meter = StartPhase(progress, Phase::kScanning, total, paths.size());
  std::vector<Track> tracks;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    tracks.push_back(ScanTrack(paths[i]));
    if (!TellTrackDone(meter, sizes[i])) break;
  }
  return tracks;
}

}  // namespace collection
