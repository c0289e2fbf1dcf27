// File systems that refuse what a repair needs, the real things: disks.sh mounts a small tmpfs
// (TMF_FULL_DISK) and a FAT image through FUSE (TMF_FAT_DISK). Filling the disk is done with the
// platform's own calls, as any program would.
#include "disk.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "after_repair.h"
#include "clock.h"
#include "process_usage.h"
#include "repair.h"
#include "track_files.h"

namespace {

const std::string kEarlier = "an earlier backup";

// A folder of the test's own on the disk named by variable, with a track and an earlier backup.
class DiskTest : public ::testing::Test {
 protected:
  void SetUpOn(const char* variable) {
    const char* disk = std::getenv(variable);
    if (disk == nullptr || *disk == '\0') GTEST_SKIP() << "needs the disk that disks.sh mounts";
    folder_ = std::string(disk) + kSeparator +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(MakeDirectory(folder_)) << folder_;
    track_ = folder_ + kSeparator + "Hill.PAK";
    backup_ = track_ + ".bak";
    PinClockDigit(7);
    original_ = std::string(100 * 1024, 'x') + "National_Map;  The Sun" + std::string(999, 'y');
    ASSERT_TRUE(WriteBytes(track_, original_));
    ASSERT_TRUE(WriteBytes(backup_, kEarlier));
    handles_ = OpenHandles();
  }
  void TearDown() override {
    PinClockDigit(-1);
    RemoveTree(folder_);
  }

  std::string Filler(int n) const { return folder_ + kSeparator + "filler" + std::to_string(n); }

  // The failed repair: flag 0, no message, the track and the earlier backup as they were, beside
  // the test's own files in others.
  void ExpectNothingLost(const std::map<std::string, std::string>& others = {}) {
    std::string message = "left over";
    EXPECT_EQ(FixTrackFile(track_, message), 0);
    EXPECT_EQ(message, "");
    std::map<std::string, std::string> files = {{"Hill.PAK", original_},
                                                {"Hill.PAK.bak", kEarlier}};
    for (const auto& other : others) files.insert(other);
    ExpectAfterRepair(folder_, files, handles_);
  }

  std::string folder_;
  std::string track_;
  std::string backup_;
  std::string original_;
  std::size_t handles_ = 0;
};

class FullDiskTest : public DiskTest {
 protected:
  void SetUp() override { SetUpOn("TMF_FULL_DISK"); }
};

class FatDiskTest : public DiskTest {
 protected:
  void SetUp() override { SetUpOn("TMF_FAT_DISK"); }
};

// Fault: the earlier backup was deleted to make room, and the new track then did not fit.
TEST_F(FullDiskTest, KeepsTheEarlierBackupWhenTheNewFileDoesNotFit) {
  // 40 KiB stay free: the new file is created and its write fails.
  ASSERT_TRUE(WriteBytes(Filler(0), std::string(40 * 1024, 'r')));
  EXPECT_FALSE(WriteBytes(Filler(1), std::string(1 << 20, 'f'))) << "the disk did not fill";
  ASSERT_EQ(std::remove(Filler(0).c_str()), 0);
  std::string filler;
  ASSERT_TRUE(ReadBytes(Filler(1), filler));
  ExpectNothingLost({{"filler1", filler}});
  ASSERT_EQ(std::remove(Filler(1).c_str()), 0);
  std::string message;
  EXPECT_EQ(FixTrackFile(track_, message), 1);
  EXPECT_EQ(message, "Hill00007Map");
  EXPECT_EQ(Entries(folder_), (std::set<std::string>{"Hill.PAK", "Hill.PAK.bak"}));
}

TEST_F(FullDiskTest, KeepsTheEarlierBackupWhenNoNewFileCanBeCreated) {
  // No inode left: the renames go through, creating the new track file does not.
  int made = 0;
  while (made < 100 && WriteBytes(Filler(made), "")) ++made;
  ASSERT_LT(made, 100) << "the disk never ran out of files";
  std::map<std::string, std::string> fillers;
  for (int n = 0; n < made; ++n) fillers["filler" + std::to_string(n)] = "";
  ExpectNothingLost(fillers);
}

// Fault: on a file system with neither a rename that refuses to replace nor hard links, the
// earlier backup was deleted and the rename then failed. A platform that renames without
// replacing there repairs the track.
TEST_F(FatDiskTest, KeepsTheEarlierBackupWhereNoRenameRefusesToReplace) {
  std::string message = "left over";
  const std::int32_t flag = FixTrackFile(track_, message);
  std::printf("a repair on FAT through FUSE %s\n", flag == 1 ? "went through" : "failed");
  if (flag == 1) {
    EXPECT_EQ(message, "Hill00007Map");
    ExpectAfterRepair(folder_, {{"Hill.PAK", Repaired(original_)}, {"Hill.PAK.bak", original_}},
                      handles_);
  } else {
    ExpectNothingLost();
  }
}

}  // namespace
