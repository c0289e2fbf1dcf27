// A track's state: stock, fixed (its backup verified as its original), unverified or error.
#include <algorithm>
#include <vector>

#include "collection.h"
#include "stream.h"

namespace collection {

namespace {

// Whether the backup is the track's original: the same length, and the repair of its bytes
// with the name the track carries (where the backup has its first stock name) gives the track
// byte for byte. Fills the track's kind, map name and backup identity when it is.
bool VerifyBackup(StoreFile& trackFile, Track& track) {
  const std::string backupPath = track.path + ".bak";
  StoreFile backup;
  FileIdentity identity;
  std::string error;
  if (!OpenForReading(backupPath, backup, identity, error)) return false;
  if (SameFile(identity, track.identity) || identity.size != track.identity.size) return false;
  StockOffsets offsets;
  if (!FindStockOffsets(backup, identity.size, kWindow, true, offsets, error)) return false;
  const Kind kind = offsets.national >= 0     ? Kind::kNational
                    : offsets.supercross >= 0 ? Kind::kSupercross
                                              : Kind::kNone;
  if (kind == Kind::kNone) return false;
  const std::string& stock = StockName(kind);
  std::string name(stock.size(), '\0');
  std::size_t got = 0;
  const std::int64_t first = kind == Kind::kNational ? offsets.national : offsets.supercross;
  if (!ReadAt(trackFile, first, &name[0], name.size(), got, error) || got != name.size()) {
    return false;
  }

  std::vector<char> trackBytes;
  StreamRepair stream;
  BeginRepair(stream, stock, name);
  const RepairSink compare = [&](std::int64_t offset, const char* repaired, const char*,
                                 std::size_t size) {
    trackBytes.resize(size);
    std::size_t read = 0;
    return ReadAt(trackFile, offset, trackBytes.data(), size, read, error) && read == size &&
           std::equal(trackBytes.begin(), trackBytes.end(), repaired);
  };
  if (!RepairFile(backup, identity.size, kWindow, stream, compare, error)) return false;
  track.kind = kind;
  track.mapName = name;
  track.backupIdentity = identity;
  return true;
}

}  // namespace

const std::string& StockName(Kind kind) {
  static const std::string kNational = "National_Map";
  static const std::string kSupercross = "Supercross_Map";
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
  StoreFile file;
  StockOffsets offsets;
  if (!OpenForReading(path, file, track.identity, track.error) ||
      !FindStockOffsets(file, track.identity.size, kWindow, false, offsets, track.error)) {
    return track;
  }
  if (offsets.national >= 0 || offsets.supercross >= 0) {
    track.state = State::kStock;
    track.kind = offsets.national >= 0 ? Kind::kNational : Kind::kSupercross;
    track.mapName = StockName(track.kind);
    track.holdsBoth = offsets.national >= 0 && offsets.supercross >= 0;
    return track;
  }
  track.state = VerifyBackup(file, track) ? State::kFixed : State::kUnverified;
  return track;
}

std::vector<Track> ScanTracks(const std::vector<std::string>& paths, const Progress& progress) {
  std::vector<Track> tracks;
  for (const std::string& path : paths) {
    tracks.push_back(ScanTrack(path));
    if (progress) progress(tracks.size(), paths.size());
  }
  return tracks;
}

}  // namespace collection
