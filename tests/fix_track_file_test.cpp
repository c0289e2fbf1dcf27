#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "after_repair.h"
#include "clock.h"
#include "disk.h"
#include "process_usage.h"
#include "repair.h"
#include "track_files.h"
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

  // A failed repair: flag 0, no message, and both files exactly as given.
  void ExpectUntouchedFailure(const std::string& path, const std::string& track,
                              const std::string& backup) {
    EXPECT_EQ(Fix(path), 0);
    EXPECT_EQ(message_, "");
    EXPECT_EQ(ContentOf(track_), track);
    EXPECT_EQ(ContentOf(backup_), backup);
  }

  // Moves the test into a fresh folder of that name: track_ and backup_ lie there.
  std::string UseFolder(const std::string& name) {
    const std::string folder = PathOf(name);
    EXPECT_TRUE(MakeDirectory(folder)) << folder;
    track_ = folder + kSeparator + "Hill.PAK";
    backup_ = track_ + ".bak";
    return folder;
  }

  std::string message_;
};

const std::string kOriginal = "head National_Map" + kSun + " tail";
const std::string kRepaired = "head Hill00007Map" + kFix + " tail";
const std::string kEarlier = "an earlier backup";

// A repair that must fail with nothing touched: flag 0, no message, and the folder as given.
void ExpectNothingTouched(std::int32_t flag, const std::string& message, const std::string& folder,
                          const std::map<std::string, std::string>& files, std::size_t handles) {
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(message, "");
  ExpectAfterRepair(folder, files, handles);
}

TEST_F(FixTrackFileTest, FixesANationalTrackAndKeepsTheOriginalAsBackup) {
  const std::string original = std::string("PAK\0\x01", 5) + "National_Map" + kSun +
                               "National_MapNational_Map|Supercross_Map|" + kSun + kSun + "\xFF" +
                               kFix + "National_Map";
  ASSERT_TRUE(WriteBytes(track_, original));
  ASSERT_TRUE(WriteBytes(backup_, "an earlier backup"));

  EXPECT_EQ(Fix(track_), 1);
  EXPECT_EQ(message_, "Hill00007Map");
  const std::string n = "Hill00007Map";
  EXPECT_EQ(ContentOf(track_), std::string("PAK\0\x01", 5) + n + kFix + n + n + "|Supercross_Map|" +
                                   kFix + kFix + "\xFF" + kFix + n);
  EXPECT_EQ(ContentOf(backup_), original);
}

TEST_F(FixTrackFileTest, FixesASupercrossTrackWithoutMarkerSites) {
  const std::string original = "head Supercross_Map national_map Supercross_Map tail";
  ASSERT_TRUE(WriteBytes(track_, original));
  EXPECT_EQ(Fix(track_), 1);
  EXPECT_EQ(message_, "Hill0000007Map");
  EXPECT_EQ(ContentOf(track_), "head Hill0000007Map national_map Hill0000007Map tail");
  EXPECT_EQ(ContentOf(backup_), original);
}

TEST_F(FixTrackFileTest, RepairsABothKindsTrackOnceForEachKind) {
  const std::string original = "National_Map Supercross_Map National_Map";
  ASSERT_TRUE(WriteBytes(track_, original));
  ASSERT_EQ(Fix(track_), 1);
  const std::string once = ContentOf(track_);
  EXPECT_EQ(once, "Hill00007Map Supercross_Map Hill00007Map");

  PinClockDigit(3);
  ASSERT_EQ(Fix(track_), 1);
  EXPECT_EQ(message_, "Hill0000003Map");
  EXPECT_EQ(ContentOf(track_), "Hill00007Map Hill0000003Map Hill00007Map");
  EXPECT_EQ(ContentOf(backup_), once);  // the first backup made way for the once-repaired file

  ASSERT_EQ(Fix(track_), 1);
  EXPECT_EQ(message_, " already fixed");
  EXPECT_EQ(ContentOf(backup_), once);
}

TEST_F(FixTrackFileTest, ReportsAlreadyFixedAndKeepsTheBackup) {
  const std::string cases[] = {"", "national_map SUPERCROSS_MAP " + kSun, "Hill00007Map" + kFix,
                               std::string(1 << 16, '\0')};
  for (const std::string& content : cases) {
    ASSERT_TRUE(WriteBytes(track_, content));
    ASSERT_TRUE(WriteBytes(backup_, "the only copy of the original"));
    EXPECT_EQ(Fix(track_), 1);
    EXPECT_EQ(message_, " already fixed");
    EXPECT_EQ(ContentOf(track_), content);
    EXPECT_EQ(ContentOf(backup_), "the only copy of the original");
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
  EXPECT_EQ(ContentOf(track_), "Supercross_Map" + kSun);
  EXPECT_EQ(ContentOf(backup_), "kept");

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
  EXPECT_EQ(ContentOf(backup_), "kept");
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
  EXPECT_EQ(ContentOf(track_), "National_Map");
  EXPECT_FALSE(PathExists(backup_));
}

TEST_F(FixTrackFileTest, FailsWhenTheBackupNameCannotBeFreed) {
  ASSERT_TRUE(WriteBytes(track_, "National_Map"));
  ASSERT_TRUE(MakeDirectory(backup_));
  EXPECT_EQ(Fix(track_), 0);
  EXPECT_EQ(message_, "");
  EXPECT_EQ(ContentOf(track_), "National_Map");
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
  EXPECT_EQ(ContentOf(track_), "National_Map");
  EXPECT_EQ(ContentOf(backup_), "kept");
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
  EXPECT_EQ(ContentOf(track_), "Hill00007Map");
  EXPECT_EQ(ContentOf(backup_), "National_Map");
  SetReadOnly(backup_, false);
}

// The repair was killed by SIGXFSZ part way through the new track, leaving a truncated track
// that the next repair took for " already fixed".
TEST_F(FixTrackFileTest, FailsAWritePastTheFileSizeLimitInsteadOfDying) {
  const std::string original = std::string(4096, 'x') + "National_Map" + std::string(4096, 'y');
  ASSERT_TRUE(WriteBytes(track_, original));
  ASSERT_TRUE(WriteBytes(backup_, kEarlier));
  if (!FileSizeLimit(1000000).ok()) GTEST_SKIP() << "no per-process file size limit here";
  const std::size_t handles = OpenHandles();
  // In a child process: a repair that dies of the signal would take the test program with it.
  EXPECT_EXIT(
      {
        FileSizeLimit limit(1000);
        std::string message = "left over";
        std::exit(FixTrackFile(track_, message) == 0 && message.empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  ExpectAfterRepair(folder_, {{"Hill.PAK", original}, {"Hill.PAK.bak", kEarlier}}, handles);
  EXPECT_EQ(Fix(track_), 1);
}

// Fault: the repair read the original through the link, deleted the backup (the link's target)
// and renamed the link onto its own target's name; the original was left nowhere.
TEST_F(FixTrackFileTest, FailsForATrackThatIsALinkToItsOwnBackup) {
  for (const bool fullTarget : {false, true}) {
    const std::string folder = UseFolder(fullTarget ? "full" : "relative");
    ASSERT_TRUE(WriteBytes(backup_, kOriginal));
    if (!MakeLink(fullTarget ? backup_ : "Hill.PAK.bak", track_)) GTEST_SKIP() << "no links here";
    const std::size_t handles = OpenHandles();
    const std::int32_t flag = Fix(track_);
    ExpectNothingTouched(flag, message_, folder,
                         {{"Hill.PAK", kOriginal}, {"Hill.PAK.bak", kOriginal}}, handles);
  }
}

// Fault (under Wine): deleting "the backup" through a link to the track deleted the track.
TEST_F(FixTrackFileTest, FailsForABackupNameThatIsALinkToTheTrack) {
  ASSERT_TRUE(WriteBytes(track_, kOriginal));
  if (!MakeLink("Hill.PAK", backup_)) GTEST_SKIP() << "no links here";
  const std::size_t handles = OpenHandles();
  const std::int32_t flag = Fix(track_);
  ExpectNothingTouched(flag, message_, folder_,
                       {{"Hill.PAK", kOriginal}, {"Hill.PAK.bak", kOriginal}}, handles);
}

// Fault (under Wine): renaming a track that is a link into another folder moved the file it
// points at out of that folder. A platform that renames the link itself repairs the track; one
// that would move the file refuses.
TEST_F(FixTrackFileTest, LeavesTheFileThatATrackLinksToInItsFolder) {
  const std::string other = UseFolder("other");
  const std::string far = other + kSeparator + "Far.PAK";
  ASSERT_TRUE(WriteBytes(far, kOriginal));
  const std::string tracks = UseFolder("tracks");
  if (!MakeLink(far, track_)) GTEST_SKIP() << "no links here";
  const std::size_t handles = OpenHandles();
  const std::int32_t flag = Fix(track_);
  ExpectAfterRepair(other, {{"Far.PAK", kOriginal}}, handles, "the other folder");
  if (flag == 1) {
    EXPECT_EQ(message_, "Hill00007Map");
    // The link, now under the backup's name, still reads the original.
    ExpectAfterRepair(tracks, {{"Hill.PAK", kRepaired}, {"Hill.PAK.bak", kOriginal}}, handles);
  } else {
    ExpectNothingTouched(flag, message_, tracks, {{"Hill.PAK", kOriginal}}, handles);
  }
}

// Fault: the earlier backup was deleted before the rename, which a sticky folder then refused
// (the track is another user's there).
TEST_F(FixTrackFileTest, KeepsTheEarlierBackupWhenAStickyFolderRefusesTheRename) {
  ASSERT_TRUE(WriteBytes(track_, kOriginal));
  if (!MakeSticky(folder_)) GTEST_SKIP() << "no sticky folders here";
  OrdinaryUser user;
  if (!user.ok()) GTEST_SKIP() << "needs root, to act as another user";
  ASSERT_TRUE(WriteBytes(backup_, kEarlier));  // the repairing user's own earlier backup
  const std::size_t handles = OpenHandles();
  const std::int32_t flag = Fix(track_);
  ExpectNothingTouched(flag, message_, folder_,
                       {{"Hill.PAK", kOriginal}, {"Hill.PAK.bak", kEarlier}}, handles);
}

// Fault: as above, with a track that no one may rename.
TEST_F(FixTrackFileTest, KeepsTheEarlierBackupWhenTheTrackCannotBeRenamed) {
  ASSERT_TRUE(WriteBytes(track_, kOriginal));
  ASSERT_TRUE(WriteBytes(backup_, kEarlier));
  if (!SetImmutable(track_, true)) GTEST_SKIP() << "no immutable files here";
  const std::size_t handles = OpenHandles();
  const std::int32_t flag = Fix(track_);
  ExpectNothingTouched(flag, message_, folder_,
                       {{"Hill.PAK", kOriginal}, {"Hill.PAK.bak", kEarlier}}, handles);
  EXPECT_TRUE(SetImmutable(track_, false));
}

// Fault: the repaired track was created with the default mode, so a private track became
// readable by everyone.
TEST_F(FixTrackFileTest, KeepsThePermissionBitsOfTheTrack) {
  for (const unsigned bits : {0600u, 0444u, 0640u, 0666u}) {
    ASSERT_TRUE(WriteBytes(track_, kOriginal));
    if (!SetPermissions(track_, bits)) GTEST_SKIP() << "no permission bits here";
    ASSERT_EQ(Fix(track_), 1) << std::oct << bits;
    unsigned repaired = 0;
    ASSERT_TRUE(GetPermissions(track_, repaired));
    EXPECT_EQ(repaired, bits) << std::oct << bits;
    ASSERT_TRUE(SetPermissions(backup_, 0600));
    ASSERT_TRUE(SetPermissions(track_, 0600));
  }
}

TEST_F(FixTrackFileTest, HandlesPathsWithBytesAboveAscii) {
  track_ = PathOf("Hill \xE9t\xE9.PAK");
  backup_ = track_ + ".bak";
  ASSERT_TRUE(WriteBytes(track_, "National_Map"));
  EXPECT_EQ(Fix(track_), 1);
  EXPECT_EQ(message_,
            "Hill_\xE9t\xE9"
            "7Map");
  EXPECT_EQ(ContentOf(backup_), "National_Map");
}

}  // namespace
