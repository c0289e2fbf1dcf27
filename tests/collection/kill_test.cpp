// Kills `trackmaps fix --refix` (SIGKILL, no clean-up) after each file call it makes and at
// random moments, and checks after every kill that each track path holds its original or its
// fixed content, complete; that every original exists at the track or its backup; that a scan
// lists the leftover temporary files and takes none for a track; and that a new fix completes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "collection.h"
#include "disk.h"
#include "replace_model.h"
#include "run_driver.h"
#include "track_files.h"

namespace {

namespace fs = std::filesystem;
using Tree = FileTree;

const std::string kSite = ";  The Sun";

std::string Fixed(const std::string& original, const std::string& name) {
  return ReplaceModel(ReplaceModel(original, "National_Map", name), kSite, ";TDFIX   1");
}

class KillTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ASSERT_FALSE(folder_.empty());
    tracks_ = PathOf("tracks");
    // Same-named stock tracks in two folders, a Supercross one over several windows, a fixed
    // pair that clashes (refixed from its backup), and a track that is fine as it is.
    original_["a/Hill.PAK"] = RandomTrack("National_Map", 200000, 1);
    original_["b/Hill.PAK"] = RandomTrack("National_Map", 150000, 2);
    original_["b/Big Canyon.PAK"] = RandomTrack("Supercross_Map", 1300000, 3);
    original_["c/Dale.PAK.bak"] = RandomTrack("National_Map", 90000, 4);
    original_["c/Dale.PAK"] = Fixed(original_["c/Dale.PAK.bak"], "Dale00007Map");
    original_["d/Dale.PAK.bak"] = RandomTrack("National_Map", 80000, 5);
    original_["d/Dale.PAK"] = Fixed(original_["d/Dale.PAK.bak"], "Dale00007Map");
    original_["d/Plain.pak"] = RandomTrack("nothing", 1000, 6);
  }

  void Prepare() {
    RemoveTree(tracks_);
    ASSERT_TRUE(WriteFileTree(tracks_, original_));
  }

  Tree Read() { return ReadFileTree(tracks_); }

  // Runs the driver over the tracks, killed after its nth file call (0: never) or after a delay.
  // Copies and writes move at most 64 KiB a call, so that kills land inside a copy too.
  DriverRun Run(std::vector<std::string> arguments, long killAfter,
                std::chrono::microseconds delay = std::chrono::microseconds(-1)) {
    arguments.push_back(tracks_);
    return RunDriver(TMF_KILL_DRIVER, arguments,
                     {{"TMF_KILL_AFTER", std::to_string(killAfter)}, {"TMF_WRITE_CHUNK", "65536"}},
                     folder_, delay);
  }

  // What must hold after any kill; tell names the case.
  void CheckAfterKill(const std::string& tell) {
    SCOPED_TRACE(tell);
    const Tree now = Read();
    std::size_t temporaries = 0;
    for (const auto& file : now) {
      const std::string name = fs::path(file.first).filename().string();
      if (collection::IsLeftoverName(name)) {
        ++temporaries;
        continue;
      }
      const auto original = original_.find(file.first);
      const auto fixed = fixed_.find(file.first);
      const bool isOriginal = original != original_.end() && original->second == file.second;
      const bool isFixed = fixed != fixed_.end() && fixed->second == file.second;
      EXPECT_TRUE(isOriginal || isFixed) << file.first;
    }
    // Every original is whole at the track or at its backup.
    for (const auto& file : original_) {
      if (file.first.find(".bak") != std::string::npos) continue;
      const auto track = now.find(file.first);
      const auto backup = now.find(file.first + ".bak");
      const bool kept = (track != now.end() && track->second == file.second) ||
                        (backup != now.end() && backup->second == file.second) ||
                        (original_.count(file.first + ".bak") > 0 && backup != now.end() &&
                         backup->second == original_.at(file.first + ".bak"));
      EXPECT_TRUE(kept) << file.first;
      EXPECT_TRUE(track != now.end()) << file.first << " is missing";
    }
    // The scan lists the leftovers and takes none of them for a track, and a new run completes.
    EXPECT_FALSE(Run({"scan"}, 0).killed);
    EXPECT_EQ(Run({"fix", "--refix"}, 0).exitCode, 0);
    EXPECT_EQ(Run({"scan"}, 0).exitCode, 0) << temporaries << " leftovers";
  }

  std::string tracks_;
  Tree original_;
  Tree fixed_;
};

TEST_F(KillTest, EveryStepBoundaryAndRandomMoments) {
  Prepare();
  const DriverRun clean = Run({"fix", "--refix"}, 0);
  ASSERT_EQ(clean.exitCode, 0);
  fixed_ = Read();
  const long calls = static_cast<long>(clean.calls.size());
  ASSERT_GT(calls, 20);
  // Big Canyon's 1.3 MB alone take 20 copy steps.
  EXPECT_GE(std::count(clean.calls.begin(), clean.calls.end(), "copy"), 20)
      << ::testing::PrintToString(clean.calls);
  // The run fixed the stock tracks and refixed the later of the clashing pair.
  ASSERT_TRUE(fixed_.at("a/Hill.PAK") != original_.at("a/Hill.PAK"));
  ASSERT_TRUE(fixed_.at("b/Big Canyon.PAK") != original_.at("b/Big Canyon.PAK"));
  ASSERT_TRUE(fixed_.at("c/Dale.PAK") == original_.at("c/Dale.PAK"));
  ASSERT_TRUE(fixed_.at("d/Dale.PAK") != original_.at("d/Dale.PAK"));

  int killed = 0;
  for (long n = 1; n <= calls; ++n) {
    Prepare();
    killed += Run({"fix", "--refix"}, n).killed;
    CheckAfterKill("killed after call " + std::to_string(n) + " of " + std::to_string(calls));
  }
  EXPECT_EQ(killed, calls);

  const auto start = std::chrono::steady_clock::now();
  Prepare();
  ASSERT_EQ(Run({"fix", "--refix"}, 0).exitCode, 0);
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  std::mt19937 random(42);
  for (int i = 0; i < 20; ++i) {
    Prepare();
    const auto delay = std::chrono::microseconds(random() % (whole.count() + 1));
    Run({"fix", "--refix"}, 0, delay);
    CheckAfterKill("killed after " + std::to_string(delay.count()) + " us");
  }
}

}  // namespace
