// The fix of a collection: names allocated so that no two tracks share one, and each track
// written safely. The track path holds a complete file at every moment: the new content is
// written whole into a temporary file beside it and flushed, the original gets its backup name
// as a second link, and one replacing rename puts the new file at the track's name.
#include <cstring>
#include <set>

#include "collection.h"
#include "names.h"
#include "stream.h"

namespace collection {

namespace {

// A temporary file that is removed unless the fix got as far as renaming it.
struct TemporaryFile {
  std::string path;
  StoreFile file;
  bool renamed = false;

  TemporaryFile() = default;
  ~TemporaryFile() {
    std::string ignored;
    CloseFile(file, ignored);
    if (!path.empty() && !renamed) RemoveFile(path, ignored);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
};

std::string FolderPrefix(const std::string& path) {
  std::string::size_type at = path.size();
  while (at > 0 && path[at - 1] != '/' && path[at - 1] != kSeparator) --at;
  return path.substr(0, at);
}

// Whether two open files of equal size hold the same bytes.
bool SameContent(StoreFile& a, StoreFile& b, std::int64_t size, bool& same, std::string& error) {
  std::vector<char> left(kWindow);
  std::vector<char> right(kWindow);
  same = true;
  for (std::int64_t offset = 0; offset < size && same;) {
    std::size_t gotLeft = 0;
    std::size_t gotRight = 0;
    if (!ReadAt(a, offset, left.data(), kWindow, gotLeft, error) ||
        !ReadAt(b, offset, right.data(), kWindow, gotRight, error)) {
      return false;
    }
    if (gotLeft == 0) break;
    same = gotLeft == gotRight && std::memcmp(left.data(), right.data(), gotLeft) == 0;
    offset += static_cast<std::int64_t>(gotLeft);
  }
  return true;
}

// Copies source into a new temporary file beside the track and writes into it only the bytes
// that the repair changes; flushed and closed on success.
bool WriteRepairedCopy(StoreFile& source, std::int64_t size, const std::string& stock,
                       const std::string& name, TemporaryFile& temporary, std::string& error) {
  const std::string folder = FolderPrefix(temporary.path);
  if (!CreateNew(temporary.path, temporary.file, error)) return false;
  if (!CopyContent(source, temporary.file, size, error)) return false;
  StreamRepair stream;
  BeginRepair(stream, stock, name);
  const RepairSink writeChanges = [&](std::int64_t offset, const char* repaired,
                                      const char* original, std::size_t count) {
    if (std::memcmp(repaired, original, count) == 0) return true;
    for (std::size_t at = 0; at < count;) {
      if (repaired[at] == original[at]) {
        ++at;
        continue;
      }
      std::size_t end = at;
      while (end < count && repaired[end] != original[end]) ++end;
      if (!WriteAt(temporary.file, offset + static_cast<std::int64_t>(at), repaired + at, end - at,
                   error)) {
        return false;
      }
      at = end;
    }
    return true;
  };
  if (!RepairFile(source, size, kWindow, stream, writeChanges, error)) return false;
  return FlushFile(temporary.file, error) && CloseFile(temporary.file, error);
}

// What the checks before a fix found about the track's backup name.
struct BackupCheck {
  bool exists = false;  // a file identical to the track's original is there
};

// The checks every fix makes before writing anything, dry runs included: the track is a plain
// file unchanged since the scan, and its backup name is free or holds the same bytes.
bool CheckBeforeFix(const Track& track, StoreFile& file, BackupCheck& check, std::string& error) {
  const std::string backupPath = track.path + ".bak";
  // A symbolic link is refused, whatever it leads to (its own backup name among others): the
  // rename would put a plain file in its place.
  if (ProbeEntry(track.path).type == EntryType::kLink) {
    error = "is a link; fix the file it leads to";
    return false;
  }
  FileIdentity identity;
  if (!OpenForReading(track.path, file, identity, error)) return false;
  if (!Unchanged(identity, track.identity)) {
    error = "changed since it was scanned";
    return false;
  }
  const EntryInfo backup = ProbeEntry(backupPath);
  if (backup.type == EntryType::kMissing) return true;
  if (backup.type != EntryType::kRegular) {
    error = backupPath + " exists and is not a regular file; not replaced";
    return false;
  }
  // A second link to the track itself (a run killed between linking and renaming leaves one)
  // holds the original by definition.
  FileIdentity backupIdentity;
  if (IdentityAt(backupPath, backupIdentity) && SameFile(backupIdentity, identity)) {
    check.exists = true;
    return true;
  }
  StoreFile existing;
  bool same = false;
  if (!OpenForReading(backupPath, existing, backupIdentity, error) ||
      backupIdentity.size != identity.size ||
      !SameContent(file, existing, identity.size, same, error) || !same) {
    error = backupPath + " exists and differs from the track; not replaced";
    return false;
  }
  check.exists = true;
  return true;
}

// Fixes a stock track: the original stays as TRACK.bak, the track gets name.
bool FixStockTrack(const Track& track, const std::string& name, bool dryRun, std::string& error) {
  StoreFile file;
  BackupCheck check;
  if (!CheckBeforeFix(track, file, check, error)) return false;
  if (dryRun) return true;
  const std::string backupPath = track.path + ".bak";
  TemporaryFile temporary;
  temporary.path =
      FolderPrefix(track.path) +
      TemporaryNameFor(track.path.substr(FolderPrefix(track.path).size()), UniqueNumber());
  if (!WriteRepairedCopy(file, track.identity.size, track.mapName, name, temporary, error)) {
    return false;
  }
  FileIdentity now;
  if (!IdentityAt(track.path, now) || !Unchanged(now, track.identity)) {
    error = "the track was replaced while being fixed; nothing changed";
    return false;
  }
  // The backup there holds the same bytes as the track: removing it loses nothing.
  if (check.exists && !RemoveFile(backupPath, error)) return false;
  bool noLinks = false;
  if (HardLink(track.path, backupPath, noLinks, error)) {
    FileIdentity linked;
    if (!IdentityAt(backupPath, linked) || !SameFile(linked, track.identity)) {
      std::string ignored;
      RemoveFile(backupPath, ignored);
      error = "the track was replaced while being fixed; nothing changed";
      return false;
    }
    CloseFile(file, error);
    if (!RenameReplacing(temporary.path, track.path, error)) {
      std::string ignored;
      RemoveFile(backupPath, ignored);
      return false;
    }
    temporary.renamed = true;
    return true;
  }
  if (!noLinks) return false;
  // No hard links here: the dialog's order, which keeps the original whole at the track's
  // name or at the backup's.
  CloseFile(file, error);
  if (!RenameNoReplace(track.path, backupPath, error)) return false;
  if (!RenameNoReplace(temporary.path, track.path, error)) {
    std::string ignored;
    RenameNoReplace(backupPath, track.path, ignored);
    return false;
  }
  temporary.renamed = true;
  return true;
}

// Gives a fixed track a new name, made again from its verified backup, which stays as it is.
bool RefixTrack(const Track& track, const std::string& name, bool dryRun, std::string& error) {
  const std::string backupPath = track.path + ".bak";
  if (ProbeEntry(track.path).type == EntryType::kLink) {
    error = "is a link; fix the file it leads to";
    return false;
  }
  StoreFile file;
  StoreFile backup;
  FileIdentity identity;
  FileIdentity backupIdentity;
  if (!OpenForReading(track.path, file, identity, error) ||
      !OpenForReading(backupPath, backup, backupIdentity, error)) {
    return false;
  }
  if (!Unchanged(identity, track.identity) || !Unchanged(backupIdentity, track.backupIdentity)) {
    error = "changed since it was scanned";
    return false;
  }
  if (dryRun) return true;
  TemporaryFile temporary;
  temporary.path =
      FolderPrefix(track.path) +
      TemporaryNameFor(track.path.substr(FolderPrefix(track.path).size()), UniqueNumber());
  if (!WriteRepairedCopy(backup, backupIdentity.size, StockName(track.kind), name, temporary,
                         error)) {
    return false;
  }
  FileIdentity now;
  if (!IdentityAt(track.path, now) || !Unchanged(now, track.identity)) {
    error = "the track was replaced while being fixed; nothing changed";
    return false;
  }
  CloseFile(file, error);
  if (!RenameReplacing(temporary.path, track.path, error)) return false;
  temporary.renamed = true;
  return true;
}

}  // namespace

std::vector<Outcome> FixTracks(const std::vector<Track>& tracks, const FixOptions& options,
                               const Progress& progress) {
  // Every name the collection carries, and the stock names, are taken from the start.
  std::set<std::string> taken = {StockName(Kind::kNational), StockName(Kind::kSupercross)};
  for (const Track& track : tracks) {
    if (track.state == State::kFixed) taken.insert(track.mapName);
  }
  std::set<std::string> kept;  // fixed names that an earlier track in path order carries
  std::vector<Outcome> outcomes;
  for (const Track& track : tracks) {
    Outcome outcome;
    outcome.path = track.path;
    switch (track.state) {
      case State::kError:
        outcome.action = Action::kFailed;
        outcome.error = track.error;
        break;
      case State::kUnverified:
        outcome.reason = "no stock map name and no backup that is its original";
        break;
      case State::kStock:
        if (track.holdsBoth) {
          outcome.action = Action::kFailed;
          outcome.error = "holds both National_Map and Supercross_Map";
          break;
        }
        outcome.mapName =
            AllocateMapName(MapStem(track.path, track.kind), options.clockDigit, taken);
        taken.insert(outcome.mapName);
        outcome.previousMapName = track.mapName;
        outcome.action = options.dryRun ? Action::kWouldFix : Action::kFixed;
        if (!FixStockTrack(track, outcome.mapName, options.dryRun, outcome.error)) {
          outcome.action = Action::kFailed;
          outcome.mapName.clear();
          outcome.previousMapName.clear();
        }
        break;
      case State::kFixed:
        outcome.mapName = track.mapName;
        if (!options.refix || kept.insert(track.mapName).second) {
          outcome.reason = "already fixed";
          break;
        }
        outcome.mapName =
            AllocateMapName(MapStem(track.path, track.kind), options.clockDigit, taken);
        taken.insert(outcome.mapName);
        outcome.previousMapName = track.mapName;
        outcome.action = options.dryRun ? Action::kWouldRefix : Action::kRefixed;
        if (!RefixTrack(track, outcome.mapName, options.dryRun, outcome.error)) {
          outcome.action = Action::kFailed;
          outcome.mapName.clear();
          outcome.previousMapName.clear();
        }
        break;
    }
    outcomes.push_back(outcome);
    if (progress) progress(outcomes.size(), tracks.size());
  }
  return outcomes;
}

}  // namespace collection
