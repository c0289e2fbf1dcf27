// The trackmaps command on real folders: each scenario lays out a collection, runs one command
// line, and checks the exit code, the report (as JSON, or that nothing reached stdout) and every
// file of the tree afterwards, byte for byte; files that should not change keep their times too.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "collection.h"
#include "command.h"
#include "disk.h"
#include "names.h"
#include "process_usage.h"
#include "progress_bar.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

const std::string N = "National_Map";
const std::string S = "Supercross_Map";
const std::string kSite = ";  The Sun";
const std::string kMarker = ";TDFIX   1";

// A stock track's bytes and the same track fixed with a name. A new name's first digit is the
// last digit of the track's size: these are padded to a size that ends in 7.
std::string Padding(const std::string& name) {
  const std::size_t size = 5 + 2 * name.size() + kSite.size() + 5;
  return std::string((17 - size % 10) % 10, '.');
}
std::string Stock(const std::string& name = N) {
  return "head " + name + kSite + " mid " + name + Padding(name);
}
std::string Fixed(const std::string& newName) {
  return "head " + newName + kMarker + " mid " + newName + Padding(newName);
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
  Tree after;                  // the whole tree afterwards
  const char* hold = nullptr;  // a track another program holds to itself meanwhile
  std::vector<std::pair<std::string, std::string>> hardLinks = {};  // a second name, the first
  const char* linkPath = nullptr;                                   // a symbolic link,
  const char* linkTarget = nullptr;                                 // and where it leads
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

std::string FromBase64(const std::string& text) {
  const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  unsigned long group = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    group = group << 6 | digits.find(c);
    if ((bits += 6) >= 8) bytes += static_cast<char>(group >> (bits -= 8) & 0xFF);
  }
  return bytes;
}

// A member's exact bytes: from KEY_base64 when the text of KEY lost some, else its text.
std::string Exact(const Json& object, const std::string& key) {
  const auto bytes = object.find(key + "_base64");
  return bytes == object.end() ? Text(object[key]) : FromBase64(*bytes);
}

// The keys of an object but its KEY_base64.
std::set<std::string> KeysOf(const Json& object) {
  std::set<std::string> keys;
  for (const auto& item : object.items()) {
    if (item.key().find("_base64") == std::string::npos) keys.insert(item.key());
  }
  return keys;
}

// The JSON document in the scenarios' short form, after checking its shape key by key.
std::string Summary(const std::string& run, const Json& document) {
  std::set<std::string> trackKeys =
      run == "scan" ? std::set<std::string>{"path", "state", "kind", "map_name", "error"}
      : run == "restore"
          ? std::set<std::string>{"path", "action", "reason", "error"}
          : std::set<std::string>{"path",   "action", "map_name", "previous_map_name",
                                  "reason", "error"};
  if (run == "add") trackKeys.insert("source");
  std::set<std::string> topKeys = {"tracks", "scope", "unreadable"};
  if (run != "restore") topKeys.insert("clashes");
  if (run == "scan") topKeys.insert({"leftovers", "orphans"});
  EXPECT_EQ(KeysOf(document), topKeys);
  std::string summary;
  for (const Json& track : document["tracks"]) {
    EXPECT_EQ(KeysOf(track), trackKeys);
    summary +=
        Slashes(Exact(track, "path")) + " " + Text(track[run == "scan" ? "state" : "action"]);
    if (run == "add") summary += " from " + Slashes(Exact(track, "source"));
    if (run != "restore") summary += " " + Exact(track, "map_name");
    summary += "\n";
  }
  if (run != "restore") {
    for (const Json& clash : document["clashes"]) {
      summary += "clash " + Exact(clash, "map_name") + ":";
      const Json& paths = clash.contains("paths_base64") ? clash["paths_base64"] : clash["paths"];
      for (const Json& path : paths) {
        summary += " " + Slashes(&paths == &clash["paths"] ? Text(path) : FromBase64(path));
      }
      summary += "\n";
    }
  }
  if (run == "scan") {
    for (const Json& path : document["leftovers"]) summary += "leftover " + Slashes(path) + "\n";
    for (const Json& path : document["orphans"]) summary += "orphan " + Slashes(path) + "\n";
  }
  for (const Json& folder : document["unreadable"]) {
    summary += "unreadable " + Slashes(folder["path"]) + " " + Text(folder["error"]) + "\n";
  }
  if (document["scope"] == "library") summary += "scope library\n";
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

CommandRun RunCommand(const std::vector<std::string>& arguments, const Console& console = {}) {
  std::vector<const char*> argv = {"trackmaps"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  std::ostringstream out;
  std::ostringstream err;
  CommandRun run;
  run.code = RunTrackmaps(static_cast<int>(argv.size()), argv.data(), out, err, console);
  run.out = out.str();
  run.err = err.str();
  return run;
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> all;
  {
    Scenario s{"EveryStateAndItsExitCode", {}, {"scan", "--json"}, 1, "", {}};
    s.before["a/Hill.PAK"] = Stock();
    AddFixed(s.before, "b/Hill.PAK", "Hill00007Map");
    s.before["c/Odd.pak"] = "no stock name";
    s.before["d/Wrong.PAK"] = Fixed("Wron00007Map");
    s.before["d/Wrong.PAK.bak"] = Stock() + "x";  // not the same length: not its original
    s.before["e/Both.PAK"] = Stock() + S;
    s.before["f/.pak"] = Stock(S);
    s.before["f/notes.txt"] = Stock();
    // A folder named like a track is searched, never a track; a backup alone is told.
    AddFixed(s.before, "g/Folder.PAK/In.pak", "In0000007Map");
    s.before["h/Gone.PAK.bak"] = Stock();
    s.after = s.before;
    s.report =
        "a/Hill.PAK stock National_Map\nb/Hill.PAK fixed Hill00007Map\nc/Odd.pak unverified -\n"
        "d/Wrong.PAK unverified -\ne/Both.PAK stock National_Map\nf/.pak stock Supercross_Map\n"
        "g/Folder.PAK/In.pak fixed In0000007Map\n"
        "clash National_Map: a/Hill.PAK e/Both.PAK\nclash Supercross_Map: f/.pak\n"
        "orphan h/Gone.PAK.bak\n";
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
    s.hardLinks = {{"a/Hill.PAK.bak", "a/Hill.PAK"}};
    s.after = s.before;
    AddFixed(s.after, "a/Hill.PAK", "Hill00007Map");
    s.report = "a/Hill.PAK fixed Hill00007Map\n";
    all.push_back(s);
    // Symbolic links, seen natively and hidden under Wine: each refused, the dry run as the real
    // run, nothing lost.
    struct Link {
      const char* name;
      const char* dryRunName;
      const char* file;    // the file the link leads to
      const char* link;    // the link
      const char* target;  // as the link names it
    };
    for (const Link& l : {Link{"TrackLinkedToItsOwnBackup", "TrackLinkedToItsOwnBackupDry",
                               "a/Hill.PAK.bak", "a/Hill.PAK", "Hill.PAK.bak"},
                          Link{"BackupLinkedToItsTrack", "BackupLinkedToItsTrackDry", "a/Hill.PAK",
                               "a/Hill.PAK.bak", "Hill.PAK"},
                          Link{"TrackLinkedIntoAnotherFolder", "TrackLinkedIntoAnotherFolderDry",
                               "far/Far.PAK", "a/Hill.PAK", "../far/Far.PAK"}}) {
      for (const bool dryRun : {false, true}) {
        Scenario link{dryRun ? l.dryRunName : l.name, {}, {"fix", "--json", "a"}, 1, "", {}};
        if (dryRun) link.arguments.insert(link.arguments.begin() + 1, "--dry-run");
        link.before[l.file] = Stock();
        link.linkPath = l.link;
        link.linkTarget = l.target;
        link.after = link.before;
        link.after[l.link] = Stock();
        link.report = "a/Hill.PAK failed -\nclash National_Map: a/Hill.PAK\n";
        all.push_back(link);
      }
    }
  }
  {
    // Every path is a track: a file under two names is two tracks, and the fix breaks the link,
    // each backup keeping the original.
    Scenario s{"HardLinkedTrackIsTwoTracks", {}, {"fix", "--json"}, 0, "", {}};
    s.before["h/a/x.PAK"] = Stock();
    s.hardLinks = {{"h/b/y.PAK", "h/a/x.PAK"}};
    AddFixed(s.after, "h/a/x.PAK", "x00000007Map");
    AddFixed(s.after, "h/b/y.PAK", "y00000007Map");
    s.report = "h/a/x.PAK fixed x00000007Map\nh/b/y.PAK fixed y00000007Map\n";
    all.push_back(s);
  }
  {
    // Part of a library: names are chosen free, and clashes judged, against all of it; without
    // the library the same run cannot know the other folder's name.
    Tree before;
    AddFixed(before, "lib/Desert/Hill.PAK", "Hill00007Map");
    before["lib/Forest/Hill.PAK"] = Stock();
    Scenario s{"PartOfALibrary",
               before,
               {"fix", "--json", "--library", "lib", "lib/Forest/Hill.PAK"},
               0,
               "",
               {}};
    s.after = before;
    AddFixed(s.after, "lib/Forest/Hill.PAK", "Hill00008Map");
    s.report = "lib/Forest/Hill.PAK fixed Hill00008Map\nscope library\n";
    all.push_back(s);
    Scenario alone{
        "PartOfALibraryWithoutIt", before, {"fix", "--json", "lib/Forest/Hill.PAK"}, 0, "", {}};
    alone.after = before;
    AddFixed(alone.after, "lib/Forest/Hill.PAK", "Hill00007Map");
    alone.report = "lib/Forest/Hill.PAK fixed Hill00007Map\n";
    all.push_back(alone);
    // A refix within the library gives the chosen track the new name, whatever the path order.
    Tree clashing = before;
    AddFixed(clashing, "lib/Forest/Hill.PAK", "Hill00007Map");
    Scenario refix{"RefixPartOfALibrary",
                   clashing,
                   {"fix", "--refix", "--json", "--library", "lib", "lib/Desert"},
                   0,
                   "",
                   {}};
    refix.after = clashing;
    AddFixed(refix.after, "lib/Desert/Hill.PAK", "Hill00008Map");
    refix.report = "lib/Desert/Hill.PAK refixed Hill00008Map\nscope library\n";
    all.push_back(refix);
    Scenario outside{"PathOutsideTheLibraryIsAUsageError",
                     before,
                     {"scan", "--json", "--library", "lib/Desert", "lib/Forest"},
                     2,
                     "",
                     before};
    all.push_back(outside);
  }
  {
    // A dry run predicts the real run: the first digit comes from the track's size (44 bytes).
    Tree before = {{"a/Hill.PAK", "head National_Map;  The Sun mid National_Map"}};
    for (const bool dryRun : {true, false}) {
      Scenario s{dryRun ? "DryRunNamesAsTheRunAfter" : "RunNamesAsTheDryRunBefore",
                 before,
                 {"fix", "--json"},
                 0,
                 "",
                 before};
      if (dryRun) s.arguments.push_back("--dry-run");
      if (!dryRun) {
        s.after["a/Hill.PAK"] = "head Hill00004Map;TDFIX   1 mid Hill00004Map";
        s.after["a/Hill.PAK.bak"] = before["a/Hill.PAK"];
      }
      s.report = std::string("a/Hill.PAK ") + (dryRun ? "would-fix" : "fixed") + " Hill00004Map\n";
      all.push_back(s);
    }
  }
  {
    // Downloads added to a library: each with a name free in the whole library, the download
    // only read, the original the new track's backup.
    Tree before;
    AddFixed(before, "lib/Desert/Hill.PAK", "Hill00007Map");
    before["dl/Hill.PAK"] = Stock();
    before["other/Hill.PAK"] = Stock(S);                 // another track of the same name
    AddFixed(before, "fixed/Dale.PAK", "Dale00007Map");  // its name is free: it comes as it is
    AddFixed(before, "fixed/Hill.PAK", "Hill00007Map");  // its name clashes: refixed
    before["odd/Hill.PAK"] = Fixed("Odd00000Map0");      // fixed, original unknown: refused
    for (const bool dryRun : {true, false}) {
      Scenario s{dryRun ? "AddDryRun" : "Add", before, {"add", "--json"}, 0, "", before};
      if (dryRun) s.arguments.push_back("--dry-run");
      s.arguments.insert(s.arguments.end(),
                         {"lib", "dl/Hill.PAK", "fixed/Dale.PAK", "odd/Hill.PAK"});
      s.exitCode = 1;
      if (!dryRun) {
        AddFixed(s.after, "lib/Hill.PAK", "Hill00008Map");
        AddFixed(s.after, "lib/Dale.PAK", "Dale00007Map");
      }
      s.report = std::string("lib/Hill.PAK ") + (dryRun ? "would-fix" : "fixed") +
                 " from dl/Hill.PAK Hill00008Map\nlib/Dale.PAK " +
                 (dryRun ? "would-add" : "added") + " from fixed/Dale.PAK Dale00007Map\n" +
                 "lib/Hill.PAK failed from odd/Hill.PAK -\nscope library\n";
      all.push_back(s);
    }
    // The same download again is already there; another of that name is refused; a fixed one
    // whose name the library carries is refixed from its original.
    Tree added = before;
    AddFixed(added, "lib/Hill.PAK", "Hill00008Map");
    Scenario again{"AddAgain", added, {"add", "--json", "lib", "dl/Hill.PAK", "other/Hill.PAK"},
                   1,          "",    added};
    again.report =
        "lib/Hill.PAK unchanged from dl/Hill.PAK Hill00008Map\n"
        "lib/Hill.PAK failed from other/Hill.PAK -\nscope library\n";
    all.push_back(again);
    Tree clash = before;
    clash.erase("lib/Desert/Hill.PAK");
    clash.erase("lib/Desert/Hill.PAK.bak");
    AddFixed(clash, "lib/Desert/Dale.PAK", "Hill00007Map");
    Scenario refix{
        "AddRefixesAClashingName", clash, {"add", "--json", "lib", "fixed/Hill.PAK"}, 0, "", clash};
    AddFixed(refix.after, "lib/Hill.PAK", "Hill00008Map");
    refix.report = "lib/Hill.PAK refixed from fixed/Hill.PAK Hill00008Map\nscope library\n";
    all.push_back(refix);
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
    // The JSON keeps the exact bytes of every text that is not UTF-8 (a Latin-1 file name, a map
    // name written by hand) beside its lossy form.
    Scenario s{"BytesThatAreNotUtf8AreKept", {}, {"scan", "--json"}, 1, "", {}};
    s.before["\xff\xfe.pak"] = Stock();
    s.before["Cr\xe8me.PAK"] = Stock();
    s.before["\xc0\xaf.pak"] = Stock();      // an overlong '/'
    s.before["\xed\xa0\x80.pak"] = Stock();  // a surrogate
    s.after = s.before;
    s.report =
        "Cr\xe8me.PAK stock National_Map\n\xc0\xaf.pak stock National_Map\n"
        "\xed\xa0\x80.pak stock National_Map\n\xff\xfe.pak stock National_Map\n"
        "clash National_Map: Cr\xe8me.PAK \xc0\xaf.pak \xed\xa0\x80.pak \xff\xfe.pak\n";
    s.posixOnly = true;
    all.push_back(s);
    Scenario name{"MapNameThatIsNotUtf8IsKept", {}, {"scan", "--json"}, 1, "", {}};
    const std::string hand = std::string("Hil\xe9") + "00007Map";  // fixed by hand
    AddFixed(name.before, "a/Hill.PAK", hand);
    AddFixed(name.before, "b/Hill.PAK", hand);
    name.after = name.before;
    name.report = "a/Hill.PAK fixed " + hand + "\nb/Hill.PAK fixed " + hand + "\nclash " + hand +
                  ": a/Hill.PAK b/Hill.PAK\n";
    all.push_back(name);
  }
  {
    // cmd.exe turns "My Tracks\" into My Tracks" (its \" is a quote): the folder is meant.
    Scenario s{"ArgumentWithAStrayQuote", {}, {"scan", "--json", "My Tracks\""}, 1, "", {}};
    s.before["My Tracks/Hill.PAK"] = Stock();
    s.after = s.before;
    s.report = "My Tracks/Hill.PAK stock National_Map\nclash National_Map: My Tracks/Hill.PAK\n";
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
    for (const auto& link : scenario.hardLinks) {
      fs::create_directories(fs::path(root + "/" + link.first).parent_path());
      fs::create_hard_link(root + "/" + link.second, root + "/" + link.first);
    }
    if (scenario.linkPath != nullptr) {
      std::string link = root + kSeparator + scenario.linkPath;
      std::replace(link.begin(), link.end(), '/', kSeparator[0]);
      fs::create_directories(fs::path(root + "/" + scenario.linkPath).parent_path());
      ASSERT_TRUE(MakeLink(scenario.linkTarget, link));
    }
    const auto timesBefore = Times(root);
    CommandRun run;
    {
      ExclusiveHold hold;
      if (scenario.hold != nullptr) {
        ASSERT_TRUE(HoldExclusive(root + kSeparator + scenario.hold, hold));
      }
      fs::current_path(root);
      run = RunCommand(scenario.arguments);
      fs::current_path(start);
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

// The report for people: each case a command line and a line the output must hold.
TEST_F(ScenarioTest, WhatPeopleSee) {
  const std::string sep = kSeparator;
  const bool windows = sep == "\\";
  Tree tree = {{"a/b/Hill.PAK", Stock()}};
  for (const char* path : {"c/Dale.PAK", "d/Dale.PAK"}) AddFixed(tree, path, "Dale00007Map");
  for (const char* path : {"e/Mine.PAK", "f/Mine.PAK"}) AddFixed(tree, path, "Mine00007Map");
  for (const auto& file : tree) {
    fs::create_directories(fs::path(folder_ + "/" + file.first).parent_path());
    ASSERT_TRUE(WriteBytes(folder_ + kSeparator + file.first, file.second));
  }
  struct Case {
    std::vector<std::string> arguments;
    bool explorer;
    int exitCode;
    std::string line;  // in the output, or (exit code 2) in the error
  } cases[] = {
      // From Explorer: with nothing, the help and where the window is; with paths, a scan.
      {{}, true, 0, "\nTo work in a window instead, start tracklibrary.exe (the Track Library).\n"},
      {{"a"}, true, 1, "stock      National_Map   a" + sep + "b" + sep + "Hill.PAK\n"},
      {{"/?"}, false, windows ? 0 : 2, windows ? "Usage: trackmaps" : "trackmaps: "},
      // One separator in a printed path, whichever the argument used.
      {{"scan", "a/b"}, false, 1, "stock      National_Map   a" + sep + "b" + sep + "Hill.PAK\n"},
      {{"fix", "--dry-run", "c", "d"}, false, 1, ", 1 clash remains\n"},
      {{"fix", "--dry-run"}, false, 1, ", 2 clashes remain\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    Console console;
    console.explorer = c.explorer;
    fs::current_path(folder_);
    const CommandRun run = RunCommand(c.arguments, console);
    fs::current_path(fs::temp_directory_path());
    EXPECT_EQ(run.code, c.exitCode) << run.out << run.err;
    const std::string& text = c.exitCode == 2 ? run.err : run.out;
    EXPECT_NE(text.find(c.line), std::string::npos) << text;
  }
  // Every line of every help fits a console of 80 columns.
  for (const char* command : {"", "scan", "fix", "restore", "add"}) {
    std::vector<std::string> arguments = {command, "--help"};
    if (*command == '\0') arguments.erase(arguments.begin());
    const CommandRun help = RunCommand(arguments);
    EXPECT_EQ(help.code, 0) << command;
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 79u) << line;
  }
}

// The progress of a large track, step by step: a line of one width for each step shown (at most
// ten a second, and at once for a new phase), spaces over it when its phase ends.
TEST(ProgressBarTest, DrawsAtMostTenTimesASecondWithoutEscapeCodes) {
  std::ostringstream err;
  const collection::Progress progress = ProgressBar(err, std::chrono::milliseconds(0));
  const auto step = [](collection::Phase phase, std::int64_t mebibytes, std::size_t done) {
    return collection::ProgressStep{phase, mebibytes << 20, std::int64_t{1024} << 20, done, 1};
  };
  const auto start = std::chrono::steady_clock::now();
  progress(step(collection::Phase::kScanning, 256, 0));
  progress(step(collection::Phase::kScanning, 300, 0));  // too soon after the last: not drawn
  const bool soon = std::chrono::steady_clock::now() - start < std::chrono::milliseconds(100);
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  progress(step(collection::Phase::kScanning, 512, 0));
  progress(step(collection::Phase::kScanning, 1024, 1));
  progress(step(collection::Phase::kFixing, 0, 0));
  const std::string wipe = "\r" + std::string(72, ' ') + "\r";
  const auto line = [](const std::string& text) {
    return "\r" + text + std::string(72 - text.size(), ' ');
  };
  if (!soon) GTEST_SKIP() << "the machine was too slow to tell";
  EXPECT_EQ(err.str(), line("scanning  [#####               ] 256.0 of 1024.0 MiB, 0/1 track") +
                           line("scanning  [##########          ] 512.0 of 1024.0 MiB, 0/1 track") +
                           wipe +
                           line("fixing    [                    ] 0.0 of 1024.0 MiB, 0/1 track"));
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
  const CommandRun run = RunCommand(arguments);
  fs::current_path(start);
  return run;
}

// A sparse track past 4 GiB with its stock name in its last bytes: found, fixed (its holes
// stay holes) and verified, in the same small memory as any track. Run alone, first in its
// process, so that the peak belongs to it.
TEST_F(ScenarioTest, LargeTrackPast4GiBInSmallMemory) {
  const std::int64_t size = (std::int64_t{1} << 32) + 101;  // its names try 7 first
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
// to replace. Natively the fix refuses there, with everything as it was: a look before a plain
// rename would race with any program that makes the backup's name in between. Windows' own
// rename never replaces, so under Wine the fix may take the dialog's order there, the original
// whole at the backup, and restore puts it back.
TEST(FullDiskTest, NoHardLinksTheOriginalStillKeepsItsBackup) {
  const char* disk = std::getenv("TMF_FAT_DISK");
  if (disk == nullptr || *disk == '\0') GTEST_SKIP() << "needs the FAT disk that disks.sh mounts";
  const std::string folder = std::string(disk) + kSeparator + "fat";
  ASSERT_TRUE(MakeDirectory(folder));
  ASSERT_TRUE(WriteBytes(folder + kSeparator + "HILL.PAK", Stock()));

  const CommandRun fix = RunIn(folder, {"fix", "--json"});
  const Json fixed = Json::parse(fix.out, nullptr, false);
  ASSERT_FALSE(fixed.is_discarded()) << fix.out;
  if (fixed["tracks"][0]["action"] == "failed") {
    // Wine here reports the FUSE disk's refusals (to grow a file by truncation, to link) as access
    // denied, as for any folder it may not write to.
    const char* reason = kSeparator[0] == '/' ? "the file system cannot rename without replacing"
                                              : "permission denied";
    EXPECT_EQ(fix.code, 1) << fix.out << fix.err;
    EXPECT_EQ(fixed["tracks"][0]["error"], reason) << fix.out;
    EXPECT_EQ(ReadTree(folder), (Tree{{"HILL.PAK", Stock()}}));
    RemoveTree(folder);
    return;
  }
  // In the 32-bit tests' VM the same disk took the fix under Wine.
  EXPECT_NE(kSeparator[0], '/') << fix.out;
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
    runs["scan"] = RunIn(folder_, {"scan", "--json"});
  }
  ASSERT_TRUE(SetPermissions(hidden, 0755));
  EXPECT_EQ(runs["scan"].code, 2) << runs["scan"].out;
  EXPECT_EQ(runs["fix"].code, 1) << runs["fix"].out;
  EXPECT_EQ(runs["restore"].code, 1) << runs["restore"].out;
  for (const auto& run : runs) EXPECT_EQ(run.second.err, named) << run.first;
  const Json document = Json::parse(runs["scan"].out, nullptr, false);
  ASSERT_FALSE(document.is_discarded()) << runs["scan"].out;
  EXPECT_EQ(document["unreadable"],
            Json::parse(R"([{"path": "a", "error": "permission denied"}])"));
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
}

// Stems from characters, not bytes: plain ASCII of the right length, whatever the name's code
// page, and ASCII names as the dialog makes them.
TEST(NamesTest, StemsAreBuiltFromCharacters) {
  using collection::Kind;
  struct Case {
    const char* name;
    Kind kind;
    const char* stem;
  };
  for (const Case& c : {
           Case{"x/.PAK", Kind::kSupercross, "0000000000"},
           Case{"x/Canyon Run 2.PAK", Kind::kNational, "Ca_Run_2"},
           Case{"Hill.pak", Kind::kNational, "Hill0000"},
           Case{"\xD0\xA2\xD1\x80\xD0\xB0\xD1\x81\xD1\x81\xD0\xB0.PAK", Kind::kNational,
                "______00"},  // Cyrillic, 6 characters
           Case{"\xE8\xB5\x9B\xE9\x81\x93.PAK", Kind::kSupercross, "__00000000"},  // Chinese
           Case{"Cr\xC3\xA8me.PAK", Kind::kNational, "Cr_me000"},                  // UTF-8 accent
           Case{"Cr\xE8me.PAK", Kind::kNational, "Cr_me000"},  // Latin-1: one byte
           Case{"\xC3\xA8\xC3\xA8\xC3\xA8\xC3\xA8\xC3\xA8"
                "abcdef.PAK",
                Kind::kNational, "__abcdef"},  // never cut inside a character
           Case{"a\tb.PAK", Kind::kNational, "a_b00000"},
       }) {
    EXPECT_EQ(collection::MapStem(c.name, c.kind), c.stem) << c.name;
  }
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
  const std::vector<collection::Outcome> outcomes =
      collection::FixTracks(tracks, options, stopAfterOne);
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].action, collection::Action::kFixed);
  Tree expected = {{"B.PAK", Stock()}, {"C.PAK", Stock()}};
  AddFixed(expected, "A.PAK", outcomes[0].mapName);
  EXPECT_EQ(ReadTree(folder), expected);
  EXPECT_GE(told, 2u);
}

namespace {

// A fixed track keeps the original's permission bits, whatever the process's umask.
// Fault: the fixed track of a 0600 original became 0644.
TEST_F(ScenarioTest, FixedTrackKeepsItsPermissionBits) {
  for (const unsigned bits : {0600u, 0640u, 0444u}) {
    const std::string folder = PathOf("bits" + std::to_string(bits));
    ASSERT_TRUE(MakeDirectory(folder));
    const std::string track = folder + kSeparator + "Hill.PAK";
    ASSERT_TRUE(WriteBytes(track, Stock()));
    if (!SetPermissions(track, bits)) GTEST_SKIP() << "no permission bits here";
    const CommandRun fix = RunIn(folder, {"fix"});
    EXPECT_EQ(fix.code, 0) << fix.out << fix.err;
    unsigned after = 0;
    ASSERT_TRUE(GetPermissions(track, after));
    EXPECT_EQ(after, bits) << fix.out;
    EXPECT_EQ(ContentOf(track), Fixed("Hill00007Map"));
  }
}

}  // namespace

namespace {

// Every file below root by its UTF-8 path, read through the wide calls on Windows.
Tree ReadTreeUtf8(const fs::path& root) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    tree[Slashes(entry.path().lexically_relative(root).u8string())] =
        std::string(std::istreambuf_iterator<char>(in), {});
  }
  return tree;
}

// Names outside any ANSI code page: Cyrillic, Chinese and a Latin-1 accent, through scan,
// fix and restore, each named exactly in the JSON and given a plain ASCII map name.
// Fault: on Windows such a name printed as "??.PAK" or failed with a bare error number.
TEST_F(ScenarioTest, NamesOutsideTheCodePage) {
  const fs::path root = fs::u8path(PathOf("names"));
  struct Case {
    std::string name;
    std::string mapName;
  };
  const std::vector<Case> cases = {
      {"\xD0\xA2\xD1\x80\xD0\xB0\xD1\x81\xD1\x81\xD0\xB0.PAK", "______007Map"},
      {"\xE8\xB5\x9B\xE9\x81\x93.PAK", "__0000007Map"},
      {"Cr\xC3\xA8me.PAK", "Cr_me0007Map"}};
  Tree before;
  for (const Case& c : cases) before[c.name] = Stock();
  fs::create_directories(root);
  for (const auto& file : before) {
    std::ofstream(root / fs::u8path(file.first), std::ios::binary) << file.second;
  }
  const std::string folder = root.u8string();
  const CommandRun scan = RunIn(folder, {"scan", "--json"});
  const Json scanned = Json::parse(scan.out, nullptr, false);
  ASSERT_FALSE(scanned.is_discarded()) << scan.out;
  std::string expected;
  for (const auto& file : before) expected += file.first + " stock National_Map\n";
  expected += "clash National_Map:";
  for (const auto& file : before) expected += " " + file.first;
  EXPECT_EQ(Summary("scan", scanned), expected + "\n");

  const CommandRun fix = RunIn(folder, {"fix", "--json"});
  EXPECT_EQ(fix.code, 0) << fix.out << fix.err;
  Tree fixed;
  for (const Case& c : cases) AddFixed(fixed, c.name, c.mapName);
  EXPECT_EQ(ReadTreeUtf8(root), fixed) << fix.out;

  const CommandRun restore = RunIn(folder, {"restore", "--json"});
  EXPECT_EQ(restore.code, 0) << restore.out << restore.err;
  EXPECT_EQ(ReadTreeUtf8(root), before);
}

}  // namespace
