// The 32-bit build's own size limit: its process cannot hold a buffer of 2^31 - 1 bytes, which
// the 64-bit build repairs (large_file_test). Built for 32-bit targets only.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "disk.h"
#include "repair.h"
#include "track_folder_test.h"

namespace {

static_assert(sizeof(void*) == 4, "the 32-bit build's limit: built for 32-bit targets only");

class AddressSpaceLimitTest : public TrackFolderTest {
 protected:
  std::string message_;
};

// The largest track the program may accept cannot be held whole: the allocation fails before
// anything is written, and the track stays as it was, with no backup beside it.
TEST_F(AddressSpaceLimitTest, ATrackOf2GiBMinusOneFailsWithNothingTouched) {
  const std::int64_t size = INT32_MAX;
  ASSERT_TRUE(MakeSparseFile(track_, size, ";  The SunNational_Map"));
  EXPECT_EQ(FixTrackFile(track_, message_), 0);
  EXPECT_EQ(message_, "");
  EXPECT_EQ(SizeOf(track_), size);
  EXPECT_FALSE(PathExists(backup_));
  std::string tail;
  ASSERT_TRUE(ReadRange(track_, size - 22, 22, tail));
  EXPECT_EQ(tail, ";  The SunNational_Map");
}

// Measured under 32-bit Wine: without the large-address-aware flag a 32-bit process held at most
// about 600 MiB (a console program) or 1072 MiB (the dialog) in one piece; with it, 1881 MiB.
// 1536 MiB lies between, so this fails when the flag is lost.
TEST_F(AddressSpaceLimitTest, RepairsA1536MiBTrackWithTheLargeAddressSpace) {
  const std::int64_t size = std::int64_t{1536} << 20;
  ASSERT_TRUE(MakeSparseFile(track_, size, ";  The SunNational_Map"));
  ASSERT_EQ(FixTrackFile(track_, message_), 1);
  EXPECT_EQ(message_, "Hill00007Map");
  EXPECT_EQ(SizeOf(track_), size);
  EXPECT_EQ(SizeOf(backup_), size);
  std::string tail;
  ASSERT_TRUE(ReadRange(track_, size - 22, 22, tail));
  EXPECT_EQ(tail, ";TDFIX   1Hill00007Map");
  ASSERT_TRUE(ReadRange(backup_, size - 22, 22, tail));
  EXPECT_EQ(tail, ";  The SunNational_Map");
}

}  // namespace
