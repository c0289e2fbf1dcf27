// The trackmaps command on real folders: each scenario lays out a collection, runs one command
// line, and checks the exit code, the report (as JSON, or that nothing reached stdout) and every
// file of the tree afterwards, byte for byte; files that should not change keep their times too.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "clock.h"
#include "collection.h"
#include "command.h"
#include "disk.h"
#include "names.h"
#include "process_usage.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

const std::string N = "National_Map";
const std::string S = "Supercross_Map";
const std::string kSite = ";  The Sun";
const std::string kMarker = ";TDFIX   1";

// A stock track's bytes and the same track fixed with a name.
std::string Stock(const std::string& name = N) { return "head " + name + kSite + " mid " + name; }
std::string Fixed(const std::string& newName) {
  return "head " + newName + kMarker + " mid " + newName;
}

using Tree = std::map<std::string, std::string>;  // path with '/' -> content

// A fixed track with its verified backup.
void AddFixed(Tree& tree, const std::string& path, const std::string& newName,
              const std::string& stock = N) {
  tree[path] = Fixed(newName);
  tree[path + ".bak"] = Stock(stock);
}

struct Scenario {
  const char* name;
  Tree before;
  std::vector<std::string> arguments;  // after "trackmaps"
  int exitCode;
  // The report: one line per track "path action-or-state map_name", then "clash NAME: paths".
  // Empty: stdout must be empty.
  std::string report;
  Tree after;                          // the whole tree afterwards
  const char* hold = nullptr;          // a track another program holds to itself meanwhile
  const char* folder = nullptr;        // a folder named like a track
  const char* linkedBackup = nullptr;  // a track whose backup name is a second link to it
  const char* linkPath = nullptr;      // a symbolic link,
  const char* linkTarget = nullptr;    // and where it leads
  bool posixOnly = false;
};

// Paths in the report use '/', whatever the platform printed.
std::string Slashes(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::string Text(const Json& value) { return value.is_null() ? "-" : value.get<std::string>(); }

// The JSON document in the scenarios' short form, after checking its shape key by key.
std::string Summary(const std::string& run, const Json& document) {
  const std::set<std::string> trackKeys =
      run == "scan"  ? std::set<std::string>{"path", "state", "kind", "map_name", "error"}
      : run == "fix" ? std::set<std::string>{"path",   "action", "map_name", "previous_map_name",
                                             "reason", "error"}
                     : std::set<std::string>{"path", "action", "reason", "error"};
  std::set<std::string> topKeys = {"tracks"};
  if (run != "restore") topKeys.insert("clashes");
  if (run == "scan") topKeys.insert("leftovers");
  std::set<std::string> keys;
  for (const auto& item : document.items()) keys.insert(item.key());
  EXPECT_EQ(keys, topKeys);
  std::string summary;
  for (const Json& track : document["tracks"]) {
    keys.clear();
    for (const auto& item : track.items()) keys.insert(item.key());
    EXPECT_EQ(keys, trackKeys);
    summary += Slashes(track["path"]) + " " + Text(track[run == "scan" ? "state" : "action"]);
    if (run != "restore") summary += " " + Text(track["map_name"]);
    summary += "\n";
  }
  if (run != "restore") {
    for (const Json& clash : document["clashes"]) {
      summary += "clash " + clash["map_name"].get<std::string>() + ":";
      for (const Json& path : clash["paths"]) summary += " " + Slashes(path);
      summary += "\n";
    }
  }
  if (run == "scan") {
    for (const Json& path : document["leftovers"]) summary += "leftover " + Slashes(path) + "\n";
  }
  return summary;
}

Tree ReadTree(const std::string& root) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!fs::is_regular_file(entry.path())) continue;
    std::string content;
    EXPECT_TRUE(ReadBytes(entry.path().string(), content));
    tree[Slashes(entry.path().lexically_relative(root).string())] = content;
  }
  return tree;
}

std::map<std::string, fs::file_time_type> Times(const std::string& root) {
  std::map<std::string, fs::file_time_type> times;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      times[Slashes(entry.path().lexically_relative(root).string())] =
          fs::last_write_time(entry.path());
    }
  }
  return times;
}

struct CommandRun {
  int code = -1;
  std::string out;
  std::string err;
};

CommandRun RunCommand(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv = {"trackmaps"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  std::ostringstream out;
  std::ostringstream err;
  CommandRun run;
  run.code = RunTrackmaps(static_cast<int>(argv.size()), argv.data(), out, err, false);
  run.out = out.str();
  run.err = err.str();
  return run;
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> all;
  {
    Scenario s{"EveryStateAndItsExitCode", {}, {"scan", "--json"}, 2, "", {}};
    s.before["a/Hill.PAK"] = Stock();
    AddFixed(s.before, "b/Hill.PAK", "Hill00007Map");
    s.before["c/Odd.pak"] = "no stock name";
    s.before["d/Wrong.PAK"] = Fixed("Wron00007Map");
    s.before["d/Wrong.PAK.bak"] = Stock() + "x";  // not the same length: not its original
    s.before["e/Both.PAK"] = Stock() + S;
    s.before["f/.pak"] = Stock(S);
    s.before["f/notes.txt"] = Stock();
    s.folder = "g/Folder.PAK";
    s.after = s.before;
    s.report =
        "a/Hill.PAK stock National_Map\nb/Hill.PAK fixed Hill00007Map\nc/Odd.pak unverified -\n"
        "d/Wrong.PAK unverified -\ne/Both.PAK stock National_Map\nf/.pak stock Supercross_Map\n"
        "g/Folder.PAK error -\n"
        "clash National_Map: a/Hill.PAK e/Both.PAK\nclash Supercross_Map: f/.pak\n";
    all.push_back(s);
  }
  {
    Scenario s{"ClashAcrossFoldersIsWork", {}, {"scan", "--json", "a", "b"}, 1, "", {}};
    AddFixed(s.before, "a/Hill.PAK", "Hill00007Map");
    AddFixed(s.before, "b/Hill.PAK", "Hill00007Map");
    AddFixed(s.before, "b/Dale.PAK", "Dale00007Map");
    s.after = s.before;
    s.report =
        "a/Hill.PAK fixed Hill00007Map\nb/Dale.PAK fixed Dale00007Map\n"
        "b/Hill.PAK fixed Hill00007Map\nclash Hill00007Map: a/Hill.PAK b/Hill.PAK\n";
    all.push_back(s);
  }
  {
    Scenario s{
        "TrackReachedTwiceIsListedOnce", {}, {"scan", "--json", "a", "a/Hill.PAK"}, 0, "", {}};
    AddFixed(s.before, "a/Hill.PAK", "Hill00007Map");
    s.before["a/Hill.PAK.trackmaps-0000beef.tmp"] = "left by a killed run";
    s.after = s.before;
    s.report = "a/Hill.PAK fixed Hill00007Map\nleftover a/Hill.PAK.trackmaps-0000beef.tmp\n";
    all.push_back(s);
  }
  {
    Scenario s{"FixGivesSameNamedTracksDistinctNames", {}, {"fix", "--json"}, 0, "", {}};
    s.before["a/Hill.PAK"] = Stock();
    s.before["b/Hill.PAK"] = Stock();
    s.before["c/Hill.PAK"] = Stock();
    AddFixed(s.before, "d/Hill.PAK", "Hill00009Map");  // taken: the digit after 8 wraps to 0
    s.before["e/Canyon Run 2.PAK"] = Stock(S);
    s.before["e/.PAK"] = Stock(S);
    s.after = s.before;
    AddFixed(s.after, "a/Hill.PAK", "Hill00007Map");
    AddFixed(s.after, "b/Hill.PAK", "Hill00008Map");
    AddFixed(s.after, "c/Hill.PAK", "Hill00000Map");
    AddFixed(s.after, "e/Canyon Run 2.PAK", "Caon_Run_27Map", S);
    AddFixed(s.after, "e/.PAK", "00000000007Map", S);
    s.report =
        "a/Hill.PAK fixed Hill00007Map\nb/Hill.PAK fixed Hill00008Map\n"
        "c/Hill.PAK fixed Hill00000Map\nd/Hill.PAK unchanged Hill00009Map\n"
        "e/.PAK fixed 00000000007Map\ne/Canyon Run 2.PAK fixed Caon_Run_27Map\n";
    all.push_back(s);
  }
  {
    // Only x is named: the ten fixed tracks elsewhere are not part of this run.
    Scenario s{"OnlyTheNamedTracksCount", {}, {"fix", "--json", "x"}, 0, "", {}};
    for (char digit = '0'; digit <= '9'; ++digit) {
      AddFixed(s.before, std::string("t/H") + digit + "/Hill.PAK",
               std::string("Hill0000") + digit + "Map");
    }
    s.before["x/Hill.PAK"] = Stock();
    s.before["x/y/Hill.PAK"] = Stock();
    s.after = s.before;
    AddFixed(s.after, "x/Hill.PAK", "Hill00007Map");
    AddFixed(s.after, "x/y/Hill.PAK", "Hill00008Map");
    s.report = "x/Hill.PAK fixed Hill00007Map\nx/y/Hill.PAK fixed Hill00008Map\n";
    all.push_back(s);
    // Over the whole collection the ten names are taken.
    Scenario whole{
        "AllTenDigitsTakenOverTheWholeCollection", s.before, {"fix", "--json"}, 0, "", s.before};
    AddFixed(whole.after, "x/Hill.PAK", "Hill00017Map");
    AddFixed(whole.after, "x/y/Hill.PAK", "Hill00018Map");
    for (char digit = '0'; digit <= '9'; ++digit) {
      whole.report += std::string("t/H") + digit + "/Hill.PAK unchanged Hill0000" + digit + "Map\n";
    }
    whole.report += "x/Hill.PAK fixed Hill00017Map\nx/y/Hill.PAK fixed Hill00018Map\n";
    all.push_back(whole);
  }
  {
    Scenario s{
        "RefixGivesTheLaterClashingTrackANewName", {}, {"fix", "--refix", "--json"}, 0, "", {}};
    AddFixed(s.before, "a/Hill.PAK", "Hill00007Map");
    AddFixed(s.before, "b/Hill.PAK", "Hill00007Map");
    s.after = s.before;
    AddFixed(s.after, "b/Hill.PAK", "Hill00008Map");
    s.report = "a/Hill.PAK unchanged Hill00007Map\nb/Hill.PAK refixed Hill00008Map\n";
    all.push_back(s);
    Scenario plain{"PlainFixReportsTheClashItLeaves", s.before, {"fix", "--json"}, 1, "", s.before};
    plain.report =
        "a/Hill.PAK unchanged Hill00007Map\nb/Hill.PAK unchanged Hill00007Map\n"
        "clash Hill00007Map: a/Hill.PAK b/Hill.PAK\n";
    all.push_back(plain);
    Scenario dry{"DryRunTouchesNothing",
                 s.before,
                 {"fix", "--refix", "--dry-run", "--json"},
                 0,
                 "",
                 s.before};
    dry.before["c/Dale.PAK"] = Stock();
    dry.after = dry.before;
    dry.report =
        "a/Hill.PAK unchanged Hill00007Map\nb/Hill.PAK would-refix Hill00008Map\n"
        "c/Dale.PAK would-fix Dale00007Map\n";
    all.push_back(dry);
  }
  {
    Scenario s{"RestorePutsTheOriginalBack", {}, {"restore", "--json"}, 0, "", {}};
    AddFixed(s.before, "a/Hill.PAK", "Hill00007Map");
    s.before["b/Dale.PAK"] = Stock();
    s.before["c/Odd.PAK"] = "no stock name";
    s.after = s.before;
    s.after.erase("a/Hill.PAK.bak");
    s.after["a/Hill.PAK"] = Stock();
    s.report = "a/Hill.PAK restored\nb/Dale.PAK unchanged\nc/Odd.PAK unchanged\n";
    all.push_back(s);
    Scenario dry{"RestoreDryRunTouchesNothing",
                 s.before,
                 {"restore", "--dry-run", "--json"},
                 0,
                 "",
                 s.before};
    dry.report = "a/Hill.PAK would-restore\nb/Dale.PAK unchanged\nc/Odd.PAK unchanged\n";
    all.push_back(dry);
  }
  {
    Scenario s{"DifferingBackupIsRefusedUntouched", {}, {"fix", "--json"}, 1, "", {}};
    s.before["a/Hill.PAK"] = Stock();
    s.before["a/Hill.PAK.bak"] = "someone's own copy";
    s.before["b/Dale.PAK"] = Stock();
    s.before["b/Dale.PAK.bak"] = Stock();  // the same bytes: replaced
    s.before["c/Both.PAK"] = Stock() + S;
    s.after = s.before;
    AddFixed(s.after, "b/Dale.PAK", "Dale00007Map");
    s.report =
        "a/Hill.PAK failed -\nb/Dale.PAK fixed Dale00007Map\nc/Both.PAK failed -\n"
        "clash National_Map: a/Hill.PAK c/Both.PAK\n";
    all.push_back(s);
  }
  {
    Scenario s{"LockedTrackFailsTheRestGoOn", {}, {"fix", "--json"}, 1, "", {}};
    s.before["a/Hill.PAK"] = Stock();
    s.before["b/Dale.PAK"] = Stock();
    s.hold = "a/Hill.PAK";
    s.after = s.before;
    AddFixed(s.after, "b/Dale.PAK", "Dale00007Map");
    // The scan before the fix already cannot read it: it carries no known name afterwards.
    s.report = "a/Hill.PAK failed -\nb/Dale.PAK fixed Dale00007Map\n";
    all.push_back(s);
  }
  {
    // What a run killed between linking the backup and renaming leaves: the next run goes on.
    Scenario s{"BackupThatIsASecondLinkToTheTrack", {}, {"fix", "--json"}, 0, "", {}};
    s.before["a/Hill.PAK"] = Stock();
    s.linkedBackup = "a/Hill.PAK";
    s.after = s.before;
    AddFixed(s.after, "a/Hill.PAK", "Hill00007Map");
    s.report = "a/Hill.PAK fixed Hill00007Map\n";
    all.push_back(s);
    Scenario own{"TrackThatIsALinkToItsOwnBackupIsRefused", {}, {"fix", "--json"}, 1, "", {}};
    own.before["a/Hill.PAK.bak"] = Stock();
    own.linkPath = "a/Hill.PAK";
    own.linkTarget = "Hill.PAK.bak";
    own.after = own.before;
    own.after["a/Hill.PAK"] = Stock();
    own.report = "a/Hill.PAK failed -\nclash National_Map: a/Hill.PAK\n";
    own.posixOnly = true;
    all.push_back(own);
    Scenario reverse{"BackupThatIsALinkToItsTrackIsRefused", {}, {"fix", "--json"}, 1, "", {}};
    reverse.before["a/Hill.PAK"] = Stock();
    reverse.linkPath = "a/Hill.PAK.bak";
    reverse.linkTarget = "Hill.PAK";
    reverse.after = reverse.before;
    reverse.after["a/Hill.PAK.bak"] = Stock();
    reverse.report = "a/Hill.PAK failed -\nclash National_Map: a/Hill.PAK\n";
    reverse.posixOnly = true;
    all.push_back(reverse);
  }
  {
    Scenario s{"MissingPathIsAUsageError", {}, {"fix", "--json", "a", "nowhere"}, 2, "", {}};
    s.before["a/Hill.PAK"] = Stock();
    s.after = s.before;
    all.push_back(s);
    Scenario named{"NamedFileNotATrackIsAUsageError",
                   s.before,
                   {"scan", "a/Hill.PAK", "a/x.txt"},
                   2,
                   "",
                   s.before};
    named.before["a/x.txt"] = Stock();
    named.after = named.before;
    all.push_back(named);
  }
  {
    Scenario s{"PathBytesThatAreNotUtf8", {}, {"scan", "--json"}, 1, "", {}};
    s.before["\xff\xfe.pak"] = Stock();
    s.after = s.before;
    s.report =
        "\xef\xbf\xbd\xef\xbf\xbd.pak stock National_Map\nclash National_Map: "
        "\xef\xbf\xbd\xef\xbf\xbd.pak\n";
    s.posixOnly = true;
    all.push_back(s);
  }
  return all;
}

class ScenarioTest : public TempFolderTest {};

TEST_F(ScenarioTest, EveryScenario) {
  const fs::path start = fs::current_path();
  for (const Scenario& scenario : Scenarios()) {
    SCOPED_TRACE(scenario.name);
    if (scenario.posixOnly && kSeparator[0] != '/') continue;
    const std::string root = PathOf(scenario.name);
    ASSERT_TRUE(MakeDirectory(root));
    for (const auto& file : scenario.before) {
      fs::create_directories(fs::path(root + "/" + file.first).parent_path());
      ASSERT_TRUE(WriteBytes(root + kSeparator + file.first, file.second));
    }
    if (scenario.folder != nullptr) fs::create_directories(root + "/" + scenario.folder);
    if (scenario.linkedBackup != nullptr) {
      const std::string track = root + kSeparator + scenario.linkedBackup;
      fs::create_hard_link(track, track + ".bak");
    }
    if (scenario.linkPath != nullptr) {
      fs::create_symlink(scenario.linkTarget, root + "/" + scenario.linkPath);
    }
    const auto timesBefore = Times(root);
    CommandRun run;
    {
      ExclusiveHold hold;
      if (scenario.hold != nullptr) {
        ASSERT_TRUE(HoldExclusive(root + kSeparator + scenario.hold, hold));
      }
      PinClockDigit(7);
      fs::current_path(root);
      run = RunCommand(scenario.arguments);
      fs::current_path(start);
      PinClockDigit(-1);
    }

    EXPECT_EQ(run.code, scenario.exitCode) << run.err;
    if (scenario.report.empty()) {
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    } else {
      const Json document = Json::parse(run.out, nullptr, false);
      ASSERT_FALSE(document.is_discarded()) << run.out;
      EXPECT_EQ(Summary(scenario.arguments[0], document), scenario.report) << run.out;
    }
    EXPECT_EQ(ReadTree(root), scenario.after);
    const auto timesAfter = Times(root);
    // A file keeps its time when it and its track keep their bytes.
    const auto same = [&scenario](const std::string& path) {
      const auto before = scenario.before.find(path);
      const auto after = scenario.after.find(path);
      return before == scenario.before.end() ||
             (after != scenario.after.end() && after->second == before->second);
    };
    for (const auto& file : scenario.before) {
      const bool backup =
          file.first.size() > 4 && file.first.substr(file.first.size() - 4) == ".bak";
      if (same(file.first) && same(backup ? file.first.substr(0, file.first.size() - 4) : "")) {
        EXPECT_TRUE(timesAfter.at(file.first) == timesBefore.at(file.first)) << file.first;
      }
    }
  }
}

// After a fix with --refix over any collection in which no track failed, a scan finds no clash.
TEST_F(ScenarioTest, RefixLeavesNoClash) {
  const fs::path start = fs::current_path();
  Tree tree;
  for (char digit = '0'; digit <= '9'; ++digit) {
    AddFixed(tree, std::string("t") + digit + "/Hill.PAK", "Hill00007Map");
    tree[std::string("s") + digit + "/Hill.PAK"] = Stock();
    tree[std::string("s") + digit + "/abcdefghijk.PAK"] = Stock(S);
    tree[std::string("s") + digit + "/abXdefghijk.PAK"] = Stock(S);
  }
  for (const auto& file : tree) {
    fs::create_directories(fs::path(folder_ + "/" + file.first).parent_path());
    ASSERT_TRUE(WriteBytes(folder_ + kSeparator + file.first, file.second));
  }
  fs::current_path(folder_);
  const CommandRun fix = RunCommand({"fix", "--refix"});
  const CommandRun scan = RunCommand({"scan", "--json"});
  fs::current_path(start);
  EXPECT_EQ(fix.code, 0) << fix.out;
  EXPECT_EQ(scan.code, 0) << scan.out;
  const Json document = Json::parse(scan.out);
  EXPECT_EQ(document["clashes"].size(), 0u);
  EXPECT_EQ(document["tracks"].size(), 40u);
  for (const Json& track : document["tracks"]) EXPECT_EQ(track["state"], "fixed");
}

// Runs the command in folder (as the current folder).
CommandRun RunIn(const std::string& folder, const std::vector<std::string>& arguments) {
  const fs::path start = fs::current_path();
  fs::current_path(folder);
  PinClockDigit(7);
  const CommandRun run = RunCommand(arguments);
  PinClockDigit(-1);
  fs::current_path(start);
  return run;
}

// A sparse track past 4 GiB with its stock name in its last bytes: found, fixed (its holes
// stay holes) and verified, in the same small memory as any track. Run alone, first in its
// process, so that the peak belongs to it.
TEST_F(ScenarioTest, LargeTrackPast4GiBInSmallMemory) {
  const std::int64_t size = (std::int64_t{1} << 32) + 100;
  const std::string tail = "x;  The National_Map;  The Sun National_Map";
  const std::string fixedTail = "x;  The Hill00007Map;TDFIX   1 Hill00007Map";
  const std::string track = PathOf("Hill.PAK");
  ASSERT_TRUE(MakeSparseFile(track, size, tail));
  // The sanitizers' shadow memory would count too: plain builds measure.
#ifndef TMF_SANITIZE
  const std::size_t before = ResidentBytes();
#endif
  const CommandRun fix = RunIn(folder_, {"fix"});
  EXPECT_EQ(fix.code, 0) << fix.out << fix.err;
#ifndef TMF_SANITIZE
  EXPECT_LE(PeakResidentBytes(), before + (std::size_t{16} << 20));
#endif
  std::string bytes;
  ASSERT_TRUE(ReadRange(track, size - tail.size(), tail.size(), bytes));
  EXPECT_EQ(bytes, fixedTail);
  EXPECT_EQ(SizeOf(track), size);
  ASSERT_TRUE(ReadRange(track + ".bak", size - tail.size(), tail.size(), bytes));
  EXPECT_EQ(bytes, tail);
  EXPECT_EQ(SizeOf(track + ".bak"), size);

  const CommandRun scan = RunIn(folder_, {"scan", "--json"});
  EXPECT_EQ(scan.code, 0);
  const Json document = Json::parse(scan.out);
  EXPECT_EQ(document["tracks"][0]["state"], "fixed");
  EXPECT_EQ(document["tracks"][0]["map_name"], "Hill00007Map");
}

// The fix writes a stock track from the places its scan recorded (or, above the cap, from a
// second reading), and the scan of the fixed track compares it with its backup in windows: both
// must give the streaming repair's result wherever the names and sites lie. Each track is a
// little over two windows of filler with strings placed at given offsets.
TEST_F(ScenarioTest, RecordedPlacesGiveTheStreamingResult) {
  const std::int64_t w = std::int64_t{1} << 20;  // the window
  struct Placed {
    std::int64_t at;
    std::string text;
  };
  struct Case {
    const char* name;
    const char* file;  // the track's name, which makes its new name
    std::vector<Placed> placed;
    bool recorded;  // the scan keeps every place (false: over the cap)
    const char* scannedAs = "fixed";
  };
  std::vector<Placed> many;  // names and sites 20 bytes apart: more places than the cap
  for (std::int64_t at = 1000; many.size() < 4200; at += 20) {
    many.push_back({at, many.size() % 2 == 0 ? N : kSite});
  }
  std::vector<Placed> packed;  // names back to back across the seam: one cluster, 400 bytes long
  for (std::int64_t at = w - 200; at < w + 200; at += static_cast<std::int64_t>(N.size())) {
    packed.push_back({at, N});
  }
  const std::vector<Case> cases = {
      {"NameAcrossTheSeam",
       "Hill.PAK",
       {{10, N}, {w - 6, N}, {w + 20, kSite}, {2 * w + 5, N}},
       true},
      {"SupercrossAcrossTheSeam", "Dale.PAK", {{w - 13, S}, {w - 30, kSite}, {2 * w - 1, S}}, true},
      {"SiteAcrossTheSeam", "Hill.PAK", {{w - 4, kSite}, {w + 40, N}}, true},
      // ";  The " + the new name "Sun0..." is a site; here across the seam.
      {"SiteCompletedByTheNewName", "Sun.PAK", {{100, N}, {w - 9, ";  The " + N}}, true},
      // Where the first name is, the marker now covers part of it: the name it carries is lost.
      {"FirstNameUnderAMarker", "Sun.PAK", {{100, ";  The " + N}}, true, "unverified"},
      {"NamesPackedAcrossTheSeam", "Hill.PAK", packed, true},
      {"MorePlacesThanTheCap", "Hill.PAK", many, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = PathOf(c.name);
    ASSERT_TRUE(MakeDirectory(folder));
    std::string content(static_cast<std::size_t>(2 * w + 100), 'x');
    for (const Placed& p : c.placed)
      content.replace(static_cast<std::size_t>(p.at), p.text.size(), p.text);
    const std::string track = folder + kSeparator + c.file;
    ASSERT_TRUE(WriteBytes(track, content));
    // A track of three windows tells progress within it, not only at its end.
    std::size_t within = 0;
    const collection::Progress count = [&within](const collection::ProgressStep& step) {
      within += step.tracksDone == 0 && step.bytesDone > 0 && step.bytesDone < step.bytesTotal;
      return true;
    };
    const std::vector<collection::Track> scanned = collection::ScanTracks({track}, count);
    ASSERT_EQ(scanned.size(), 1u);
    EXPECT_EQ(scanned[0].places.complete, c.recorded);
    EXPECT_GE(within, 2u);

    const CommandRun fix = RunIn(folder, {"fix", "--json"});
    ASSERT_EQ(fix.code, 0) << fix.out << fix.err;
    const std::string name = Json::parse(fix.out)["tracks"][0]["map_name"];
    const std::string stock = content.find(S) != std::string::npos ? S : N;
    std::string expected = content;
    for (const auto& replace : {std::make_pair(stock, name), std::make_pair(kSite, kMarker)}) {
      for (std::size_t at = expected.find(replace.first); at != std::string::npos;
           at = expected.find(replace.first, at + replace.first.size())) {
        expected.replace(at, replace.first.size(), replace.second);
      }
    }
    EXPECT_TRUE(ReadTree(folder) ==
                (Tree{{c.file, expected}, {std::string(c.file) + ".bak", content}}));
    // The new name completed a site: a marker where the track had no site.
    if (std::string(c.file) == "Sun.PAK") {
      EXPECT_EQ(content.find(kSite), std::string::npos);
      EXPECT_NE(expected.find(kMarker), std::string::npos);
    }

    const CommandRun scan = RunIn(folder, {"scan", "--json"});
    EXPECT_EQ(scan.code, 0) << scan.out;
    const Json document = Json::parse(scan.out);
    EXPECT_EQ(document["tracks"][0]["state"], c.scannedAs);
    if (std::string(c.scannedAs) == "fixed") {
      EXPECT_EQ(document["tracks"][0]["map_name"], name);
    }
  }
}

// A disk with no room left (the small tmpfs that full-disk.sh mounts and names in
// TMF_FULL_DISK): the track whose copy does not fit fails with its bytes as they were and no
// temporary file left; the one that fits is fixed.
TEST(FullDiskTest, TheTrackThatDoesNotFitFailsTheRestGoOn) {
  const char* disk = std::getenv("TMF_FULL_DISK");
  if (disk == nullptr || *disk == '\0') GTEST_SKIP() << "needs the disk that disks.sh mounts";
  const std::string folder = std::string(disk) + kSeparator + "collection";
  ASSERT_TRUE(MakeDirectory(folder));
  const std::string big = std::string(150 * 1024, 'x') + Stock();
  ASSERT_TRUE(WriteBytes(folder + kSeparator + "Big.PAK", big));
  ASSERT_TRUE(WriteBytes(folder + kSeparator + "Small.PAK", Stock()));

  const CommandRun fix = RunIn(folder, {"fix", "--json"});
  EXPECT_EQ(fix.code, 1);
  const Json document = Json::parse(fix.out);
  EXPECT_EQ(document["tracks"][0]["action"], "failed") << fix.out;
  EXPECT_EQ(document["tracks"][0]["error"], "disk full") << fix.out;
  EXPECT_EQ(document["tracks"][1]["action"], "fixed") << fix.out;
  Tree expected = {{"Big.PAK", big}};
  AddFixed(expected, "Small.PAK", "Small0007Map");
  const Tree after = ReadTree(folder);
  EXPECT_TRUE(after == expected);  // not printed: a hundred KiB of filler
  for (const auto& file : after) {
    EXPECT_TRUE(expected.count(file.first) > 0 && expected.at(file.first) == file.second)
        << file.first << ": " << file.second.size() << " bytes";
  }
  RemoveTree(folder);
}

// A FAT disk (named in TMF_FAT_DISK by disks.sh) has no hard links and no rename that refuses
// to replace: the fix takes the dialog's order there, the original whole at the backup, and
// restore puts it back.
TEST(FullDiskTest, NoHardLinksTheOriginalStillKeepsItsBackup) {
  const char* disk = std::getenv("TMF_FAT_DISK");
  if (disk == nullptr || *disk == '\0') GTEST_SKIP() << "needs the FAT disk that disks.sh mounts";
  const std::string folder = std::string(disk) + kSeparator + "fat";
  ASSERT_TRUE(MakeDirectory(folder));
  ASSERT_TRUE(WriteBytes(folder + kSeparator + "HILL.PAK", Stock()));

  const CommandRun fix = RunIn(folder, {"fix", "--json"});
  const Json fixed = Json::parse(fix.out, nullptr, false);
  ASSERT_FALSE(fixed.is_discarded()) << fix.out;
  if (kSeparator[0] != '/' && fixed["tracks"][0]["action"] == "failed") {
    // Wine here reports the FUSE disk's refusals (to grow a file by truncation, to link) as access
    // denied, as for any folder it may not write to: the track fails with everything as it was.
    // In the 32-bit tests' VM the same disk took the fix, which then goes on as natively.
    EXPECT_EQ(fix.code, 1) << fix.out << fix.err;
    EXPECT_EQ(fixed["tracks"][0]["action"], "failed") << fix.out;
    EXPECT_EQ(fixed["tracks"][0]["error"], "permission denied") << fix.out;
    EXPECT_EQ(ReadTree(folder), (Tree{{"HILL.PAK", Stock()}}));
    RemoveTree(folder);
    return;
  }
  EXPECT_EQ(fix.code, 0) << fix.out << fix.err;
  EXPECT_EQ(fixed["tracks"][0]["action"], "fixed") << fix.out;
  EXPECT_EQ(fixed["tracks"][0]["map_name"], "HILL00007Map") << fix.out;
  Tree expected;
  AddFixed(expected, "HILL.PAK", "HILL00007Map");
  // FAT keeps names in upper case: compare without regard to how the names are spelt.
  const auto upper = [](const Tree& tree) {
    Tree result;
    for (const auto& file : tree) {
      std::string name = file.first;
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      result[name] = file.second;
    }
    return result;
  };
  EXPECT_EQ(upper(ReadTree(folder)), upper(expected));

  const CommandRun restore = RunIn(folder, {"restore", "--json"});
  EXPECT_EQ(restore.code, 0) << restore.out << restore.err;
  const Json restored = Json::parse(restore.out, nullptr, false);
  ASSERT_FALSE(restored.is_discarded()) << restore.out;
  EXPECT_EQ(restored["tracks"][0]["action"], "restored") << restore.out;
  EXPECT_EQ(upper(ReadTree(folder)), upper(Tree{{"HILL.PAK", Stock()}}));
  RemoveTree(folder);
}

// Clears a folder's immutable flag on every path out of the test.
struct ImmutableFolder {
  std::string path;
  ~ImmutableFolder() {
    if (!path.empty()) SetImmutable(path, false);
  }
};

// A folder no one may add to or rename in: its track fails with the reason, untouched and with
// no temporary file left, and the track in another folder is fixed.
TEST_F(ScenarioTest, ReadOnlyFolderFailsItsTrackTheRestGoOn) {
  const std::string locked = PathOf("a");
  ASSERT_TRUE(MakeDirectory(locked));
  ASSERT_TRUE(MakeDirectory(PathOf("b")));
  ASSERT_TRUE(WriteBytes(locked + kSeparator + "Hill.PAK", Stock()));
  ASSERT_TRUE(WriteBytes(PathOf("b") + kSeparator + "Dale.PAK", Stock()));
  const auto timesBefore = Times(folder_);
  CommandRun fix;
  {
    ImmutableFolder guard;
    if (!SetImmutable(locked, true)) GTEST_SKIP() << "no immutable folders on this file system";
    guard.path = locked;
    fix = RunIn(folder_, {"fix", "--json"});
  }
  EXPECT_EQ(fix.code, 1) << fix.out << fix.err;
  const Json document = Json::parse(fix.out, nullptr, false);
  ASSERT_FALSE(document.is_discarded()) << fix.out;
  EXPECT_EQ(Summary("fix", document),
            "a/Hill.PAK failed -\nb/Dale.PAK fixed Dale00007Map\nclash National_Map: a/Hill.PAK\n");
  EXPECT_EQ(document["tracks"][0]["error"], "permission denied") << fix.out;
  Tree expected = {{"a/Hill.PAK", Stock()}};
  AddFixed(expected, "b/Dale.PAK", "Dale00007Map");
  EXPECT_EQ(ReadTree(folder_), expected);
  EXPECT_TRUE(Times(folder_).at("a/Hill.PAK") == timesBefore.at("a/Hill.PAK"));
}

// A folder the user may not read: every run names it on stderr, scan fails, and fix and restore
// go on with the rest but do not end well, since its tracks stayed as they were.
// Fault: a fix that skipped the folder exited 0, as if every track had been fixed.
TEST_F(ScenarioTest, UnreadableFolderIsNamedAndNoRunEndsWell) {
  const std::string hidden = PathOf("a");
  ASSERT_TRUE(MakeDirectory(hidden));
  ASSERT_TRUE(MakeDirectory(PathOf("b")));
  ASSERT_TRUE(WriteBytes(hidden + kSeparator + "Hill.PAK", Stock()));
  ASSERT_TRUE(WriteBytes(PathOf("b") + kSeparator + "Dale.PAK", Stock()));
  // Open to the ordinary user but for the one folder.
  if (!SetPermissions(hidden, 0) || !SetPermissions(PathOf("b"), 0777) ||
      !SetPermissions(PathOf("b") + kSeparator + "Dale.PAK", 0666)) {
    GTEST_SKIP() << "no permission bits here";
  }
  const std::string named = "trackmaps: cannot read the folder a (permission denied)\n";
  std::map<std::string, CommandRun> runs;
  {
    OrdinaryUser user;
    if (!user.ok()) GTEST_SKIP() << "needs root, to act as a user the folder shuts out";
    for (const std::string run : {"scan", "fix", "restore"}) runs[run] = RunIn(folder_, {run});
  }
  ASSERT_TRUE(SetPermissions(hidden, 0755));
  EXPECT_EQ(runs["scan"].code, 2) << runs["scan"].out;
  EXPECT_EQ(runs["fix"].code, 1) << runs["fix"].out;
  EXPECT_EQ(runs["restore"].code, 1) << runs["restore"].out;
  for (const auto& run : runs) EXPECT_EQ(run.second.err, named) << run.first;
  // The restore put Dale back; Hill was never touched.
  EXPECT_EQ(ReadTree(folder_), (Tree{{"a/Hill.PAK", Stock()}, {"b/Dale.PAK", Stock()}}));
}

// Another program saves a different track over the path: before the fix opens it (after the
// scan), and while its fixed copy waits to take the track's place. Either way that track fails,
// the other program's file stays as it saved it, and no backup nor temporary file is left.
TEST_F(ScenarioTest, TrackReplacedByAnotherProgramFailsNothingLost) {
  const std::string other = "another program's " + Stock(S);
  const auto replace = [&](const std::string& track) {
    const std::string saved = PathOf("saved.tmp");
    return WriteBytes(saved, other) && (fs::rename(saved, track), true);
  };
  struct Case {
    const char* name;
    bool duringFix;
    const char* error;
  };
  for (const Case& c : {Case{"AfterTheScan", false, "changed since it was scanned"},
                        Case{"WhileBeingFixed", true,
                             "the track was replaced while being fixed; nothing changed"}}) {
    SCOPED_TRACE(c.name);
    const std::string folder = PathOf(c.name);
    ASSERT_TRUE(MakeDirectory(folder));
    const std::string track = folder + kSeparator + "Hill.PAK";
    ASSERT_TRUE(WriteBytes(track, Stock()));
    const std::vector<collection::Track> tracks = collection::ScanTracks({track}, {});
    ASSERT_EQ(tracks.size(), 1u);
    ASSERT_EQ(tracks[0].state, collection::State::kStock);
    collection::FixOptions options;
    options.clockDigit = 7;
    bool replaced = false;
    std::string refused;
    if (!c.duringFix) replaced = replace(track);
    // Called once the copy is written and before any copy takes a track's place.
    const collection::Progress progress = [&](const collection::ProgressStep&) {
      if (!c.duringFix) return true;
      try {
        replaced = replace(track);
      } catch (const fs::filesystem_error& e) {
        refused = e.what();
      }
      return true;
    };
    const std::vector<collection::Outcome> outcomes =
        collection::FixTracks(tracks, options, progress);
    ASSERT_EQ(outcomes.size(), 1u);
    if (!replaced) {
      // Windows: the track is held open while its copy is written, so no one may replace it.
      EXPECT_NE(kSeparator[0], '/') << refused;
      EXPECT_EQ(outcomes[0].action, collection::Action::kFixed);
      Tree expected;
      AddFixed(expected, "Hill.PAK", "Hill00007Map");
      EXPECT_EQ(ReadTree(folder), expected);
      continue;
    }
    EXPECT_EQ(outcomes[0].action, collection::Action::kFailed);
    EXPECT_EQ(outcomes[0].error, c.error);
    EXPECT_EQ(outcomes[0].mapName, "");
    EXPECT_EQ(ReadTree(folder), (Tree{{"Hill.PAK", other}}));
  }
}

TEST(NamesTest, TheOdometerTurnsTheLastCharacterFirst) {
  std::set<std::string> taken;
  for (char digit = '0'; digit <= '9'; ++digit) {
    taken.insert(std::string("Hill0000") + digit + "Map");
    taken.insert(std::string("Hill0001") + digit + "Map");
  }
  EXPECT_EQ(collection::AllocateMapName("Hill0000", 3, taken), "Hill00023Map");
  for (char wheel : std::string("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ")) {
    for (char digit = '0'; digit <= '9'; ++digit) {
      taken.insert(std::string("Hill000") + wheel + digit + "Map");
    }
  }
  EXPECT_EQ(collection::AllocateMapName("Hill0000", 3, taken), "Hill00103Map");
  EXPECT_EQ(collection::MapStem("x/.PAK", collection::Kind::kSupercross), "0000000000");
  EXPECT_EQ(collection::MapStem("x/Canyon Run 2.PAK", collection::Kind::kNational), "Ca_Run_2");
}

}  // namespace

// A caller that asks to stop gets the track in hand finished and no other touched.
TEST_F(ScenarioTest, StopAsksForTheTrackInHandOnly) {
  const std::string folder = PathOf("stop");
  ASSERT_TRUE(MakeDirectory(folder));
  std::vector<std::string> paths;
  for (const char* name : {"A.PAK", "B.PAK", "C.PAK"}) {
    paths.push_back(folder + kSeparator + name);
    ASSERT_TRUE(WriteBytes(paths.back(), Stock()));
  }
  std::size_t told = 0;
  const collection::Progress stopAfterOne = [&](const collection::ProgressStep& step) {
    ++told;
    EXPECT_LE(step.bytesDone, step.bytesTotal);
    return step.tracksDone < 1;
  };
  EXPECT_EQ(collection::ScanTracks(paths, stopAfterOne).size(), 1u);
  const std::vector<collection::Track> tracks = collection::ScanTracks(paths, {});
  ASSERT_EQ(tracks.size(), 3u);
  collection::FixOptions options;
  options.clockDigit = 7;
  const std::vector<collection::Outcome> outcomes =
      collection::FixTracks(tracks, options, stopAfterOne);
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].action, collection::Action::kFixed);
  Tree expected = {{"B.PAK", Stock()}, {"C.PAK", Stock()}};
  AddFixed(expected, "A.PAK", outcomes[0].mapName);
  EXPECT_EQ(ReadTree(folder), expected);
  EXPECT_GE(told, 2u);
}
