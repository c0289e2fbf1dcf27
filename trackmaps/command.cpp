#include "command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "arguments.h"
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
  std::string library;  // empty: none
  std::vector<std::string> paths;
  std::vector<std::string> files;  // for add
};

// Progress on err when it is a terminal, else none.
collection::Progress ProgressFor(std::ostream& err, const Console& console) {
  if (!console.errTerminal) return {};
  return ProgressBar(err, std::chrono::milliseconds(console.progressDelayMs));
}

// The tracks of a run: those it lists and changes, and the rest of the library, whose names are
// taken and whose clashes count.
struct Tracks {
  std::vector<Track> chosen;
  std::vector<Track> outside;
};

Tracks ScanChosen(const collection::Gathered& gathered, const std::vector<bool>& chosen,
                  const collection::Progress& progress) {
  Tracks tracks;
  const std::vector<Track> all = collection::ScanTracks(gathered.tracks, progress);
  for (std::size_t i = 0; i < all.size(); ++i) {
    (chosen[i] ? tracks.chosen : tracks.outside).push_back(all[i]);
  }
  return tracks;
}

// The clashes among what the chosen tracks and the rest carry that involve a chosen track.
std::vector<Clash> ClashesOfChosen(std::vector<collection::Carried> carried, const Tracks& tracks) {
  const std::vector<collection::Carried> outside = collection::CarriedBy(tracks.outside);
  carried.insert(carried.end(), outside.begin(), outside.end());
  std::set<std::string> chosen;
  for (const Track& track : tracks.chosen) chosen.insert(track.path);
  return collection::ClashesTouching(collection::FindClashes(carried), chosen);
}

int Scan(const Request& request, const Tracks& tracks, const RunScope& scope, std::ostream& out) {
  const std::vector<Clash> clashes = ClashesOfChosen(collection::CarriedBy(tracks.chosen), tracks);
  ReportScan(out, tracks.chosen, clashes, scope, request.json);
  bool work = !clashes.empty();
  for (const Track& track : tracks.chosen) {
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

int Fix(const Request& request, const Tracks& tracks, const RunScope& scope,
        const collection::Progress& progress, std::ostream& out) {
  collection::FixOptions options;
  options.dryRun = request.dryRun;
  options.refix = request.refix;
  for (const Track& track : tracks.outside) {
    if (!track.mapName.empty()) options.outsideNames.insert(track.mapName);
  }
  const std::vector<Outcome> outcomes = collection::FixTracks(tracks.chosen, options, progress);
  const std::vector<Clash> clashes =
      ClashesOfChosen(collection::CarriedAfter(tracks.chosen, outcomes), tracks);
  ReportFix(out, outcomes, clashes, scope, request.json);
  return AnyFailed(outcomes) || !clashes.empty() ? 1 : 0;
}

int Restore(const Request& request, const Tracks& tracks, const RunScope& scope,
            const collection::Progress& progress, std::ostream& out) {
  const std::vector<Outcome> outcomes =
      collection::RestoreTracks(tracks.chosen, request.dryRun, progress);
  ReportRestore(out, outcomes, scope, request.json);
  return AnyFailed(outcomes) ? 1 : 0;
}

// Adds files to the library: checked first, so that a usage error touches nothing.
int Add(const Request& request, const collection::Progress& progress, std::ostream& out,
        std::ostream& err) {
  for (const std::string& file : request.files) {
    const collection::EntryType type = collection::ProbeEntry(file).type;
    const char* problem = type == collection::EntryType::kMissing  ? "no such file"
                          : type == collection::EntryType::kFolder ? "a folder, not a track file"
                          : !collection::IsTrackName(files::NameOf(file))
                              ? "not a track file (its name does not end in .pak)"
                              : nullptr;
    if (problem != nullptr) {
      err << "trackmaps: " << problem << ": " << file << '\n';
      return 2;
    }
  }
  collection::Gathered gathered;
  std::vector<bool> chosen;
  std::string usageError;
  if (!collection::GatherLibrary(request.library, {}, gathered, chosen, usageError)) {
    err << "trackmaps: " << usageError << '\n';
    return 2;
  }
  for (const collection::Unreadable& folder : gathered.unreadable) {
    err << "trackmaps: cannot read the folder " << folder.path << " (" << folder.error << ")\n";
  }
  Tracks tracks;
  tracks.outside = collection::ScanTracks(gathered.tracks, progress);
  const std::vector<Outcome> outcomes = collection::AddTracks(
      request.library, request.files, tracks.outside, request.dryRun, progress);
  // The added tracks among the library's: what each carries now.
  std::vector<collection::Carried> carried;
  for (const Outcome& outcome : outcomes) {
    if (outcome.action == collection::Action::kFailed ||
        outcome.action == collection::Action::kUnchanged) {
      continue;
    }
    carried.push_back({outcome.path, outcome.mapName});
    Track added;
    added.path = outcome.path;
    tracks.chosen.push_back(added);
  }
  const std::vector<Clash> clashes = ClashesOfChosen(carried, tracks);
  RunScope scope;
  scope.library = true;
  scope.pathsGiven = true;
  scope.added = true;
  scope.gathered = &gathered;
  ReportFix(out, outcomes, clashes, scope, request.json);
  const int code = AnyFailed(outcomes) || !clashes.empty() ? 1 : 0;
  return gathered.unreadable.empty() ? code : std::max(code, 1);
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
    command
        ->add_option("--library", request.library,
                     "The whole collection (default: TRACKMAPS_LIBRARY): names\n"
                     "are chosen and clashes judged against every track under\n"
                     "DIR; only the tracks under the PATHs are listed and changed")
        ->option_text("DIR")
        ->envname("TRACKMAPS_LIBRARY");
    command->add_option("PATH", request.paths,
                        "Track files or folders (default: the current folder)");
  }
  for (CLI::App* command : {fix, restore}) {
    command->add_flag("--dry-run", request.dryRun, "Tell what would be done; touch nothing");
  }
  CLI::App* add =
      app.add_subcommand("add", "Copy downloaded tracks into LIBRARY, fixed with free names");
  add->add_flag("--json", request.json, "Write one JSON document on standard output");
  add->add_flag("--dry-run", request.dryRun, "Tell what would be done; touch nothing");
  add->add_option("LIBRARY", request.library, "The library folder")->required();
  add->add_option("FILE", request.files, "Downloaded track files (*.pak)")->required();
  fix->add_flag("--refix", request.refix,
                "Also rename fixed tracks that carry an earlier track's name");
  // Each command's help ends with its example; the program's with them all.
  scan->footer("Example: trackmaps scan Tracks");
  fix->footer("Example: trackmaps fix --dry-run --library Tracks Tracks/Desert");
  restore->footer("Example: trackmaps restore Tracks/Desert/Hill.PAK");
  add->footer("Example: trackmaps add Tracks Downloads/Dune.PAK");
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
  for (CLI::App* command : {scan, fix, restore, add}) {
    if (command->parsed()) request.run = command->get_name();
  }
  if (request.run == "add") return Add(request, ProgressFor(err, console), out, err);

  collection::Gathered gathered;
  std::vector<bool> chosen;
  std::string usageError;
  const bool gatheredWell =
      request.library.empty()
          ? collection::GatherTracks(request.paths, gathered, usageError)
          : collection::GatherLibrary(request.library, request.paths, gathered, chosen, usageError);
  if (!gatheredWell) {
    err << "trackmaps: " << usageError << '\n';
    return 2;
  }
  chosen.resize(gathered.tracks.size(), true);
  // A folder that cannot be listed may hold tracks: said on every run, an error for scan, and
  // for fix and restore a run that did not end well, since the tracks there were left as they
  // were (and a fix could not keep its names clear of theirs).
  for (const collection::Unreadable& folder : gathered.unreadable) {
    err << "trackmaps: cannot read the folder " << folder.path << " (" << folder.error << ")\n";
  }
  RunScope scope;
  scope.library = !request.library.empty();
  scope.pathsGiven = !request.paths.empty();
  scope.gathered = &gathered;
  const collection::Progress progress = ProgressFor(err, console);
  const Tracks tracks = ScanChosen(gathered, chosen, progress);
  if (request.run == "scan") {
    const int code = Scan(request, tracks, scope, out);
    return gathered.unreadable.empty() ? code : 2;
  }
  const int code = request.run == "fix" ? Fix(request, tracks, scope, progress, out)
                                        : Restore(request, tracks, scope, progress, out);
  return gathered.unreadable.empty() ? code : std::max(code, 1);
}
