// A disk with no room left, the real thing: full-disk.sh mounts a small tmpfs and names it in
// TMF_FULL_DISK. Filling it is done with the platform's own calls, as any program would.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "clock.h"
#include "disk.h"
#include "repair.h"

namespace {

const std::string kEarlier = "an earlier backup";

class FullDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* disk = std::getenv("TMF_FULL_DISK");
    if (disk == nullptr || *disk == '\0') GTEST_SKIP() << "needs the disk that full-disk.sh mounts";
    folder_ = std::string(disk) + kSeparator +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(MakeDirectory(folder_)) << folder_;
    track_ = folder_ + kSeparator + "Hill.PAK";
    backup_ = track_ + ".bak";
    PinClockDigit(7);
    original_ = std::string(100 * 1024, 'x') + "National_Map;  The Sun" + std::string(999, 'y');
    ASSERT_TRUE(WriteBytes(track_, original_));
    ASSERT_TRUE(WriteBytes(backup_, kEarlier));
  }
  void TearDown() override {
    PinClockDigit(-1);
    RemoveTree(folder_);
  }

  std::string Filler(int n) const { return folder_ + kSeparator + "filler" + std::to_string(n); }

  // The failed repair: flag 0, no message, the track as it was, the earlier backup gone (it
  // made way before the rename), and room again for the next repair once space is freed.
  void ExpectTrackPutBack() {
    std::string message = "left over";
    EXPECT_EQ(FixTrackFile(track_, message), 0);
    EXPECT_EQ(message, "");
    std::string track;
    ASSERT_TRUE(ReadBytes(track_, track));
    EXPECT_TRUE(track == original_) << "the track changed: " << track.size() << " bytes";
    EXPECT_FALSE(PathExists(backup_));
  }

  std::string folder_;
  std::string track_;
  std::string backup_;
  std::string original_;
};

TEST_F(FullDiskTest, PutsTheTrackBackWhenTheNewFileDoesNotFit) {
  // 40 KiB stay free: the backup's name is free, the new file is created and its write fails.
  ASSERT_TRUE(WriteBytes(Filler(0), std::string(40 * 1024, 'r')));
  EXPECT_FALSE(WriteBytes(Filler(1), std::string(1 << 20, 'f'))) << "the disk did not fill";
  ASSERT_EQ(std::remove(Filler(0).c_str()), 0);
  ExpectTrackPutBack();
  ASSERT_EQ(std::remove(Filler(1).c_str()), 0);
  std::string message;
  EXPECT_EQ(FixTrackFile(track_, message), 1);
  EXPECT_EQ(message, "Hill00007Map");
}

TEST_F(FullDiskTest, PutsTheTrackBackWhenNoNewFileCanBeCreated) {
  // No inode left: the rename goes through, creating the new track file does not. (An earlier
  // backup would free an inode for it.)
  ASSERT_EQ(std::remove(backup_.c_str()), 0);
  int made = 0;
  while (made < 100 && WriteBytes(Filler(made), "")) ++made;
  ASSERT_LT(made, 100) << "the disk never ran out of files";
  ExpectTrackPutBack();
}

}  // namespace
