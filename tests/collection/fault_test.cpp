// Makes each file call of `trackmaps fix`, `fix --refix` and `restore` fail in turn, in this
// process, through the fault shim. The calls are taken from a clean run's trace, so the test
// follows the library's calls as they change. After each failure: the failed track is reported
// failed with its files as they were, every other track is as the clean run left it, every
// original is whole at its track or its backup, a leftover temporary file is listed by a scan,
// and the next `fix --refix` completes with no clash.
#include <errno.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "clock.h"
#include "collection.h"
#include "command.h"
#include "disk.h"
#include "fault_shim.h"
#include "replace_model.h"
#include "track_files.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Tree = FileTree;

const std::string kSite = ";  The Sun";
const std::string kBak = ".bak";
const std::set<std::string> kTransfers = {"read", "write", "pread", "pwrite", "copy"};

// A track of either kind fixed with name.
std::string Fixed(const std::string& original, const std::string& name) {
  const std::string renamed = ReplaceModel(original, "National_Map", name);
  return ReplaceModel(ReplaceModel(renamed, "Supercross_Map", name), kSite, ";TDFIX   1");
}

// A track's content and its backup's, or "-" where there is none.
std::pair<std::string, std::string> Files(const Tree& tree, const std::string& track) {
  const auto at = [&tree](const std::string& path) {
    const auto file = tree.find(path);
    return file == tree.end() ? std::string("-") : file->second;
  };
  return {at(track), at(track + kBak)};
}

// The nth call of a kind fails with errno error.
struct Fault {
  std::string kind;
  long nth;
  int error;
};

struct Result {
  int code = -1;
  Json report;
  std::string errors;              // what it wrote on stderr
  std::vector<std::string> calls;  // the kinds of the file calls made, in order
  long failures = 0;
};

class CollectionFaultTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ASSERT_FALSE(folder_.empty());
    PinClockDigit(7);
    tracks_ = PathOf("tracks");
    // Same-named stock tracks in two folders, a Supercross one over many 64 KiB copy steps, a
    // fixed pair that clashes (refixed from its backup), another fixed track, a plain track.
    before_["a/Hill.PAK"] = RandomTrack("National_Map", 200000, 1);
    before_["b/Hill.PAK"] = RandomTrack("National_Map", 150000, 2);
    before_["b/Big Canyon.PAK"] = RandomTrack("Supercross_Map", 1300000, 3);
    for (const char* dale : {"c/Dale.PAK", "d/Dale.PAK"}) {
      before_[dale + kBak] = RandomTrack("National_Map", 90000, dale[0]);
      before_[dale] = Fixed(before_[dale + kBak], "Dale00007Map");
    }
    before_["d/Mesa.PAK.bak"] = RandomTrack("National_Map", 70000, 5);
    before_["d/Mesa.PAK"] = Fixed(before_["d/Mesa.PAK.bak"], "Mesa00003Map");
    before_["d/Plain.pak"] = RandomTrack("nothing", 1000, 6);
  }
  void TearDown() override {
    ShimReset();
    TempFolderTest::TearDown();
  }

  void Prepare() {
    RemoveTree(tracks_);
    ASSERT_TRUE(WriteFileTree(tracks_, before_));
  }

  Tree Read() { return ReadFileTree(tracks_); }

  // Runs the command with --json over the collection, the shim counting and making the faults
  // happen. Copies and writes move at most 64 KiB a call.
  Result Trackmaps(std::vector<std::string> arguments, const std::vector<Fault>& faults = {}) {
    arguments.insert(arguments.begin(), "trackmaps");
    arguments.insert(arguments.end(), {"--json", tracks_});
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    std::ostringstream out;
    std::ostringstream err;
    ShimReset();
    ShimLimitWrites(64 << 10);
    for (const Fault& fault : faults) ShimFailNth(fault.kind.c_str(), fault.nth, fault.error);
    ShimArm();
    Result run;
    run.code = RunTrackmaps(static_cast<int>(argv.size()), argv.data(), out, err, Console());
    ShimDisarm();
    run.failures = ShimFailures();
    std::istringstream trace(ShimTrace());
    for (std::string call; trace >> call;) run.calls.push_back(call);
    run.report = Json::parse(out.str(), nullptr, false);
    run.errors = err.str();
    return run;
  }

  // Each track's report by its path under the collection.
  std::map<std::string, Json> Tracks(const Json& report) {
    std::map<std::string, Json> tracks;
    if (!report.is_object()) return tracks;
    for (const Json& track : report["tracks"]) {
      tracks[fs::path(track["path"].get<std::string>()).lexically_relative(tracks_)] = track;
    }
    return tracks;
  }

  // What must hold after a run that met a fault, against the clean run of the same command. A
  // track left out of the report sits where the run could not look (an argument or a folder
  // that could not be examined, named on stderr) and must be as it was. Returns how many
  // temporary files were left.
  int Check(const Result& clean, const Tree& cleanTree, const Result& faulted,
            bool removalFailed = false) {
    const Tree now = Read();
    const std::map<std::string, Json> tracks = Tracks(faulted.report);
    const bool unseen = !faulted.errors.empty();
    bool failed = false;
    for (const auto& track : tracks) failed |= track.second["action"] == "failed";
    for (const auto& cleanTrack : Tracks(clean.report)) {
      const std::string& path = cleanTrack.first;
      const auto backup = before_.find(path + kBak);
      const std::string& original = backup != before_.end() ? backup->second : before_.at(path);
      EXPECT_TRUE(Files(now, path).first == original || Files(now, path).second == original)
          << "the original of " << path << " is lost";
      const auto track = tracks.find(path);
      EXPECT_TRUE(track != tracks.end() || unseen) << path << " is missing from the report";
      const Json action = track == tracks.end() ? Json("unseen") : track->second["action"];
      // A track that failed, or one left unchanged when another failed or went unseen, is as it
      // was: the clash of a refixed track may have gone with that other track.
      const bool kept =
          action == "unseen" || action == "failed" || ((failed || unseen) && action == "unchanged");
      Tree expected = kept ? before_ : cleanTree;
      // A fix that failed after giving the original its backup name, and could not remove that
      // name again, leaves it: a second name of the original.
      if (kept && removalFailed && Files(now, path).second == original) {
        expected[path + kBak] = original;
      }
      if (!kept) {
        EXPECT_EQ(action, cleanTrack.second["action"]) << path << " " << faulted.report.dump();
        // An earlier track that failed leaves its name free for a later one.
        const Json name = track->second.value("map_name", Json());
        if (name.is_string() && name != cleanTrack.second.value("map_name", Json())) {
          expected[path] = Fixed(original, name.get<std::string>());
        }
      }
      EXPECT_TRUE(Files(now, path) == Files(expected, path))
          << path << (kept ? " failed but changed" : " is not as the run reports it");
    }
    EXPECT_EQ(faulted.code, tracks.empty() ? 2 : failed || unseen ? 1 : clean.code);
    std::set<std::string> listed;
    const Result scan = Trackmaps({"scan"});
    for (const Json& path : scan.report["leftovers"]) {
      listed.insert(fs::path(path.get<std::string>()).lexically_relative(tracks_));
    }
    int left = 0;
    for (const auto& file : now) {
      if (collection::IsLeftoverName(fs::path(file.first).filename())) {
        ++left;
        EXPECT_EQ(listed.count(file.first), 1u) << file.first << " is left and not listed";
      } else {
        std::string track = file.first;
        if (track.size() > 4 && track.compare(track.size() - 4, 4, kBak) == 0)
          track.resize(track.size() - 4);
        EXPECT_EQ(before_.count(track), 1u) << file.first << " is no track's nor any backup's";
      }
    }
    const Result next = Trackmaps({"fix", "--refix"});
    EXPECT_EQ(next.code, 0) << next.report.dump();
    const Result after = Trackmaps({"scan"});
    EXPECT_TRUE(after.report["clashes"].empty()) << after.report.dump();
    return left;
  }

  std::string tracks_;
  Tree before_;
};

TEST_F(CollectionFaultTest, EveryFileCallFailingInTurnLosesNothing) {
  // Each command with what its clean run does to the later Dale and its exit code: a plain fix
  // leaves the clash.
  const struct {
    std::vector<std::string> command;
    const char* laterDale;
    int code;
  } runs[] = {
      {{"fix"}, "unchanged", 1}, {{"fix", "--refix"}, "refixed", 0}, {{"restore"}, "restored", 0}};
  int leftovers = 0;  // temporary files that runs whose removal failed left
  for (const auto& row : runs) {
    const std::vector<std::string>& command = row.command;
    Prepare();
    const Result clean = Trackmaps(command);
    const Tree cleanTree = Read();
    const std::string name = ::testing::PrintToString(command);
    ASSERT_EQ(Tracks(clean.report).size(), 7u) << name;
    ASSERT_EQ(Tracks(clean.report).at("d/Dale.PAK")["action"], row.laterDale) << name;
    ASSERT_EQ(clean.code, row.code) << name;
    // Big Canyon's 1.3 MB alone take 20 copy steps.
    if (command[0] == "fix") {
      EXPECT_GE(std::count(clean.calls.begin(), clean.calls.end(), "copy"), 20) << name;
    }
    std::map<std::string, long> seen;
    std::set<std::string> removalFailed;  // kinds whose failure has had its removal fail too
    for (const std::string& kind : clean.calls) {
      const long nth = ++seen[kind];
      std::vector<int> errors = {kind == "pwrite" ? ENOSPC : kind == "open" ? EACCES : EIO};
      if (kTransfers.count(kind) > 0) errors.push_back(0);  // and a transfer that moves nothing
      for (const int error : errors) {
        SCOPED_TRACE(name + ": " + kind + " #" + std::to_string(nth) + ", errno " +
                     std::to_string(error));
        Prepare();
        const Result faulted = Trackmaps(command, {{kind, nth, error}});
        EXPECT_EQ(faulted.failures, 1);
        Check(clean, cleanTree, faulted);
        // The first time a failure of a kind makes the run remove a file of its own, that
        // removal fails too: the file is left, for a scan to list.
        if (std::count(faulted.calls.begin(), faulted.calls.end(), "unlink") > 0 &&
            removalFailed.insert(kind).second) {
          SCOPED_TRACE("and unlink #1");
          Prepare();
          const Result twice = Trackmaps(command, {{kind, nth, error}, {"unlink", 1, EIO}});
          EXPECT_EQ(twice.failures, 2);
          leftovers += Check(clean, cleanTree, twice, true);
        }
      }
    }
  }
  EXPECT_GT(leftovers, 0);
}

// A backup of the track's size that differs from it is never replaced, whichever call fails: a
// read that moves nothing must not make the two look the same.
TEST_F(CollectionFaultTest, DifferingBackupStaysWhateverCallFails) {
  before_ = {{"e/Ridge.PAK", RandomTrack("National_Map", 5000, 9)},
             {"e/Ridge.PAK.bak", RandomTrack("National_Map", 5000, 10)}};
  Prepare();
  const Result clean = Trackmaps({"fix"});
  ASSERT_EQ(Tracks(clean.report).at("e/Ridge.PAK")["action"], "failed");
  std::map<std::string, long> seen;
  for (const std::string& kind : clean.calls) {
    const long nth = ++seen[kind];
    for (const int error : {EIO, 0}) {
      if (error == 0 && kTransfers.count(kind) == 0) continue;
      SCOPED_TRACE(kind + " #" + std::to_string(nth) + ", errno " + std::to_string(error));
      Prepare();
      const Result faulted = Trackmaps({"fix"}, {{kind, nth, error}});
      const std::map<std::string, Json> tracks = Tracks(faulted.report);
      const auto track = tracks.find("e/Ridge.PAK");
      EXPECT_TRUE(track == tracks.end() ? !faulted.errors.empty()
                                        : track->second["action"] == "failed");
      EXPECT_NE(faulted.code, 0);
      EXPECT_TRUE(Read() == before_) << "the backup was replaced";
    }
  }
}

}  // namespace
