// Adding downloaded tracks to a library: each file is copied in whole under a temporary name and
// takes its name in one rename that never replaces, then is fixed as any track of the library,
// with a name free in all of it. The downloaded file itself is only read.
#include <set>

#include "collection.h"
#include "game_texts.h"
#include "names.h"
#include "temporary.h"

namespace collection {

namespace {

const char kCannotCheck[] =
    "no stock map name and no backup beside it that is its original: its map name cannot be "
    "checked for clashes; not added";

// Copies the file at from to the new name to, complete and on stable storage before it takes
// that name; nothing is left at to on failure.
bool CopyInto(const std::string& from, const std::string& to, std::string& error) {
  FileHandle source;
  FileFacts facts;
  if (!OpenForReading(from, source, facts, error)) return false;
  TemporaryFile temporary;
  temporary.path = TemporaryPathFor(to);
  if (!CreateNew(temporary.path, facts.permissions, temporary.file, error) ||
      !SetSize(temporary.file, facts.size, error) ||
      !CopyContent(source, temporary.file, 0, facts.size, error) ||
      !FlushFile(temporary.file, error) || !CloseFile(temporary.file, error) ||
      !RenameNoReplace(temporary.path, to, error)) {
    return false;
  }
  temporary.renamed = true;
  FlushFolderOf(to);
  return true;
}

// Whether the files at a and b hold the same bytes; false when either cannot be read.
bool Identical(const std::string& a, const std::string& b) {
  FileHandle first;
  FileHandle second;
  FileFacts firstFacts;
  FileFacts secondFacts;
  std::string error;
  bool same = false;
  return OpenForReading(a, first, firstFacts, error) &&
         OpenForReading(b, second, secondFacts, error) && firstFacts.size == secondFacts.size &&
         SameContent(first, second, firstFacts.size, same, error) && same;
}

void Fail(Outcome& outcome, const std::string& error) {
  outcome.action = Action::kFailed;
  outcome.error = error;
  outcome.mapName.clear();
}

// A file whose name the library already has: the same track again, or another one.
void CompareWithLibrary(const std::vector<Track>& library, Outcome& outcome) {
  bool known = Identical(outcome.source, outcome.path);
  for (const Track& track : library) {
    if (track.path != outcome.path) continue;
    outcome.mapName = track.mapName;
    known =
        known || (track.state == State::kFixed && Identical(outcome.source, track.path + ".bak"));
  }
  if (known) {
    outcome.reason = "already in the library";
  } else {
    Fail(outcome, "differs from the library's " + outcome.path + "; not added");
  }
}

// Copies original in as the new track and fixes it there; a copy whose fix fails is removed
// again, so that the library is as it was.
void AddAndFix(const std::string& original, const FixOptions& options, Outcome& outcome) {
  std::string error;
  FileFacts copied;
  if (!CopyInto(original, outcome.path, error)) return Fail(outcome, error);
  const bool known = IdentityAt(outcome.path, copied);
  const std::vector<Outcome> fixed = FixTracks({ScanTrack(outcome.path)}, options, {});
  if (fixed.size() == 1 && fixed[0].action == Action::kFixed) {
    outcome.mapName = fixed[0].mapName;
    return;
  }
  FileFacts now;
  if (known && IdentityAt(outcome.path, now) && Unchanged(now, copied)) {
    RemoveFile(outcome.path, error);
  }
  Fail(outcome, fixed.empty() ? std::string("not fixed") : fixed[0].error);
}

// Adds one downloaded file, as its scan found it; taken holds every name the library carries.
void AddOne(const Track& source, const std::vector<Track>& library, bool dryRun,
            std::set<std::string>& taken, Outcome& outcome) {
  if (source.state == State::kError) return Fail(outcome, source.error);
  if (ProbeEntry(outcome.path).type != EntryType::kMissing) {
    return CompareWithLibrary(library, outcome);
  }
  if (ProbeEntry(outcome.path + ".bak").type != EntryType::kMissing) {
    return Fail(outcome, outcome.path + ".bak exists; not added");
  }
  if (source.state == State::kUnverified) return Fail(outcome, kCannotCheck);
  if (source.holdsBoth) {
    return Fail(outcome, std::string("holds both ") + kNationalMap + " and " + kSupercrossMap);
  }
  const bool fixed = source.state == State::kFixed;
  if (fixed && taken.count(source.mapName) == 0) {
    // A fixed track whose name is free comes in with its verified original.
    outcome.mapName = source.mapName;
    outcome.action = dryRun ? Action::kWouldAdd : Action::kAdded;
    taken.insert(source.mapName);
    std::string error;
    if (dryRun) return;
    if (!CopyInto(source.path + ".bak", outcome.path + ".bak", error)) return Fail(outcome, error);
    if (CopyInto(source.path, outcome.path, error)) return;
    RemoveFile(outcome.path + ".bak", error);
    return Fail(outcome, error);
  }
  // A stock track, or a fixed one whose name clashes: its original comes in and is fixed.
  outcome.previousMapName = source.mapName;
  outcome.mapName =
      AllocateMapName(MapStem(outcome.path, source.kind), FirstDigit(source.identity.size), taken);
  outcome.action = fixed ? (dryRun ? Action::kWouldRefix : Action::kRefixed)
                         : (dryRun ? Action::kWouldFix : Action::kFixed);
  if (!dryRun) {
    FixOptions options;
    options.outsideNames = taken;
    AddAndFix(fixed ? source.path + ".bak" : source.path, options, outcome);
  }
  if (outcome.action != Action::kFailed) taken.insert(outcome.mapName);
}

}  // namespace

std::vector<Outcome> AddTracks(const std::string& library, const std::vector<std::string>& files,
                               const std::vector<Track>& libraryTracks, bool dryRun,
                               const Progress& progress) {
  std::set<std::string> taken = {StockName(Kind::kNational), StockName(Kind::kSupercross)};
  for (const Track& track : libraryTracks) {
    if (!track.mapName.empty()) taken.insert(track.mapName);
  }
  std::vector<Track> sources;
  for (const std::string& file : files) sources.push_back(ScanTrack(file));
  ProgressMeter meter = StartPhase(progress, Phase::kAdding, TotalSize(sources), files.size());
  std::vector<Outcome> outcomes;
  for (const Track& source : sources) {
    Outcome outcome;
    outcome.source = source.path;
    outcome.path = files::Join(library, files::NameOf(source.path));
    AddOne(source, libraryTracks, dryRun, taken, outcome);
    outcomes.push_back(outcome);
    if (!TellTrackDone(meter, source.identity.size)) break;
  }
  return outcomes;
}

}  // namespace collection
