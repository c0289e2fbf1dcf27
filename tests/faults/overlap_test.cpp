// Repairs held between their read and their first change on disk while the folder changes or a
// second repair of the same track runs. This program's BeforeDiskChanges takes the place of the
// library's empty one.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <set>
#include <string>

#include "after_repair.h"
#include "disk.h"
#include "hold_point.h"
#include "process_usage.h"
#include "repair.h"
#include "track_files.h"
#include "track_folder_test.h"

namespace {

std::function<void()> g_whileHeld;  // what the next repair to reach the hold point runs there

}  // namespace

// Runs the action once: a repair started by the action itself is not held again.
void BeforeDiskChanges(const std::string&) {
  std::function<void()> action;
  action.swap(g_whileHeld);
  if (action) action();
}

namespace {

const std::string kEarlier = "an earlier backup";

class OverlapTest : public TrackFolderTest {
 protected:
  void SetUp() override {
    TrackFolderTest::SetUp();
    original_ = MakeTrack(64 * 1024);
    ASSERT_TRUE(WriteBytes(track_, original_));
    ASSERT_TRUE(WriteBytes(backup_, kEarlier));
    handles_ = OpenHandles();
  }
  void TearDown() override {
    g_whileHeld = nullptr;
    TrackFolderTest::TearDown();
  }

  std::string original_;
  std::size_t handles_ = 0;
};

// Fault: the second repair read the track after the first had read it and before it renamed it,
// then deleted the first one's backup (the original) and renamed its result onto that name.
// Whichever repair the platform lets through, one is done, the other fails, and the original is
// the backup.
TEST_F(OverlapTest, ASecondRepairBetweenTheFirstOnesReadAndRenameLosesNothing) {
  std::string innerMessage;
  std::int32_t inner = -1;
  g_whileHeld = [&] { inner = FixTrackFile(track_, innerMessage); };
  std::string message;
  const std::int32_t outer = FixTrackFile(track_, message);

  ASSERT_NE(inner, -1) << "the first repair never reached the hold point";
  EXPECT_EQ(outer + inner, 1) << "outer " << outer << ", inner " << inner;
  EXPECT_EQ(outer == 1 ? message : innerMessage, "Hill00007Map");
  EXPECT_EQ(outer == 1 ? innerMessage : message, "");
  ExpectAfterRepair(folder_, {{"Hill.PAK", Repaired(original_)}, {"Hill.PAK.bak", original_}},
                    handles_);
}

// Another program moves the track away and puts a file of its own in its place after the read:
// the repair must not make that file the backup, nor write over it.
TEST_F(OverlapTest, PutsBackATrackReplacedBetweenTheReadAndTheRename) {
  const std::string moved = PathOf("Moved.PAK");
  const std::string theirs = "another program's file";
  bool replaced = false;
  g_whileHeld = [&] {
    replaced = std::rename(track_.c_str(), moved.c_str()) == 0 && WriteBytes(track_, theirs);
  };
  std::string message = "left over";
  EXPECT_EQ(FixTrackFile(track_, message), 0);
  ASSERT_TRUE(replaced);
  EXPECT_EQ(message, "");
  ExpectAfterRepair(folder_,
                    {{"Hill.PAK", theirs}, {"Hill.PAK.bak", kEarlier}, {"Moved.PAK", original_}},
                    handles_);
}

}  // namespace
