#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "clock.h"
#include "content.h"
#include "disk.h"
#include "repair.h"
#include "replace_model.h"
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

// Random bytes, far above the size from which the buffer comes straight from the system, over
// many chunks of the content work, with names and marker sites across the chunk seams.
TEST_F(LargeFileTest, RepairsAFileOfManyChunksByteForByte) {
  const std::size_t size = std::size_t{24} << 20;
  const std::size_t seam = kContentChunk;
  std::mt19937 random(11);
  std::string original(size, '\0');
  for (char& c : original) c = static_cast<char>(random());
  // Seam after seam, a name or a marker site starts 1 to 12 bytes before it: every way of
  // lying across a seam occurs.
  for (std::size_t seamAt = seam, i = 0; seamAt < size; seamAt += seam, ++i) {
    if (i % 2 == 0) {
      original.replace(seamAt - 1 - i / 2 % 12, 12, "National_Map");
    } else {
      original.replace(seamAt - 1 - i / 2 % 10, 10, ";  The Sun");
    }
    original.replace(seamAt + seam / 2, 22, ";  The SunNational_Map");
  }
  ASSERT_TRUE(WriteBytes(track_, original));

  ASSERT_EQ(FixTrackFile(track_, message_), 1);
  EXPECT_EQ(message_, "Hill00007Map");
  const std::string expected = ReplaceModel(ReplaceModel(original, "National_Map", "Hill00007Map"),
                                            ";  The Sun", ";TDFIX   1");
  std::string repaired;
  std::string backup;
  ASSERT_TRUE(ReadBytes(track_, repaired));
  ASSERT_TRUE(ReadBytes(backup_, backup));
  EXPECT_TRUE(repaired == expected) << "the repaired track differs from the model";
  EXPECT_TRUE(backup == original) << "the backup differs from the original";
}

// A 32-bit process cannot hold this buffer: address_space_limit_test pins what the shipped
// 32-bit build does instead.
#if INTPTR_MAX > INT32_MAX
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
#endif

}  // namespace
