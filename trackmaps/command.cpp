#include "command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "collection.h"
#include "report.h"
#include "version.h"

using collection::Clash;
using collection::Outcome;
using collection::State;
using collection::Track;

namespace {

// What the command line asked for.
struct Request {
  std::string run;  // "scan", "fix" or "restore"
  bool json = false;
  bool dryRun = false;
  bool refix = false;
  std::vector<std::string> paths;
};

const char* PhaseText(collection::Phase phase) {
  switch (phase) {
    case collection::Phase::kScanning:
      return "scanning";
    case collection::Phase::kFixing:
      return "fixing";
    case collection::Phase::kRestoring:
      return "restoring";
    case collection::Phase::kAdding:
      break;
  }
  return "adding";
}

// A bar on the terminal's error stream once the work has taken more than a second.
collection::Progress ProgressBar(std::ostream& err, bool terminal) {
  if (!terminal) return {};
  const auto start = std::chrono::steady_clock::now();
  return [&err, start](const collection::ProgressStep& step) {
    if (std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) return true;
    const std::size_t width = 30;
    const bool done = step.tracksDone == step.tracksTotal;
    const std::size_t filled =
        step.bytesTotal <= 0
            ? width
            : static_cast<std::size_t>(step.bytesDone * static_cast<double>(width) /
                                       static_cast<double>(step.bytesTotal));
    err << "\r" << PhaseText(step.phase) << " [" << std::string(filled, '#')
        << std::string(width - filled, ' ') << "] " << step.tracksDone << "/" << step.tracksTotal
        << (done ? "\r\x1b[K" : "") << std::flush;
    return true;
  };
}

int Scan(const Request& request, const collection::Gathered& gathered, std::ostream& out,
         std::ostream& err, bool terminal) {
  const std::vector<Track> tracks =
      collection::ScanTracks(gathered.tracks, ProgressBar(err, terminal));
  const std::vector<Clash> clashes = collection::ClashesOf(tracks);
  ReportScan(out, tracks, clashes, gathered.leftovers, request.json);
  bool work = !clashes.empty();
  for (const Track& track : tracks) {
    if (track.state == State::kError) return 2;
    if (track.state == State::kStock) work = true;
  }
  return work ? 1 : 0;
}

bool AnyFailed(const std::vector<Outcome>& outcomes) {
  for (const Outcome& outcome : outcomes) {
    if (outcome.action == collection::Action::kFailed) return true;
  }
  return false;
}

int Fix(const Request& request, const collection::Gathered& gathered, std::ostream& out,
        std::ostream& err, bool terminal) {
  collection::FixOptions options;
  options.dryRun = request.dryRun;
  options.refix = request.refix;
  const collection::Progress progress = ProgressBar(err, terminal);
  const std::vector<Track> tracks = collection::ScanTracks(gathered.tracks, progress);
  const std::vector<Outcome> outcomes = collection::FixTracks(tracks, options, progress);
  const std::vector<Clash> clashes = collection::ClashesAfter(tracks, outcomes);
  ReportFix(out, outcomes, clashes, request.json);
  return AnyFailed(outcomes) || !clashes.empty() ? 1 : 0;
}

int Restore(const Request& request, const collection::Gathered& gathered, std::ostream& out,
            std::ostream& err, bool terminal) {
  const collection::Progress progress = ProgressBar(err, terminal);
  const std::vector<Track> tracks = collection::ScanTracks(gathered.tracks, progress);
  const std::vector<Outcome> outcomes = collection::RestoreTracks(tracks, request.dryRun, progress);
  ReportRestore(out, outcomes, request.json);
  return AnyFailed(outcomes) ? 1 : 0;
}

}  // namespace

int RunTrackmaps(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                 bool errTerminal) {
  CLI::App app(
      "Scans a collection of track files for map names that clash, gives every track a map name "
      "of its own, and puts originals back.\n"
      "PATH is a track file (*.pak) or a folder, searched recursively; none means the current "
      "folder.\n"
      "Exit codes: 0 nothing to do or all done, 1 work left (stock tracks, clashes) or a track "
      "or folder failed, 2 a usage error (and, for scan, a track or folder that could not be "
      "read).",
      "trackmaps");
  app.set_version_flag("--version", std::string("trackmaps ") + TMF_VERSION_TEXT);
  app.require_subcommand(1);

  Request request;
  CLI::App* scan =
      app.add_subcommand("scan", "List every track's state and map name, and every clash");
  CLI::App* fix = app.add_subcommand(
      "fix",
      "Give every stock track a map name no other track carries; the original is kept as "
      "TRACK.bak");
  CLI::App* restore =
      app.add_subcommand("restore", "Put the original of every fixed track back from its backup");
  for (CLI::App* command : {scan, fix, restore}) {
    command->add_flag("--json", request.json, "Write one JSON document on standard output");
    command->add_option("PATH", request.paths,
                        "Track files or folders (default: the current folder)");
  }
  for (CLI::App* command : {fix, restore}) {
    command->add_flag("--dry-run", request.dryRun, "Tell what would be done; touch nothing");
  }
  fix->add_flag("--refix", request.refix,
                "Also give a new name to fixed tracks whose name clashes with an earlier one");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    err << "trackmaps: " << e.what() << " (see trackmaps --help)\n";
    return 2;
  }
  for (CLI::App* command : {scan, fix, restore}) {
    if (command->parsed()) request.run = command->get_name();
  }

  collection::Gathered gathered;
  std::string usageError;
  if (!collection::GatherTracks(request.paths, gathered, usageError)) {
    err << "trackmaps: " << usageError << '\n';
    return 2;
  }
  // A folder that cannot be listed may hold tracks: said on every run, an error for scan, and
  // for fix and restore a run that did not end well, since the tracks there were left as they
  // were (and a fix could not keep its names clear of theirs).
  for (const std::string& folder : gathered.unreadable) {
    err << "trackmaps: cannot read the folder " << folder << '\n';
  }
  if (request.run == "scan") {
    const int code = Scan(request, gathered, out, err, errTerminal);
    return gathered.unreadable.empty() ? code : 2;
  }
  const int code = request.run == "fix" ? Fix(request, gathered, out, err, errTerminal)
                                        : Restore(request, gathered, out, err, errTerminal);
  return gathered.unreadable.empty() ? code : std::max(code, 1);
}
