#include <gtest/gtest.h>

#include <string>

#include "clock.h"
#include "disk.h"
#include "repair.h"
#include "track_folder_test.h"

namespace {

const std::string kSun = ";  The Sun";
const std::string kFix = ";TDFIX   1";

class FixTrackFileTest : public TrackFolderTest {
 protected:
  // Runs a repair and records its outcome.
  std::int32_t Fix(const std::string& path) {
    message_ = "left over";
    return FixTrackFile(path, message_);
  }

  std::string Content(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(ReadBytes(path, bytes)) << path;
    return bytes;
  }

  // A failed repair: flag 0, no message, and both files exactly as given.
  void ExpectUntouchedFailure(const std::string& path, const std::string& track,
                              const std::string& backup) {
    EXPECT_EQ(Fix(path), 0);
    EXPECT_EQ(message_, "");
    EXPECT_EQ(Content(track_), track);
    EXPECT_EQ(Content(backup_), backup);
  }

  std::string message_;
};

TEST_F(FixTrackFileTest, FixesANationalTrackAndKeepsTheOriginalAsBackup) {
  const std::string original = std::string("PAK\0\x01", 5) + "National_Map" + kSun +
                               "National_MapNational_Map|Supercross_Map|" + kSun + kSun + "\xFF" +
                               kFix + "National_Map";
  ASSERT_TRUE(WriteBytes(track_, original));
  ASSERT_TRUE(WriteBytes(backup_, "an earlier backup"));

  EXPECT_EQ(Fix(track_), 1);
  EXPECT_EQ(message_, "Hill00007Map");
  const std::string n = "Hill00007Map";
  EXPECT_EQ(Content(track_), std::string("PAK\0\x01", 5) + n + kFix + n + n + "|Supercross_Map|" +
                                 kFix + kFix + "\xFF" + kFix + n);
  EXPECT_EQ(Content(backup_), original);
}

TEST_F(FixTrackFileTest, FixesASupercrossTrackWithoutMarkerSites) {
  const std::string original = "head Supercross_Map national_map Supercross_Map tail";
  ASSERT_TRUE(WriteBytes(track_, original));
  EXPECT_EQ(Fix(track_), 1);
  EXPECT_EQ(message_, "Hill0000007Map");
  EXPECT_EQ(Content(track_), "head Hill0000007Map national_map Hill0000007Map tail");
  EXPECT_EQ(Content(backup_), original);
}

TEST_F(FixTrackFileTest, RepairsABothKindsTrackOnceForEachKind) {
  const std::string original = "National_Map Supercross_Map National_Map";
  ASSERT_TRUE(WriteBytes(track_, original));
  ASSERT_EQ(Fix(track_), 1);
  const std::string once = Content(track_);
  EXPECT_EQ(once, "Hill00007Map Supercross_Map Hill00007Map");

  PinClockDigit(3);
  ASSERT_EQ(Fix(track_), 1);
  EXPECT_EQ(message_, "Hill0000003Map");
  EXPECT_EQ(Content(track_), "Hill00007Map Hill0000003Map Hill00007Map");
  EXPECT_EQ(Content(backup_), once);  // the first backup made way for the once-repaired file

  ASSERT_EQ(Fix(track_), 1);
  EXPECT_EQ(message_, " already fixed");
  EXPECT_EQ(Content(backup_), once);
}

TEST_F(FixTrackFileTest, ReportsAlreadyFixedAndKeepsTheBackup) {
  const std::string cases[] = {"", "national_map SUPERCROSS_MAP " + kSun, "Hill00007Map" + kFix,
                               std::string(1 << 16, '\0')};
  for (const std::string& content : cases) {
    ASSERT_TRUE(WriteBytes(track_, content));
    ASSERT_TRUE(WriteBytes(backup_, "the only copy of the original"));
    EXPECT_EQ(Fix(track_), 1);
    EXPECT_EQ(message_, " already fixed");
    EXPECT_EQ(Content(track_), content);
    EXPECT_EQ(Content(backup_), "the only copy of the original");
  }
}

TEST_F(FixTrackFileTest, RefusesASupercrossNameOfTheWrongLength) {
  // A file named only by its extension gets a 13-byte Supercross name.
  track_ = PathOf(".PAK");
  backup_ = track_ + ".bak";
  ASSERT_TRUE(WriteBytes(track_, "Supercross_Map" + kSun));
  ASSERT_TRUE(WriteBytes(backup_, "kept"));
  EXPECT_EQ(Fix(track_), 0);
  EXPECT_EQ(message_, "map name isn't 14 chars");
  EXPECT_EQ(Content(track_), "Supercross_Map" + kSun);
  EXPECT_EQ(Content(backup_), "kept");

  // As a National track it is fixed: no National name is ever short. (A folder of its own:
  // Wine reports a name starting with a dot hidden, so ".PAK.bak" above stays.)
  const std::string folder = PathOf("national");
  ASSERT_TRUE(MakeDirectory(folder));
  ASSERT_TRUE(WriteBytes(folder + kSeparator + ".PAK", "National_Map"));
  EXPECT_EQ(Fix(folder + kSeparator + ".PAK"), 1);
  EXPECT_EQ(message_, "000000007Map");
}

TEST_F(FixTrackFileTest, FailsForAPathThatNamesNoFileAndCreatesNothing) {
  ASSERT_TRUE(WriteBytes(backup_, "kept"));
  EXPECT_EQ(Fix(track_), 0);
  EXPECT_EQ(message_, "");
  EXPECT_FALSE(PathExists(track_));
  EXPECT_EQ(Content(backup_), "kept");
  EXPECT_EQ(Fix(PathOf("no such folder") + kSeparator + "Hill.PAK"), 0);
  EXPECT_EQ(Fix(""), 0);
}

TEST_F(FixTrackFileTest, FailsForAFolderNamedLikeATrack) {
  ASSERT_TRUE(MakeDirectory(track_));
  EXPECT_EQ(Fix(track_), 0);
  EXPECT_EQ(message_, "");
  EXPECT_TRUE(IsDirectory(track_));
  EXPECT_FALSE(PathExists(backup_));
}

TEST_F(FixTrackFileTest, FailsForAPathWithANulByteWithoutTouchingAnything) {
  // The platform would see "Hill.PAK" for both the track and its ".bak" name.
  ASSERT_TRUE(WriteBytes(track_, "National_Map"));
  EXPECT_EQ(Fix(track_ + std::string("\0x", 2)), 0);
  EXPECT_EQ(message_, "");
  EXPECT_EQ(Content(track_), "National_Map");
  EXPECT_FALSE(PathExists(backup_));
}

TEST_F(FixTrackFileTest, FailsWhenTheBackupNameCannotBeFreed) {
  ASSERT_TRUE(WriteBytes(track_, "National_Map"));
  ASSERT_TRUE(MakeDirectory(backup_));
  EXPECT_EQ(Fix(track_), 0);
  EXPECT_EQ(message_, "");
  EXPECT_EQ(Content(track_), "National_Map");
  EXPECT_TRUE(IsDirectory(backup_));
}

TEST_F(FixTrackFileTest, LeavesAHiddenBackupAloneAndFails) {
  ASSERT_TRUE(WriteBytes(track_, "National_Map"));
  ASSERT_TRUE(WriteBytes(backup_, "hidden"));
  if (!SetHidden(backup_)) GTEST_SKIP() << "no hidden attribute on this platform";
  ExpectUntouchedFailure(track_, "National_Map", "hidden");
}

TEST_F(FixTrackFileTest, FailsWhileAnotherProgramHoldsTheTrack) {
  ASSERT_TRUE(WriteBytes(track_, "National_Map"));
  ASSERT_TRUE(WriteBytes(backup_, "kept"));
  {
    ExclusiveHold hold;
    ASSERT_TRUE(HoldExclusive(track_, hold));
    EXPECT_EQ(Fix(track_), 0);
    EXPECT_EQ(message_, "");
  }
  EXPECT_EQ(Content(track_), "National_Map");
  EXPECT_EQ(Content(backup_), "kept");
  // Released: the failed repair left nothing open, and the next one goes through.
  EXPECT_EQ(Fix(track_), 1);
  ExclusiveHold after;
  EXPECT_TRUE(HoldExclusive(track_, after));
}

TEST_F(FixTrackFileTest, ReadsAReadOnlyTrackThroughTheFallback) {
  ASSERT_TRUE(WriteBytes(track_, "National_Map"));
  ASSERT_TRUE(SetReadOnly(track_, true));
  {
    OrdinaryUser user;
    EXPECT_EQ(Fix(track_), 1);
  }
  EXPECT_EQ(message_, "Hill00007Map");
  EXPECT_EQ(Content(track_), "Hill00007Map");
  EXPECT_EQ(Content(backup_), "National_Map");
  SetReadOnly(backup_, false);
}

TEST_F(FixTrackFileTest, PutsTheTrackBackWhenTheNewFileCannotBeWritten) {
  const std::string original = std::string(4096, 'x') + "National_Map" + std::string(4096, 'y');
  ASSERT_TRUE(WriteBytes(track_, original));
  ASSERT_TRUE(WriteBytes(backup_, "earlier"));
  {
    FileSizeLimit limit(1000);
    if (!limit.ok()) GTEST_SKIP() << "no per-process file size limit on this platform";
    EXPECT_EQ(Fix(track_), 0);
  }
  EXPECT_EQ(message_, "");
  EXPECT_EQ(Content(track_), original);
  // The earlier backup made way for a new one before the write failed; the track is whole.
  EXPECT_FALSE(PathExists(backup_));
  EXPECT_EQ(Fix(track_), 1);
}

TEST_F(FixTrackFileTest, HandlesPathsWithBytesAboveAscii) {
  track_ = PathOf("Hill \xE9t\xE9.PAK");
  backup_ = track_ + ".bak";
  ASSERT_TRUE(WriteBytes(track_, "National_Map"));
  EXPECT_EQ(Fix(track_), 1);
  EXPECT_EQ(message_,
            "Hill_\xE9t\xE9"
            "7Map");
  EXPECT_EQ(Content(backup_), "National_Map");
}

}  // namespace
