// Restore: the verified backup of a fixed track replaces the track in one rename.
#include <set>

#include "collection.h"

namespace collection {

namespace {

bool RestoreTrack(const Track& track, std::string& error) {
  const std::string backupPath = track.path + ".bak";
  const std::string linkError = "the track or its backup is a link; restore the files they lead to";
  FileFacts now;
  FileFacts backupNow;
  {
    FileHandle file;
    FileHandle backup;
    if (!OpenNotLinked(track.path, linkError, file, now, error) ||
        !OpenNotLinked(backupPath, linkError, backup, backupNow, error)) {
      if (error == "no such file") error = "changed since it was scanned";
      return false;
    }
  }
  // Closed before the rename: Windows keeps the name of a file replaced while it is open.
  if (!Unchanged(now, track.identity) || !Unchanged(backupNow, track.backupIdentity)) {
    error = "changed since it was scanned";
    return false;
  }
  return RenameReplacing(backupPath, track.path, error);
}

}  // namespace

std::vector<Outcome> RestoreTracks(const std::vector<Track>& tracks, bool dryRun,
                                   const Progress& progress) {
  std::vector<Outcome> outcomes;
  std::set<std::string> changed;
  ProgressMeter meter = StartPhase(progress, Phase::kRestoring, TotalSize(tracks), tracks.size());
  for (const Track& track : tracks) {
    Outcome outcome;
    outcome.path = track.path;
    switch (track.state) {
      case State::kError:
        outcome.action = Action::kFailed;
        outcome.error = track.error;
        break;
      case State::kStock:
        outcome.reason = "carries a stock map name: not fixed";
        break;
      case State::kUnverified:
        outcome.reason = "no backup that is its original";
        break;
      case State::kFixed:
        outcome.action = dryRun ? Action::kWouldRestore : Action::kRestored;
        if (!dryRun) changed.insert(track.path);
        if (!dryRun && !RestoreTrack(track, outcome.error)) outcome.action = Action::kFailed;
        break;
    }
    outcomes.push_back(outcome);
    if (!TellTrackDone(meter, track.identity.size)) break;
  }
  FlushFoldersOf(changed);
  return outcomes;
}

}  // namespace collection
