#include "worker.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>

#include "report_text.h"

using collection::Outcome;
using collection::Track;

namespace {

// The job running, or none; the window thread and the worker share only these atomics.
std::atomic<bool> g_running{false};
std::atomic<bool> g_cancel{false};   // stop after the track in hand
std::atomic<bool> g_closing{false};  // and skip what only the window would show
std::atomic<int> g_phase{0};
std::atomic<long long> g_bytesDone{0};
std::atomic<long long> g_bytesTotal{0};
std::atomic<long long> g_tracksDone{0};
std::atomic<long long> g_tracksTotal{0};

struct Work {
  HWND notify;
  Job job;
};

void Record(const collection::ProgressStep& step) {
  g_phase = static_cast<int>(step.phase);
  g_bytesDone = step.bytesDone;
  g_bytesTotal = step.bytesTotal;
  g_tracksDone = static_cast<long long>(step.tracksDone);
  g_tracksTotal = static_cast<long long>(step.tracksTotal);
}

// A phase begins: shown at once, before the library tells how its first track went.
void EnterPhase(collection::Phase phase, const std::vector<Track>& tracks) {
  collection::ProgressStep step;
  step.phase = phase;
  step.bytesTotal = collection::TotalSize(tracks);
  step.tracksTotal = tracks.size();
  Record(step);
}

bool Tell(const collection::ProgressStep& step) {
  Record(step);
  return !g_cancel;
}

// The scan after a run shows what the run did: a cancel has been answered by then, and only
// closing the window stops it.
bool TellUnlessClosing(const collection::ProgressStep& step) {
  Record(step);
  return !g_closing;
}

// The scan of the library into result (tracks, preview); false when its folder is not there.
bool ScanLibrary(JobResult& result, const collection::Progress& progress) {
  collection::Gathered& found = result.found;
  found = {};
  std::string usageError;
  if (!collection::GatherTracks({result.job.library}, found, usageError)) {
    result.problem = usageError;
    return false;
  }
  result.gathered = true;
  result.problem.clear();
  for (const collection::Unreadable& folder : found.unreadable) {
    result.problem += (result.problem.empty() ? "" : "; ") +
                      std::string("cannot read the folder ") + folder.path + " (" + folder.error +
                      ")";
  }
  collection::ProgressStep step;
  step.tracksTotal = found.tracks.size();
  Record(step);
  result.tracks = collection::ScanTracks(found.tracks, progress);
  return true;
}

// The dry run of a fix over the tracks: the After fix names.
void Preview(JobResult& result) {
  collection::FixOptions options;
  options.dryRun = true;
  options.refix = result.job.refix;
  result.preview = collection::FixTracks(result.tracks, options, {});
}

// The tracks a run is given (all, or those selected) and the rest of the library, whose names
// count all the same.
struct Chosen {
  std::vector<Track> tracks;
  std::vector<Track> outside;
  std::set<std::string> paths;
};

Chosen Choose(const std::vector<Track>& tracks, const Job& job) {
  Chosen chosen;
  const std::set<std::string> only(job.only.begin(), job.only.end());
  for (const Track& track : tracks) {
    const bool run = only.empty() || only.count(track.path) != 0;
    (run ? chosen.tracks : chosen.outside).push_back(track);
    if (run) chosen.paths.insert(track.path);
  }
  return chosen;
}

// Fixes the chosen tracks with names clear of every name in the library; the clashes of the
// report are those that involve a chosen track.
void RunFix(JobResult& result, const Chosen& chosen) {
  collection::FixOptions options;
  options.refix = result.job.refix;
  for (const Track& track : chosen.outside) {
    if (!track.mapName.empty()) options.outsideNames.insert(track.mapName);
  }
  EnterPhase(collection::Phase::kFixing, chosen.tracks);
  const std::vector<Outcome> outcomes = collection::FixTracks(chosen.tracks, options, Tell);
  std::vector<collection::Carried> carried = collection::CarriedAfter(chosen.tracks, outcomes);
  const std::vector<collection::Carried> outside = collection::CarriedBy(chosen.outside);
  carried.insert(carried.end(), outside.begin(), outside.end());
  const std::vector<collection::Clash> clashes =
      collection::ClashesTouching(collection::FindClashes(carried), chosen.paths);
  result.summary = collection::FixSummary(outcomes, clashes);
  result.report = collection::FixReport(outcomes, clashes, "", false);
}

// Copies the files into the library, each fixed with a name free in all of it; the clashes of the
// report are those that involve an added track.
void RunAdd(JobResult& result) {
  collection::ProgressStep step;
  step.phase = collection::Phase::kAdding;
  step.tracksTotal = result.job.files.size();
  Record(step);
  const std::vector<Outcome> outcomes =
      collection::AddTracks(result.job.library, result.job.files, result.tracks, false, Tell);
  std::vector<collection::Carried> carried = collection::CarriedBy(result.tracks);
  std::set<std::string> added;
  for (const Outcome& outcome : outcomes) {
    if (outcome.action == collection::Action::kFailed ||
        outcome.action == collection::Action::kUnchanged) {
      continue;
    }
    carried.push_back({outcome.path, outcome.mapName});
    added.insert(outcome.path);
  }
  const std::vector<collection::Clash> clashes =
      collection::ClashesTouching(collection::FindClashes(carried), added);
  result.summary = collection::FixSummary(outcomes, clashes);
  result.report = collection::FixReport(outcomes, clashes, "", true);
}

void RunRestore(JobResult& result, const std::vector<Track>& tracks) {
  EnterPhase(collection::Phase::kRestoring, tracks);
  const std::vector<Outcome> outcomes = collection::RestoreTracks(tracks, false, Tell);
  result.summary = collection::RestoreSummary(outcomes);
  result.report = collection::RestoreReport(outcomes);
}

void Run(JobResult& result) {
  const Job& job = result.job;
  if (job.kind == JobKind::kPreview) {
    result.gathered = true;
    result.tracks = job.tracks;
    Preview(result);
    return;
  }
  if (!ScanLibrary(result, Tell)) return;
  const bool stopped = g_cancel;
  if (job.kind == JobKind::kScan || stopped) {
    const std::vector<collection::Clash> clashes = collection::ClashesOf(result.tracks);
    result.summary = collection::ScanSummary(result.tracks, clashes);
    result.report = collection::ScanReport(result.tracks, clashes, result.found.leftovers,
                                           result.found.orphans, "");
    if (!g_closing) Preview(result);
    return;
  }
  const Chosen chosen = Choose(result.tracks, job);
  if (job.kind == JobKind::kFix) {
    RunFix(result, chosen);
  } else if (job.kind == JobKind::kAdd) {
    RunAdd(result);
  } else {
    RunRestore(result, chosen.tracks);
  }
  if (g_closing) return;
  // The list shows the library as the run left it; the run's summary stays the status line.
  const std::string problem = result.problem;
  ScanLibrary(result, TellUnlessClosing);
  result.problem = problem;
  Preview(result);
}

DWORD WINAPI WorkerMain(LPVOID parameter) {
  std::unique_ptr<Work> work(static_cast<Work*>(parameter));
  auto result = std::make_unique<JobResult>();
  result->job = std::move(work->job);
  Run(*result);
  g_running = false;
  if (PostMessageW(work->notify, WM_APP_JOB_DONE, 0, reinterpret_cast<LPARAM>(result.get()))) {
    result.release();
  }
  return 0;
}

}  // namespace

bool StartJob(HWND notify, Job job) {
  if (g_running) return false;
  g_cancel = false;
  g_closing = false;
  g_bytesDone = g_bytesTotal = g_tracksDone = g_tracksTotal = 0;
  g_phase = static_cast<int>(collection::Phase::kScanning);
  g_running = true;
  auto work = std::make_unique<Work>(Work{notify, std::move(job)});
  HANDLE thread = CreateThread(nullptr, 0, WorkerMain, work.get(), 0, nullptr);
  if (thread == nullptr) {
    g_running = false;
    return false;
  }
  work.release();
  // The window's thread comes first when the two compete for a core.
  SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
  CloseHandle(thread);
  return true;
}

bool JobRunning() { return g_running; }

void CancelJob() { g_cancel = true; }

void CancelJobForClosing() {
  g_closing = true;
  g_cancel = true;
}

bool JobCancelled() { return g_cancel; }

collection::ProgressStep JobProgress() {
  collection::ProgressStep step;
  step.phase = static_cast<collection::Phase>(g_phase.load());
  step.bytesDone = g_bytesDone;
  step.bytesTotal = g_bytesTotal;
  step.tracksDone = static_cast<std::size_t>(g_tracksDone.load());
  step.tracksTotal = static_cast<std::size_t>(g_tracksTotal.load());
  return step;
}
