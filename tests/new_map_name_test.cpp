#include <gtest/gtest.h>

#include <string>

#include "clock.h"
#include "repair.h"

namespace {

const int kNational = 1;
const int kSupercross = 0;

struct NameCase {
  const char* path;
  int kind;
  const char* expected;
};

class NewMapNameTest : public ::testing::Test {
 protected:
  void SetUp() override { PinClockDigit(7); }
  void TearDown() override { PinClockDigit(-1); }
};

TEST_F(NewMapNameTest, BuildsTheNameFromTheFileName) {
  const NameCase cases[] = {
      // The worked examples.
      {"D:\\Tracks\\Hill.PAK", kNational, "Hill00007Map"},
      {"D:\\Tracks\\Hill.PAK", kSupercross, "Hill0000007Map"},
      {"D:\\Tracks\\Canyon Run 2.PAK", kNational, "Ca_Run_27Map"},
      {"D:\\Tracks\\Canyon Run 2.PAK", kSupercross, "Caon_Run_27Map"},
      {"D:\\Tracks\\abcdefgh.PAK", kNational, "abcdefgh7Map"},
      {"D:\\Tracks\\abcdefghi.PAK", kNational, "abdefghi7Map"},
      {"D:\\Tracks\\.PAK", kNational, "000000007Map"},
      {"D:\\Tracks\\.PAK", kSupercross, "0000000007Map"},
      // Thresholds: one below keeps every byte, at the threshold the third byte goes.
      {"abcdefghij.PAK", kSupercross, "abcdefghij7Map"},
      {"abcdefghijk.PAK", kSupercross, "abdefghijk7Map"},
      {"abcdefghijklmnopqrstuvwxyz.PAK", kNational, "abuvwxyz7Map"},
      {"abcdefghijklmnopqrstuvwxyz.PAK", kSupercross, "abstuvwxyz7Map"},
      // Any kind flag but 0 is National.
      {"Hill.PAK", -5, "Hill00007Map"},
      // Spaces become underscores; dropped middle spaces leave nothing.
      {"a b.PAK", kNational, "a_b000007Map"},
      {"a  middle   gone  z.PAK", kNational, "a_one__z7Map"},
      // The last four bytes go whatever they are.
      {"Hill.txt", kNational, "Hill00007Map"},
      {"Hillside", kNational, "Hill00007Map"},
      {"Hill", kNational, "000000007Map"},
      {"Hil", kNational, "Hil000007Map"},
      {"", kNational, "000000007Map"},
      {"", kSupercross, "0000000007Map"},
      // A trailing separator leaves an empty name part.
      {"D:\\Tracks\\", kNational, "000000007Map"},
      {"D:\\Tracks\\", kSupercross, "0000000007Map"},
      // The directory never contributes, even with spaces or ".PAK" in it.
      {"D:\\My Tracks.PAK\\Hill.PAK", kNational, "Hill00007Map"},
      {"C:/Games/My Tracks/Hill.PAK", kNational, "Hill00007Map"},
      {"/home/rider/my tracks/Hill.PAK", kSupercross, "Hill0000007Map"},
      {"D:\\mixed/slash\\Hill.PAK", kNational, "Hill00007Map"},
      {"D:\\mixed\\slash/Hill.PAK", kNational, "Hill00007Map"},
      // Other punctuation and dots stay.
      {"a.b-c_d.PAK", kNational, "a.b-c_d07Map"},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(NewMapName(c.path, c.kind), c.expected) << "path " << c.path << " kind " << c.kind;
  }
}

TEST_F(NewMapNameTest, LeavesBytesAboveAsciiAndNulAsTheyAre) {
  const std::string name = "\xC4\xE9\xFF\x80";
  EXPECT_EQ(NewMapName("D:\\" + name + ".PAK", kNational), name + "00007Map");
  const std::string withNul("a\0b", 3);
  EXPECT_EQ(NewMapName(withNul + ".PAK", kNational), withNul + "000007Map");
}

TEST_F(NewMapNameTest, HasTheStockNameLengthForEveryNonEmptyBase) {
  std::string base;
  for (int length = 1; length <= 40; ++length) {
    base += static_cast<char>('a' + length % 26);
    EXPECT_EQ(NewMapName(base + ".PAK", kNational).size(), 12u) << base;
    EXPECT_EQ(NewMapName(base + ".PAK", kSupercross).size(), 14u) << base;
  }
}

TEST_F(NewMapNameTest, TakesTheClockDigit) {
  for (int digit = 0; digit <= 9; ++digit) {
    PinClockDigit(digit);
    const std::string national = NewMapName("Hill.PAK", kNational);
    const std::string supercross = NewMapName("Hill.PAK", kSupercross);
    EXPECT_EQ(national[8], '0' + digit);
    EXPECT_EQ(supercross[10], '0' + digit);
  }
}

TEST(ClockDigitTest, ReadsTheLocalClockWhenNotPinned) {
  PinClockDigit(-1);
  // Retry across a change of second between the readings.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int before = LocalClockSeconds();
    const int digit = ClockDigit();
    if (LocalClockSeconds() != before) continue;
    EXPECT_EQ(digit, before % 10);
    return;
  }
  FAIL() << "the clock changed its second during every reading";
}

}  // namespace
