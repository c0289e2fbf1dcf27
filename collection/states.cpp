// A track's state: stock, fixed (its backup verified as its original), unverified or error.
#include <algorithm>
#include <cstring>
#include <vector>

#include "collection.h"
#include "game_texts.h"
#include "places.h"
#include "stream.h"

namespace collection {

namespace {

// Whether a backup is there but could not be read (error is why): then the track is an error, so
// that a fix or a restore reports it failed rather than leaving it as if it had no backup. One that
// is not there, or not a file, leaves the track unverified.
bool BackupUnreadable(Track& track, const std::string& error) {
  if (error.empty() || error == "no such file" || error == "is a folder" ||
      error == "is not a regular file") {
    return false;
  }
  track.error = track.path + ".bak cannot be read (" + error + ")";
  return true;
}

// The streaming form of ReadTrack, for a track whose names lie too close to compare in windows:
// the backup is read for its first stock name and again through the streaming repair, and the
// track compared with what it gives. Fills the track's state, kind, map name and backup identity.
bool ReadTrackStreaming(FileHandle& file, Track& track) {
  const std::int64_t size = track.identity.size;
  StockSeeker seeker;
  FileHandle backup;
  FileFacts backupIdentity;
  std::string backupError;  // why the backup could not be read
  // The backup's kind and its first stock name.
  StockSeeker original;
  std::string name;
  Kind kind = Kind::kNone;
  if (OpenForReading(track.path + ".bak", backup, backupIdentity, backupError) &&
      !SameFile(backupIdentity, track.identity) && backupIdentity.size == size &&
      SeekStockInFile(backup, 0, size, true, original, backupError)) {
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
    if (got != name.size()) {
      track.error = "the file ended early";
      return false;
    }
    std::vector<char> trackBytes;
    StreamRepair stream;
    BeginRepair(stream, StockName(kind), name, false);
    const RepairSink compare = [&](std::int64_t offset, const char* repaired, const char*,
                                   std::size_t count) {
      trackBytes.resize(count);
      std::size_t readNow = 0;
      if (!ReadAt(file, offset, trackBytes.data(), count, readNow, track.error)) return false;
      if (readNow != count) {
        track.error = "the file ended early";
        return false;
      }
      SeekStock(seeker, trackBytes.data(), readNow);
      read = offset + static_cast<std::int64_t>(readNow);
      return std::memcmp(trackBytes.data(), repaired, count) == 0;
    };
    verified = RepairFile(backup, size, kWindow, stream, compare, backupError) && read == size;
    if (!track.error.empty()) return false;
  }
  if (BackupUnreadable(track, backupError)) return false;
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

// The bytes a window's view holds beyond the window on each side: a place that starts in the
// window, with its context, starts at most 13 bytes before it and ends at most 27 after it.
constexpr std::int64_t kMargin = 32;

// How much of a track (and of its backup) is read at a time: small enough that a track's window
// and its backup's stay in the processor's cache from the reading to the search (reading two
// files and comparing them took 9-14% less time in windows of 128 KiB than of 1 MiB here).
constexpr std::int64_t kScanWindow = std::int64_t{256} << 10;

// What the reading of tracks reuses from one window, and one track, to the next.
struct Scratch {
  FileView track;
  FileView backup;
  std::vector<NamePlace> names;
  std::vector<std::int64_t> sites;
  Differences differences;
  Patcher patcher;
  std::int64_t told = 0;  // how far into the track in hand progress was told
};

// Views window [begin, end) of a file of size bytes with kMargin bytes around it, where it has
// them.
bool ViewWindow(FileHandle& file, std::int64_t size, std::int64_t begin, std::int64_t end,
                FileView& view, std::string& error) {
  return ViewFile(file, std::max<std::int64_t>(0, begin - kMargin), std::min(size, end + kMargin),
                  view, error);
}

// Tells progress once per MiB read, and at the end of the track.
void TellRead(Scratch& scratch, ProgressMeter& meter, std::int64_t done, std::int64_t size) {
  const std::int64_t step = static_cast<std::int64_t>(kWindow);
  if (done <= scratch.told || (done / step == scratch.told / step && done != size)) return;
  scratch.told = done;
  TellWithinTrack(meter, done);
}

// Reads the track for its stock names (the first of each kind in found) and records every name
// and marker site in track.places, up to kMaxPlaces.
bool ReadPlaces(FileHandle& file, Track& track, Scratch& scratch, ProgressMeter& meter,
                StockOffsets& found) {
  const std::int64_t size = track.identity.size;
  Places& places = track.places;
  places = Places();
  places.complete = true;
  for (std::int64_t begin = 0, end = 0; begin < size; begin = end) {
    end = std::min(size, begin + kScanWindow);
    if (!ViewWindow(file, size, begin, end, scratch.track, track.error)) return false;
    scratch.names.clear();
    scratch.sites.clear();
    FindPlaces(scratch.track.data, scratch.track.begin, scratch.track.size, begin, end,
               scratch.names, scratch.sites);
    for (NamePlace& name : scratch.names) {
      const bool national = name.bytes[name.offset - name.begin] == 'N';
      std::int64_t& first = national ? found.national : found.supercross;
      if (first < 0) first = name.offset;
      if (places.complete) places.names.push_back(std::move(name));
    }
    if (places.complete) {
      places.sites.insert(places.sites.end(), scratch.sites.begin(), scratch.sites.end());
    }
    if (places.names.size() + places.sites.size() > kMaxPlaces) places = Places();
    TellRead(scratch, meter, end, size);
  }
  return true;
}

// Whether a backup is the track's original, as ReadTrack decides it, or whether the track must be
// read as a stock track, or its names lie too close for windows.
enum class Verdict { kOriginal, kNotOriginal, kTooDense };

// Compares track bytes [from, to) with the backup's, but where patches (in order of offset, the
// first at from or later) change them; moves from to the end of what it compared. Within the
// stretch of differences the search found, its runs tell.
bool SameButPatches(const FileView& track, const FileView& backup, const Differences& differences,
                    const std::vector<Patch>& patches, std::size_t count, std::int64_t& from,
                    std::int64_t to) {
  const auto compare = [&](std::int64_t begin, std::int64_t end) {
    const std::size_t at = static_cast<std::size_t>(begin - track.begin);
    return begin >= end || std::memcmp(track.data + at, backup.data + at,
                                       static_cast<std::size_t>(end - begin)) == 0;
  };
  const auto same = [&](std::int64_t begin, std::int64_t end) {
    const std::int64_t known = std::min(std::max(differences.begin, begin), end);
    const std::int64_t knownEnd = std::max(std::min(differences.end, end), known);
    return compare(begin, known) && compare(knownEnd, end) &&
           !DifferIn(differences, known, knownEnd);
  };
  for (std::size_t i = 0; i < count; ++i) {
    const Patch& patch = patches[i];
    const std::int64_t end = patch.offset + static_cast<std::int64_t>(patch.bytes.size());
    if (end <= from) continue;
    if (patch.offset > from && !same(from, patch.offset)) return false;
    const std::int64_t start = std::max(from, patch.offset);
    if (std::memcmp(track.data + (start - track.begin), patch.bytes.data() + (start - patch.offset),
                    static_cast<std::size_t>(end - start)) != 0) {
      return false;
    }
    from = end;
  }
  if (to > from && !same(from, to)) return false;
  from = std::max(from, to);
  return true;
}

// Reads the track and its backup (of the same size) once, window by window, and tells whether the
// backup's repair, with the name the track carries where the backup has its first stock name,
// gives the track byte for byte and holds no stock name. Fills kind and name for an original;
// error only when the track or the backup could not be read.
Verdict CompareWithBackup(FileHandle& file, FileHandle& backup, std::int64_t size, Scratch& scratch,
                          ProgressMeter& meter, Kind& kind, std::string& name, std::string& error) {
  Patcher& patcher = scratch.patcher;
  BeginPatches(patcher, "", "");
  kind = Kind::kNone;
  std::int64_t compared = 0;  // every byte before this is as the repair gives it
  for (std::int64_t begin = 0, end = 0; begin < size; begin = end) {
    end = std::min(size, begin + kScanWindow);
    if (!ViewWindow(file, size, begin, end, scratch.track, error)) return Verdict::kNotOriginal;
    if (!ViewWindow(backup, size, begin, end, scratch.backup, error)) {
      error = "the backup cannot be read (" + error + ")";
      return Verdict::kNotOriginal;
    }
    // A cluster of names as long as the margin: bytes before this window are not in view.
    if (compared < scratch.track.begin) return Verdict::kTooDense;
    scratch.names.clear();
    scratch.sites.clear();
    FindPlacesComparing(scratch.backup.data, scratch.track.data, scratch.backup.begin,
                        scratch.backup.size, begin, end, scratch.names, scratch.sites,
                        scratch.differences);
    for (const NamePlace& place : scratch.names) {
      const Kind found =
          place.bytes[place.offset - place.begin] == 'N' ? Kind::kNational : Kind::kSupercross;
      if (kind == Kind::kNone) {
        kind = found;
        name.assign(scratch.track.data + (place.offset - scratch.track.begin),
                    StockName(kind).size());
        patcher.from = StockName(kind);
        patcher.to = name;
      }
      // A backup with both names: its repair keeps the other one.
      if (found != kind) return Verdict::kNotOriginal;
      AddName(patcher, place);
    }
    for (const std::int64_t site : scratch.sites) AddSite(patcher, site);
    const bool last = end == size;
    PatchBefore(patcher, last ? size + static_cast<std::int64_t>(kWindow) : end);
    if (patcher.stockInResult >= 0) return Verdict::kNotOriginal;
    // Names in later windows change bytes from end - 9 on, or join the cluster still open.
    const std::int64_t limit = last ? size : std::min(end - kMargin, PatchedBefore(patcher, size));
    SortPatches(patcher);
    std::size_t count = 0;
    while (count < patcher.patches.size() && patcher.patches[count].offset < limit) ++count;
    if (!SameButPatches(scratch.track, scratch.backup, scratch.differences, patcher.patches, count,
                        compared, limit)) {
      return Verdict::kNotOriginal;
    }
    patcher.patches.erase(patcher.patches.begin(), patcher.patches.begin() + count);
    TellRead(scratch, meter, end, size);
  }
  return kind == Kind::kNone ? Verdict::kNotOriginal : Verdict::kOriginal;
}

// Reads the track once: where its backup may be its original, together with the backup, to
// compare the track with the backup's repair (a backup is the original when it has the track's
// length and its repair gives the track byte for byte); otherwise for its stock names, recording
// where its names and marker sites lie. Fills the track's state, kind, map name, places and
// backup identity.
bool ReadTrack(FileHandle& file, Track& track, Scratch& scratch, ProgressMeter& meter) {
  const std::int64_t size = track.identity.size;
  FileHandle backup;
  FileFacts backupIdentity;
  std::string ignored;
  std::string backupError;
  if (OpenForReading(track.path + ".bak", backup, backupIdentity, backupError) &&
      !SameFile(backupIdentity, track.identity) && backupIdentity.size == size) {
    Kind kind = Kind::kNone;
    std::string name;
    switch (CompareWithBackup(file, backup, size, scratch, meter, kind, name, track.error)) {
      case Verdict::kOriginal:
        track.state = State::kFixed;
        track.kind = kind;
        track.mapName = name;
        track.backupIdentity = backupIdentity;
        return true;
      case Verdict::kTooDense:
        CloseFile(backup, ignored);
        return ReadTrackStreaming(file, track);
      case Verdict::kNotOriginal:
        if (!track.error.empty()) return false;
        break;
    }
  }
  if (BackupUnreadable(track, backupError)) return false;
  StockOffsets found;
  if (!ReadPlaces(file, track, scratch, meter, found)) return false;
  if (found.national >= 0 || found.supercross >= 0) {
    track.state = State::kStock;
    track.kind = found.national >= 0 ? Kind::kNational : Kind::kSupercross;
    track.mapName = StockName(track.kind);
    track.holdsBoth = found.national >= 0 && found.supercross >= 0;
  } else {
    track.state = State::kUnverified;
  }
  if (track.state != State::kStock || track.holdsBoth) track.places = Places();
  return true;
}

// Most places the tracks of one scan keep in all: beyond it a track's record is dropped.
constexpr std::size_t kMaxKeptPlaces = std::size_t{1} << 16;

Track ScanTrackWith(const std::string& path, Scratch& scratch, ProgressMeter& meter) {
  Track track;
  track.path = path;
  scratch.told = 0;
  const EntryInfo entry = ProbeEntry(path);
  if (entry.type == EntryType::kLink && entry.target == EntryType::kMissing) {
    track.error = "a link that leads nowhere";
    return track;
  }
  FileHandle file;
  if (!OpenForReading(path, file, track.identity, track.error) ||
      !ReadTrack(file, track, scratch, meter)) {
    track.state = State::kError;
    track.kind = Kind::kNone;
    track.mapName.clear();
    track.places = Places();
  }
  return track;
}

}  // namespace

const std::string& StockName(Kind kind) {
  static const std::string kNational = kNationalMap;
  static const std::string kSupercross = kSupercrossMap;
  static const std::string kNone;
  return kind == Kind::kNational ? kNational : kind == Kind::kSupercross ? kSupercross : kNone;
}

Track ScanTrack(const std::string& path) {
  Scratch scratch;
  ProgressMeter meter;
  return ScanTrackWith(path, scratch, meter);
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
  Scratch scratch;
  std::size_t kept = 0;  // places recorded so far
  for (std::size_t i = 0; i < paths.size(); ++i) {
    tracks.push_back(ScanTrackWith(paths[i], scratch, meter));
    Places& places = tracks.back().places;
    kept += places.names.size() + places.sites.size();
    if (kept > kMaxKeptPlaces) places = Places();
    if (!TellTrackDone(meter, sizes[i])) break;
  }
  return tracks;
}

}  // namespace collection
