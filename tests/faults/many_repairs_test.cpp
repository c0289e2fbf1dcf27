// Thousands of repairs in one process, every outcome in turn: after a warm-up, the heap in use,
// the resident memory and the open descriptors or handles must not grow.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "clock.h"
#include "disk.h"
#include "process_usage.h"
#include "repair.h"
#include "track_files.h"
#include "track_folder_test.h"

namespace {

class ManyRepairsTest : public TrackFolderTest {
 protected:
  void SetUp() override {
    TrackFolderTest::SetUp();
    original_ = MakeTrack(64 * 1024);
    repaired_ = Repaired(original_);
    ASSERT_TRUE(WriteBytes(PathOf(".PAK"), "Supercross_Map"));  // a 13-byte new name
    ASSERT_TRUE(WriteBytes(PathOf("Held.PAK"), "National_Map"));
    held_.reset(new ExclusiveHold);
    ASSERT_TRUE(HoldExclusive(PathOf("Held.PAK"), *held_));
  }
  void TearDown() override {
    held_.reset();  // released before the folder goes
    TrackFolderTest::TearDown();
  }

  // One repair of each outcome: Fixed, Nothing to fix, Wrong name length, and Failure for a
  // missing file, one that another holder keeps locked and one too large to read.
  void RepairEachOutcome(int round) {
    std::string message;
    ASSERT_TRUE(WriteBytes(track_, original_));
    ASSERT_EQ(FixTrackFile(track_, message), 1);
    ASSERT_EQ(message, "Hill00007Map");
    ASSERT_EQ(FixTrackFile(track_, message), 1);
    ASSERT_EQ(message, " already fixed");
    ASSERT_EQ(FixTrackFile(PathOf(".PAK"), message), 0);
    ASSERT_EQ(message, "map name isn't 14 chars");
    ASSERT_EQ(FixTrackFile(PathOf("Missing.PAK"), message), 0);
    ASSERT_EQ(message, "");
    ASSERT_EQ(FixTrackFile(PathOf("Held.PAK"), message), 0);
    ASSERT_EQ(message, "");
    // Opened, then refused for its size: the one failure after the open on every platform. A
    // new name each time: a handle left open would otherwise keep every later repair out.
    const std::string huge = PathOf("Huge" + std::to_string(round) + ".PAK");
    ASSERT_TRUE(MakeSparseFile(huge, std::int64_t{1} << 31, "National_Map"));
    ASSERT_EQ(FixTrackFile(huge, message), 0);
    ASSERT_EQ(message, "");
    std::remove(huge.c_str());
  }

  std::string original_;
  std::string repaired_;
  std::unique_ptr<ExclusiveHold> held_;
};

TEST_F(ManyRepairsTest, HoldsNoMoreMemoryOrHandlesAfterThousandsOfRepairs) {
  for (int round = 0; round < 100; ++round) ASSERT_NO_FATAL_FAILURE(RepairEachOutcome(round));
  const std::size_t heap = HeapBytesInUse();
  const std::size_t resident = ResidentBytes();
  const std::size_t peak = PeakResidentBytes();
  const std::size_t handles = OpenHandles();

  for (int round = 0; round < TMF_REPAIR_ROUNDS; ++round) {
    ASSERT_NO_FATAL_FAILURE(RepairEachOutcome(100 + round)) << "round " << round;
  }
  std::printf(
      "%d repairs: heap %zu -> %zu, resident %zu -> %zu, peak %zu -> %zu, handles %zu -> %zu\n",
      6 * TMF_REPAIR_ROUNDS, heap, HeapBytesInUse(), resident, ResidentBytes(), peak,
      PeakResidentBytes(), handles, OpenHandles());
  EXPECT_EQ(OpenHandles(), handles);
  // One leaked byte a repair would show as kilobytes; a leaked buffer as megabytes.
  EXPECT_LE(HeapBytesInUse(), heap + 4096);
  EXPECT_LE(ResidentBytes(), resident + 256 * 1024);
  EXPECT_LE(PeakResidentBytes(), peak + 256 * 1024);

  std::string track;
  ASSERT_TRUE(ReadBytes(track_, track));
  EXPECT_TRUE(track == repaired_);
}

}  // namespace
