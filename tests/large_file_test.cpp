#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "clock.h"
#include "disk.h"
#include "repair.h"
#include "track_folder_test.h"

namespace {

// Sparse files: the sizes are real, the disk holds only their last bytes.
class LargeFileTest : public TrackFolderTest {
 protected:
  std::string message_;
};

TEST_F(LargeFileTest, RefusesFilesOf2GiBAndMoreUnread) {
  // 4 GiB + 100 bytes looks like 100 bytes to anyone who keeps only the low 32 bits.
  const std::int64_t sizes[] = {std::int64_t{1} << 31, (std::int64_t{1} << 32) + 100};
  for (const std::int64_t size : sizes) {
    ASSERT_TRUE(MakeSparseFile(track_, size, "National_Map")) << size;
    EXPECT_EQ(FixTrackFile(track_, message_), 0) << size;
    EXPECT_EQ(message_, "");
    EXPECT_EQ(SizeOf(track_), size);
    EXPECT_FALSE(PathExists(track_ + ".bak"));
    std::string tail;
    ASSERT_TRUE(ReadRange(track_, size - 12, 12, tail));
    EXPECT_EQ(tail, "National_Map");
  }
}

TEST_F(LargeFileTest, RepairsTheLargestFileWhole) {
  const std::int64_t size = INT32_MAX;
  ASSERT_TRUE(MakeSparseFile(track_, size, ";  The SunNational_Map"));
  EXPECT_EQ(FixTrackFile(track_, message_), 1);
  EXPECT_EQ(message_, "Hill00007Map");
  EXPECT_EQ(SizeOf(track_), size);
  EXPECT_EQ(SizeOf(track_ + ".bak"), size);
  std::string tail;
  ASSERT_TRUE(ReadRange(track_, size - 22, 22, tail));
  EXPECT_EQ(tail, ";TDFIX   1Hill00007Map");
  std::string head;
  ASSERT_TRUE(ReadRange(track_, 0, 4096, head));
  EXPECT_EQ(head, std::string(4096, '\0'));
}

}  // namespace
