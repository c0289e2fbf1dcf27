// The fix of a collection: names allocated so that no two tracks share one, and each track
// written safely. The track path holds a complete file at every moment: the new content is
// written whole into a temporary file beside it and flushed, the original gets its backup name
// as a second link, and one replacing rename puts the new file at the track's name.
#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "collection.h"
#include "game_texts.h"
#include "names.h"
#include "places.h"
#include "stream.h"
#include "temporary.h"

namespace collection {

namespace {

const char kTrackIsLink[] = "is a link; fix the file it leads to";
const char kBackupIsLink[] = " is a link; not replaced";
const std::string kHoldsBoth = std::string("holds both ") + kNationalMap + " and " + kSupercrossMap;

// The first position from at on where a and b differ, or count: equal blocks are passed over
// whole, since the changes are a few bytes in a window of a MiB.
std::size_t NextDifference(const char* a, const char* b, std::size_t at, std::size_t count) {
  constexpr std::size_t kBlock = 64;
  while (at + kBlock <= count && std::memcmp(a + at, b + at, kBlock) == 0) at += kBlock;
  while (at < count && a[at] == b[at]) ++at;
  return at;
}

// The most one copy call is asked to move: progress is told after each, so that a large track
// shows it.
constexpr std::int64_t kCopyStretch = std::int64_t{64} << 20;

// Copies bytes [begin, end) of from to the same offsets of to, in stretches, telling how far
// into the track the copy is.
bool CopyStretches(FileHandle& from, FileHandle& to, std::int64_t begin, std::int64_t end,
                   ProgressMeter& meter, std::string& error) {
  while (begin < end) {
    const std::int64_t stop = std::min(end, begin + kCopyStretch);
    if (!CopyContent(from, to, begin, stop, error)) return false;
    // Told once per window at most: a track's changes may lie a few KiB apart.
    if (stop / static_cast<std::int64_t>(kWindow) != begin / static_cast<std::int64_t>(kWindow)) {
      TellWithinTrack(meter, stop);
    }
    begin = stop;
  }
  return true;
}

// Writes the repaired content of source into a new temporary file beside the track, in order:
// the stretches the repair leaves alone are copied (by the kernel where it can), the changed
// bytes are written. Each page of the copy is written once, so no write waits for the
// write-back of a page copied earlier. The caller flushes it.
bool WriteRepairedCopy(FileHandle& source, std::int64_t size, const std::string& stock,
                       const std::string& name, unsigned permissions, TemporaryFile& temporary,
                       ProgressMeter& meter, std::string& error) {
  if (!CreateNew(temporary.path, permissions, temporary.file, error)) return false;
  if (!SetSize(temporary.file, size, error)) return false;
  std::int64_t copied = 0;  // every byte before this is in the copy
  StreamRepair stream;
  BeginRepair(stream, stock, name);
  const RepairSink writeChanges = [&](std::int64_t offset, const char* repaired,
                                      const char* original, std::size_t count) {
    TellWithinTrack(meter, offset + static_cast<std::int64_t>(count));
    if (std::memcmp(repaired, original, count) == 0) return true;
    for (std::size_t at = NextDifference(repaired, original, 0, count); at < count;
         at = NextDifference(repaired, original, at, count)) {
      std::size_t end = at;
      while (end < count && repaired[end] != original[end]) ++end;
      const std::int64_t from = offset + static_cast<std::int64_t>(at);
      if (!CopyContent(source, temporary.file, copied, from, error) ||
          !WriteAt(temporary.file, from, repaired + at, end - at, error)) {
        return false;
      }
      copied = offset + static_cast<std::int64_t>(end);
      at = end;
    }
    return true;
  };
  if (!RepairFile(source, size, kWindow, stream, writeChanges, error)) return false;
  return CopyContent(source, temporary.file, copied, size, error);
}

// The same copy from the places the scan recorded: the track is not read again, only copied by
// the kernel between the changes.
bool WritePatchedCopy(FileHandle& source, const Track& track, const std::string& name,
                      TemporaryFile& temporary, ProgressMeter& meter, std::string& error) {
  const std::int64_t size = track.identity.size;
  Patcher patcher;
  BeginPatches(patcher, track.mapName, name);
  for (const NamePlace& place : track.places.names) AddName(patcher, place);
  for (const std::int64_t site : track.places.sites) AddSite(patcher, site);
  PatchBefore(patcher, size + static_cast<std::int64_t>(kContext) + 1);
  SortPatches(patcher);
  if (!CreateNew(temporary.path, track.identity.permissions, temporary.file, error)) return false;
  if (!SetSize(temporary.file, size, error)) return false;
  std::int64_t copied = 0;  // every byte before this is in the copy
  std::int64_t hinted = 0;  // the write-back of every byte before this has been started
  for (const Patch& patch : patcher.patches) {
    const std::int64_t end = patch.offset + static_cast<std::int64_t>(patch.bytes.size());
    if (end <= copied) continue;  // patches of a site near a name may overlap, with equal bytes
    const std::int64_t start = std::max(copied, patch.offset);
    if (!CopyStretches(source, temporary.file, copied, start, meter, error) ||
        !WriteAt(temporary.file, start, patch.bytes.data() + (start - patch.offset),
                 static_cast<std::size_t>(end - start), error)) {
      return false;
    }
    copied = end;
    // A large track's pages go to the disk while the rest of it is copied.
    if (copied - hinted >= kCopyStretch) {
      StartFlush(temporary.file);
      hinted = copied;
    }
  }
  return CopyStretches(source, temporary.file, copied, size, meter, error);
}

// What the checks before a fix found about the track's backup name.
struct BackupCheck {
  bool exists = false;      // a file identical to the track's original is there
  bool secondLink = false;  // and it is the track's own file under a second name
};

// The checks every fix makes before writing anything, dry runs included: the track is a plain
// file unchanged since the scan, and its backup name is free or holds the same bytes.
bool CheckBeforeFix(const Track& track, FileHandle& file, BackupCheck& check, std::string& error) {
  const std::string backupPath = track.path + ".bak";
  // A link is refused, whatever it leads to (its own backup name among others): the rename would
  // put a plain file in its place.
  FileFacts identity;
  if (!OpenNotLinked(track.path, kTrackIsLink, file, identity, error)) return false;
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
  // A second hard link to the track itself (a run killed between linking and renaming leaves
  // one) holds the original by definition; a symbolic one would lose it at the rename.
  FileFacts backupIdentity;
  FileHandle existing;
  if (!OpenNotLinked(backupPath, backupPath + kBackupIsLink, existing, backupIdentity, error)) {
    if (error != backupPath + kBackupIsLink) {
      error = backupPath + " exists and cannot be read (" + error + "); not replaced";
    }
    return false;
  }
  if (SameFile(backupIdentity, identity)) {
    check.exists = true;
    check.secondLink = true;
    return true;
  }
  bool same = false;
  if (backupIdentity.size != identity.size ||
      !SameContent(file, existing, identity.size, same, error) || !same) {
    error = backupPath + " exists and differs from the track; not replaced";
    return false;
  }
  check.exists = true;
  return true;
}

// A track whose repaired copy is written but not yet on stable storage nor in its place.
struct Pending {
  const Track* track = nullptr;
  std::size_t outcome = 0;  // its index among the outcomes
  bool refix = false;
  BackupCheck check;
  FileHandle file;    // the track, held open (shared with readers only) until its turn
  FileHandle backup;  // the original a refix copies from
  TemporaryFile temporary;
};

// The checks, and unless dryRun the repaired copy: of a stock track, or for a refix of its
// verified backup (which stays the original).
bool PrepareFix(Pending& pending, const std::string& name, bool dryRun, ProgressMeter& meter,
                std::string& error) {
  const Track& track = *pending.track;
  if (!pending.refix) {
    if (!CheckBeforeFix(track, pending.file, pending.check, error)) return false;
    if (dryRun) return true;
    pending.temporary.path = TemporaryPathFor(track.path);
    if (track.places.complete) {
      return WritePatchedCopy(pending.file, track, name, pending.temporary, meter, error);
    }
    return WriteRepairedCopy(pending.file, track.identity.size, track.mapName, name,
                             track.identity.permissions, pending.temporary, meter, error);
  }
  FileFacts identity;
  FileFacts backupIdentity;
  const std::string backupPath = track.path + ".bak";
  if (!OpenNotLinked(track.path, kTrackIsLink, pending.file, identity, error) ||
      !OpenNotLinked(backupPath, backupPath + kBackupIsLink, pending.backup, backupIdentity,
                     error)) {
    return false;
  }
  if (!Unchanged(identity, track.identity) || !Unchanged(backupIdentity, track.backupIdentity)) {
    error = "changed since it was scanned";
    return false;
  }
  if (dryRun) return true;
  pending.temporary.path = TemporaryPathFor(track.path);
  return WriteRepairedCopy(pending.backup, backupIdentity.size, StockName(track.kind), name,
                           identity.permissions, pending.temporary, meter, error);
}

// Puts a flushed copy in its track's place; a stock track's original keeps the backup's name.
bool CommitFix(Pending& pending, std::string& error) {
  const Track& track = *pending.track;
  const BackupCheck& check = pending.check;
  TemporaryFile& temporary = pending.temporary;
  // Closed before any name changes: Windows keeps the name of a file deleted while it is open.
  CloseFile(pending.file, error);
  CloseFile(pending.backup, error);
  FileFacts now;
  if (!IdentityAt(track.path, now) || !Unchanged(now, track.identity)) {
    error = "the track was replaced while being fixed; nothing changed";
    return false;
  }
  // A refix keeps its backup; a backup name that leads to the original already needs nothing
  // (renaming a link onto another link of the same file would do nothing at all).
  if (pending.refix || check.secondLink) {
    if (!RenameReplacing(temporary.path, track.path, error)) return false;
    temporary.renamed = true;
    return true;
  }
  const std::string backupPath = track.path + ".bak";
  // The original gets its second name under a temporary name first, so that a backup already
  // there (identical bytes) stays until the new link can take its place in one rename.
  TemporaryFile backupLink;
  backupLink.path = TemporaryPathFor(backupPath);
  bool noLinks = false;
  if (HardLink(track.path, backupLink.path, noLinks, error)) {
    FileFacts linked;
    if (!IdentityAt(backupLink.path, linked) || !SameFile(linked, track.identity)) {
      error = "the track was replaced while being fixed; nothing changed";
      return false;
    }
    // Only a backup found identical may be replaced: a name the checks found free must still be
    // free, whatever a failed look or another program made of it.
    if (!(check.exists ? RenameReplacing(backupLink.path, backupPath, error)
                       : RenameNoReplace(backupLink.path, backupPath, error))) {
      return false;
    }
    backupLink.renamed = true;
    if (!RenameReplacing(temporary.path, track.path, error)) {
      // The new backup name is a second link to the unchanged track: without it, as before.
      std::string ignored;
      if (!check.exists) RemoveFile(backupPath, ignored);
      return false;
    }
    temporary.renamed = true;
    return true;
  }
  backupLink.path.clear();
  if (!noLinks) return false;
  // No hard links here: the dialog's order, which keeps the original whole at the track's
  // name or at the backup's. The backup there holds the track's bytes: removing it loses nothing.
  if (check.exists && !RemoveFile(backupPath, error)) return false;
  if (!RenameNoReplace(track.path, backupPath, error)) return false;
  if (!RenameNoReplace(temporary.path, track.path, error)) {
    std::string ignored;
    RenameNoReplace(backupPath, track.path, ignored);
    return false;
  }
  temporary.renamed = true;
  return true;
}

void MarkFailed(Outcome& outcome, const std::string& error) {
  outcome.action = Action::kFailed;
  outcome.error = error;
  outcome.mapName.clear();
  outcome.previousMapName.clear();
}

// Flushes every copy of the batch, then puts each in its place: every copy is on stable
// storage before any takes a track's place, and the flushes of many tracks share the disk's
// write-back instead of waiting for it one by one.
void CommitBatch(std::vector<std::unique_ptr<Pending>>& batch, std::vector<Outcome>& outcomes) {
  // One flush of the volume, when the whole batch is on one: its first copy was opened first,
  // so a write-back error of any copy is reported there.
  bool flushed = false;
  if (!batch.empty()) {
    const std::uint64_t volume = batch.front()->track->identity.volume;
    std::string error;
    flushed = std::all_of(batch.begin(), batch.end(),
                          [volume](const std::unique_ptr<Pending>& pending) {
                            return pending->track->identity.volume == volume;
                          }) &&
              FlushVolume(batch.front()->temporary.file, error);
  }
  for (const auto& pending : batch) {
    std::string error;
    if ((!flushed && !FlushFile(pending->temporary.file, error)) ||
        !CloseFile(pending->temporary.file, error)) {
      MarkFailed(outcomes[pending->outcome], error);
    }
  }
  for (const auto& pending : batch) {
    Outcome& outcome = outcomes[pending->outcome];
    std::string error;
    if (outcome.action != Action::kFailed && !CommitFix(*pending, error)) {
      MarkFailed(outcome, error);
    }
  }
  batch.clear();
}

// How much a batch holds at most: its temporary copies take disk space until it is committed.
constexpr std::size_t kBatchTracks = 32;
constexpr std::int64_t kBatchBytes = std::int64_t{256} << 20;

}  // namespace

std::vector<Outcome> FixTracks(const std::vector<Track>& tracks, const FixOptions& options,
                               const Progress& progress) {
  // Every name the collection carries, and the stock names, are taken from the start.
  std::set<std::string> taken = options.outsideNames;
  taken.insert(StockName(Kind::kNational));
  taken.insert(StockName(Kind::kSupercross));
  for (const Track& track : tracks) {
    if (track.state == State::kFixed) taken.insert(track.mapName);
  }
  // Fixed names that a track outside the run or an earlier track in path order carries.
  std::set<std::string> kept = options.outsideNames;
  std::set<std::string> changed;  // folders whose renames are to be flushed, once each
  std::vector<Outcome> outcomes(tracks.size());
  std::vector<std::unique_ptr<Pending>> batch;
  std::int64_t batchBytes = 0;
  ProgressMeter meter = StartPhase(progress, Phase::kFixing, TotalSize(tracks), tracks.size());
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const Track& track = tracks[i];
    Outcome& outcome = outcomes[i];
    outcome.path = track.path;
    bool refix = false;
    switch (track.state) {
      case State::kError:
        MarkFailed(outcome, track.error);
        break;
      case State::kUnverified:
        outcome.reason = "no stock map name and no backup that is its original";
        break;
      case State::kStock:
        if (track.holdsBoth) MarkFailed(outcome, kHoldsBoth);
        break;
      case State::kFixed:
        outcome.mapName = track.mapName;
        refix = options.refix && !kept.insert(track.mapName).second;
        if (!refix) outcome.reason = "already fixed";
        break;
    }
    const bool stock = track.state == State::kStock && !track.holdsBoth;
    if (stock || refix) {
      auto pending = std::make_unique<Pending>();
      pending->track = &track;
      pending->outcome = i;
      pending->refix = refix;
      outcome.previousMapName = track.mapName;
      outcome.mapName =
          AllocateMapName(MapStem(track.path, track.kind), FirstDigit(track.identity.size), taken);
      taken.insert(outcome.mapName);
      outcome.action = options.dryRun ? (refix ? Action::kWouldRefix : Action::kWouldFix)
                                      : (refix ? Action::kRefixed : Action::kFixed);
      // A file reached under two paths: the pending one holds it open, which keeps its name from
      // being replaced on Windows, so it takes its place first.
      for (const auto& waiting : batch) {
        if (!SameFile(waiting->track->identity, track.identity)) continue;
        CommitBatch(batch, outcomes);
        batchBytes = 0;
        break;
      }
      std::string error;
      if (!PrepareFix(*pending, outcome.mapName, options.dryRun, meter, error)) {
        MarkFailed(outcome, error);
      } else if (!options.dryRun) {
        // Its write-back runs while the next tracks are copied.
        StartFlush(pending->temporary.file);
        changed.insert(track.path);
        batchBytes += track.identity.size;
        batch.push_back(std::move(pending));
        if (batch.size() >= kBatchTracks || batchBytes >= kBatchBytes) {
          CommitBatch(batch, outcomes);
          batchBytes = 0;
        }
      }
    }
    if (!TellTrackDone(meter, track.identity.size)) {
      outcomes.resize(i + 1);
      break;
    }
  }
  CommitBatch(batch, outcomes);
  FlushFoldersOf(changed);
  return outcomes;
}

}  // namespace collection
