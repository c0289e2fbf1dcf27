// Kills a repair (SIGKILL, no clean-up) after every file call it makes and at random moments, and
// checks after each kill that the track's original bytes are complete at the track path or at
// the backup path, and that nothing else is on disk.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "disk.h"
#include "run_driver.h"
#include "track_files.h"

namespace {

// What the driver prints after a clean repair: the flag and the message.
const char* const kFixed = "1\nHill00007Map\n";

class CrashTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ASSERT_FALSE(folder_.empty());
    tracks_ = PathOf("tracks");
    ASSERT_TRUE(MakeDirectory(tracks_));
    track_ = tracks_ + "/Hill.PAK";
    backup_ = track_ + ".bak";
  }

  // Puts the original track and an earlier backup in place, and nothing else.
  void Prepare(const std::string& original) {
    for (const std::string& name : Entries(tracks_))
      ASSERT_EQ(unlink((tracks_ + "/" + name).c_str()), 0);
    ASSERT_TRUE(WriteBytes(track_, original));
    ASSERT_TRUE(WriteBytes(backup_, kEarlier));
  }

  // Runs the driver on the track; with killAfter set, the test kills it that long after starting.
  DriverRun Run(const DriverSettings& settings,
                std::chrono::microseconds killAfter = std::chrono::microseconds(-1)) {
    return RunDriver(TMF_REPAIR_DRIVER, {track_}, settings, folder_, killAfter);
  }

  // Checks what a killed repair left, and names the state: the original must be complete at the
  // track path or the backup path; the track path may otherwise hold only the start of the
  // repaired content (the write stopped part way); the backup only the earlier one. The earlier
  // backup must be complete at its name or its aside name until the repaired track is whole.
  std::string CheckNothingLost(const std::string& original) {
    const std::set<std::string> names = Entries(tracks_);
    for (const std::string& name : names) {
      EXPECT_TRUE(name == "Hill.PAK" || name == "Hill.PAK.bak" || name == "Hill.PAK.bak.old0")
          << "unexpected file " << name;
    }
    std::string track, backup, aside;
    const bool hasTrack = names.count("Hill.PAK") && ReadBytes(track_, track);
    const bool hasBackup = names.count("Hill.PAK.bak") && ReadBytes(backup_, backup);
    const bool hasAside = names.count("Hill.PAK.bak.old0") && ReadBytes(backup_ + ".old0", aside);
    const bool trackWhole = hasTrack && track == original;
    const bool backupWhole = hasBackup && backup == original;
    EXPECT_TRUE(trackWhole || backupWhole) << "the original is nowhere complete";

    std::string state = !hasTrack ? "no track" : trackWhole ? "track original" : "track changed";
    if (hasTrack && !trackWhole) {
      const std::string repaired = Repaired(original);
      const bool prefix =
          track.size() <= repaired.size() && repaired.compare(0, track.size(), track) == 0;
      EXPECT_TRUE(prefix) << "the track holds neither the original nor repaired content";
      state = track.size() == repaired.size() ? "track repaired" : "track partly written";
    }
    if (hasBackup && !backupWhole) {
      EXPECT_EQ(backup, kEarlier) << "the backup holds something else";
    }
    if (hasAside) {
      EXPECT_EQ(aside, kEarlier) << "the aside name holds something else";
    }
    if (state != "track repaired") {
      EXPECT_TRUE((hasBackup && backup == kEarlier) || hasAside) << "the earlier backup is lost";
    }
    state += !hasBackup ? ", no backup" : backupWhole ? ", backup original" : ", backup earlier";
    if (hasAside) state += ", earlier aside";
    return state;
  }

  // Kills the driver after each of its calls in turn and checks the disk after each kill.
  // Returns how often each state was seen.
  std::map<std::string, int> KillAfterEveryCall(const std::string& original,
                                                DriverSettings settings) {
    std::map<std::string, int> seen;
    Prepare(original);
    const DriverRun clean = Run(settings);
    EXPECT_EQ(clean.output, kFixed);
    calls_ = clean.calls;
    for (std::size_t n = 1; n <= calls_.size() && !HasFailure(); ++n) {
      Prepare(original);
      settings.push_back({"TMF_KILL_AFTER", std::to_string(n)});
      EXPECT_TRUE(Run(settings).killed) << "after call " << n << " (" << calls_[n - 1] << ")";
      settings.pop_back();
      ++seen[CheckNothingLost(original)];
    }
    return seen;
  }

  // Whether the kinds of calls in order appear in the driver's calls, in that order.
  bool CallsInclude(const std::vector<std::string>& order) const {
    std::size_t next = 0;
    for (const std::string& call : calls_) {
      if (next < order.size() && call == order[next]) ++next;
    }
    return next == order.size();
  }

  const std::string kEarlier = "an earlier backup";
  std::string tracks_;
  std::string track_;
  std::string backup_;
  std::vector<std::string> calls_;
};

TEST_F(CrashTest, KeepsTheOriginalWholeWhenKilledAfterAnyCall) {
  // 4 KiB writes: the 64 KiB repaired content goes out in 16 parts, each a boundary of its own.
  const std::string original = MakeTrack(64 * 1024);
  const auto seen = KillAfterEveryCall(original, {{"TMF_WRITE_CHUNK", "4096"}});
  EXPECT_TRUE(CallsInclude({"open", "pread", "stat", "lstat", "renameat2", "renameat2", "stat",
                            "open", "pwrite", "pwrite", "close", "unlink", "close"}))
      << ::testing::PrintToString(calls_);
  // Every phase of the repair was hit by some kill.
  for (const char* state :
       {"track original, backup earlier", "track original, no backup, earlier aside",
        "no track, backup original, earlier aside",
        "track partly written, backup original, earlier aside",
        "track repaired, backup original, earlier aside", "track repaired, backup original"}) {
    EXPECT_GT(seen.count(state), 0u) << state << " never seen: " << ::testing::PrintToString(seen);
  }
  const auto partly = seen.find("track partly written, backup original, earlier aside");
  EXPECT_GE(partly == seen.end() ? 0 : partly->second, 15);
}

TEST_F(CrashTest, KeepsTheOriginalWholeWhenTheRenameFallsBackToLinkAndUnlink) {
  const std::string original = MakeTrack(20 * 1024);
  const auto seen =
      KillAfterEveryCall(original, {{"TMF_WRITE_CHUNK", "4096"}, {"TMF_REFUSE_RENAME_FLAGS", "1"}});
  EXPECT_TRUE(CallsInclude({"renameat2", "link", "unlink", "open", "pwrite", "close"}))
      << ::testing::PrintToString(calls_);
  // Between link and unlink the original has both names, and so has the earlier backup.
  EXPECT_GT(seen.count("track original, backup original, earlier aside"), 0u)
      << ::testing::PrintToString(seen);
  EXPECT_GT(seen.count("track original, backup earlier, earlier aside"), 0u);
  EXPECT_GT(seen.count("track partly written, backup original, earlier aside"), 0u);
}

TEST_F(CrashTest, KeepsTheOriginalWholeWhenKilledPartWayThroughALargeWrite) {
  // 16 MiB in 64 KiB writes: 256 boundaries inside the write, 20 of them picked at random.
  const std::string original = MakeTrack(16 << 20);
  Prepare(original);
  const DriverRun clean = Run({{"TMF_WRITE_CHUNK", "65536"}});
  ASSERT_EQ(clean.output, kFixed);
  const auto firstWrite = std::find(clean.calls.begin(), clean.calls.end(), "pwrite");
  ASSERT_EQ(std::count(firstWrite, clean.calls.end(), "pwrite"), 256);

  std::mt19937 random(7);  // fixed seed: the same calls on every run
  const long first = firstWrite - clean.calls.begin() + 1;
  std::uniform_int_distribution<long> call(first, first + 254);
  for (int round = 0; round < 20 && !HasFailure(); ++round) {
    Prepare(original);
    const long n = call(random);
    EXPECT_TRUE(Run({{"TMF_WRITE_CHUNK", "65536"}, {"TMF_KILL_AFTER", std::to_string(n)}}).killed);
    EXPECT_EQ(CheckNothingLost(original), "track partly written, backup original, earlier aside")
        << n;
    EXPECT_EQ(SizeOf(track_), (n - first + 1) * 65536) << n;
  }
}

TEST_F(CrashTest, KeepsTheOriginalWholeWhenKilledAtRandomMoments) {
  // 16 MiB: a read and a write that take a while, so that random moments fall inside them.
  const std::string original = MakeTrack(16 << 20);
  // How long one run takes varies with the machine's load: the shortest of three is the span.
  auto span = std::chrono::microseconds::max();
  for (int run = 0; run < 3; ++run) {
    Prepare(original);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Run({}).output, kFixed);
    span = std::min(span, std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - start));
  }

  std::mt19937 random(20261207);  // fixed seed: the same moments on every run
  std::uniform_int_distribution<long> moment(0, span.count());
  std::map<std::string, int> seen;
  int killed = 0;
  for (int round = 0; round < 30 && !HasFailure(); ++round) {
    Prepare(original);
    const DriverRun run = Run({}, std::chrono::microseconds(moment(random)));
    killed += run.killed;
    ++seen[CheckNothingLost(original)];
  }
  std::printf("one repair: %ld us; killed %d of 30; states: %s\n", static_cast<long>(span.count()),
              killed, ::testing::PrintToString(seen).c_str());
}

}  // namespace
