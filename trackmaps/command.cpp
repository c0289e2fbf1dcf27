#include "command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "arguments.h"
#include "clock.h"
#include "collection.h"
#include "progress_bar.h"
#include "report.h"
#include "version.h"

using collection::Clash;
using collection::Outcome;
using collection::State;
using collection::Track;

namespace {

// The help, in lines that fit a console of 80 columns even when indented (the zip's README.txt
// carries it). CLI11 prints the usage and the commands and options between the two.
const char kAbout[] =
    "trackmaps fixes the map names of a whole collection of track files (.pak):\n"
    "it lists every clash (a map name that two tracks carry), gives every stock\n"
    "track a map name no other track carries (keeping the original as\n"
    "TRACK.bak), and puts originals back.\n";
const char kFooter[] =
    "PATH is a track file or a folder, searched recursively; none means the\n"
    "current folder. With --library DIR (default: the environment variable\n"
    "TRACKMAPS_LIBRARY), names are chosen and clashes judged against every\n"
    "track under DIR, and each PATH must lie inside it. On Windows /? shows\n"
    "this help. Each command tells its options: trackmaps COMMAND --help.\n"
    "\n"
    "Examples:\n"
    "  trackmaps scan Tracks\n"
    "  trackmaps fix --dry-run --library Tracks Tracks/Desert\n"
    "  trackmaps restore Tracks/Desert/Hill.PAK\n"
    "  trackmaps add Tracks Downloads/Dune.PAK\n"
    "\n"
    "Exit codes: 0 nothing to do or all done; 1 work left (a stock track or a\n"
    "clash) or a track or folder failed; 2 a usage error, or for scan a track\n"
    "or folder that could not be read. With --json a usage error writes\n"
    "nothing on standard output, only its line on standard error.";
// Said from Explorer, under the help: the window does the same work.
const char kWindowProgram[] =
    "To work in a window instead, start tracklibrary.exe (the Track Library).";

// What the command line asked for.
struct Request {
  std::string run;  // "scan", "fix" or "restore"
  bool json = false;
  bool dryRun = false;
  bool refix = false;
  std::vector<std::string> paths;
};

// Progress on err when it is a terminal, else none.
collection::Progress ProgressFor(std::ostream& err, const Console& console) {
  if (!console.errTerminal) return {};
  return ProgressBar(err, std::chrono::milliseconds(console.progressDelayMs));
}

int Scan(const Request& request, const collection::Gathered& gathered, std::ostream& out,
         std::ostream& err, const Console& console) {
  const std::vector<Track> tracks =
      collection::ScanTracks(gathered.tracks, ProgressFor(err, console));
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
        std::ostream& err, const Console& console) {
  collection::FixOptions options;
  options.dryRun = request.dryRun;
  options.refix = request.refix;
  options.clockDigit = ClockDigit();  // once for the whole run
  const collection::Progress progress = ProgressFor(err, console);
  const std::vector<Track> tracks = collection::ScanTracks(gathered.tracks, progress);
  const std::vector<Outcome> outcomes = collection::FixTracks(tracks, options, progress);
  const std::vector<Clash> clashes = collection::ClashesAfter(tracks, outcomes);
  ReportFix(out, outcomes, clashes, request.json);
  return AnyFailed(outcomes) || !clashes.empty() ? 1 : 0;
}

int Restore(const Request& request, const collection::Gathered& gathered, std::ostream& out,
            std::ostream& err, const Console& console) {
  const collection::Progress progress = ProgressFor(err, console);
  const std::vector<Track> tracks = collection::ScanTracks(gathered.tracks, progress);
  const std::vector<Outcome> outcomes = collection::RestoreTracks(tracks, request.dryRun, progress);
  ReportRestore(out, outcomes, request.json);
  return AnyFailed(outcomes) ? 1 : 0;
}

}  // namespace

int RunTrackmaps(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                 const Console& console) {
  CLI::App app(kAbout, "trackmaps");
  app.get_formatter()->column_width(18);
  app.set_version_flag("--version", std::string("trackmaps ") + TMF_VERSION_TEXT);
  app.require_subcommand(1);

  Request request;
  CLI::App* scan =
      app.add_subcommand("scan", "List every track's state and map name, and every clash");
  CLI::App* fix =
      app.add_subcommand("fix", "Give each stock track its own map name, keeping TRACK.bak");
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
                "Also rename fixed tracks that carry an earlier track's name");
  // Each command's help ends with its example; the program's with them all.
  scan->footer("Example: trackmaps scan Tracks");
  fix->footer("Example: trackmaps fix --dry-run --library Tracks Tracks/Desert");
  restore->footer("Example: trackmaps restore Tracks/Desert/Hill.PAK");
  app.footer(kFooter);

  std::vector<std::string> arguments = EdgeArguments(argc, argv, console.explorer);
  if (console.explorer && arguments.empty()) {
    out << app.help() << kWindowProgram << '\n';
    return 0;
  }
  std::reverse(arguments.begin(), arguments.end());  // CLI11 takes them last first
  try {
    app.parse(arguments);
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
    const int code = Scan(request, gathered, out, err, console);
    return gathered.unreadable.empty() ? code : 2;
  }
  const int code = request.run == "fix" ? Fix(request, gathered, out, err, console)
                                        : Restore(request, gathered, out, err, console);
  return gathered.unreadable.empty() ? code : std::max(code, 1);
}
