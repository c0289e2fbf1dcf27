// Real Windows conditions under Wine, no injection: a backup held open by another program, paths
// longer than MAX_PATH, and names with bytes above 0x7F. The share mode is checked at every open,
// whichever process holds the file: a hold of this test's own stands for the other program (a
// held track: fix_track_file_test).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "after_repair.h"
#include "clock.h"
#include "disk.h"
#include "handle_guard.h"
#include "process_usage.h"
#include "repair.h"
#include "track_files.h"
#include "track_folder_test.h"

namespace {

const std::string kEarlier = "an earlier backup";

class WineConditionsTest : public TrackFolderTest {
 protected:
  void SetUp() override {
    TrackFolderTest::SetUp();
    original_ = MakeTrack(64 * 1024);
  }

  std::string original_;
  std::string message_;
};

TEST_F(WineConditionsTest, FailsWhileAnotherProgramHoldsTheBackup) {
  // The backup cannot be deleted, so the rename would have to replace it: it fails instead.
  ASSERT_TRUE(WriteBytes(track_, original_));
  ASSERT_TRUE(WriteBytes(backup_, kEarlier));
  const std::size_t handles = OpenHandles();
  {
    ExclusiveHold hold;
    ASSERT_TRUE(HoldExclusive(backup_, hold));
    EXPECT_EQ(FixTrackFile(track_, message_), 0);
    EXPECT_EQ(message_, "");
  }
  ExpectAfterRepair(folder_, {{"Hill.PAK", original_}, {"Hill.PAK.bak", kEarlier}}, handles);
}

// The content of a file whose path may be longer than MAX_PATH: the "\\?\" form of the wide
// calls takes any length.
std::string LongPathContent(const std::string& path) {
  std::wstring wide(path.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), &wide[0],
                                  static_cast<int>(wide.size())));
  HandleGuard file(CreateFileW((L"\\\\?\\" + wide).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return "<missing>";
  std::string bytes;
  char chunk[1 << 16];
  DWORD got = 0;
  while (ReadFile(file.value, chunk, sizeof chunk, &got, nullptr) && got > 0)
    bytes.append(chunk, got);
  return bytes;
}

// A track path of exactly length bytes, in folders of the temporary folder.
std::string PathOfLength(const std::string& folder, std::size_t length) {
  std::string path = folder;
  while (path.size() + 1 + 200 + 9 < length) {
    path += "\\" + std::string(200, 'd');
    CreateDirectoryA(path.c_str(), nullptr);
  }
  const std::size_t rest = length - path.size() - 1 - 4;
  return path + "\\" + std::string(rest, 'h') + ".PAK";
}

TEST_F(WineConditionsTest, KeepsTheTrackWhatEverThePlatformMakesOfLongPaths) {
  // 259 fits MAX_PATH but its backup name does not; 300 does not fit at all. Wine's "A" calls
  // may accept both: either outcome must keep the promise.
  for (const std::size_t length : {std::size_t{255}, std::size_t{259}, std::size_t{300}}) {
    const std::string track = PathOfLength(folder_, length);
    ASSERT_EQ(track.size(), length);
    const bool made = WriteBytes(track, original_);
    const std::int32_t flag = FixTrackFile(track, message_);
    std::printf("track path of %zu bytes: %s, repair %d\n", length,
                made ? "created" : "refused by the platform", flag);
    if (flag == 1) {
      EXPECT_TRUE(made);
      EXPECT_EQ(message_.size(), 12u);
      EXPECT_TRUE(ContentOf(track) == Repaired(original_, message_)) << length;
      // Wine's CreateFileA refuses more than MAX_PATH, its MoveFileA does not: the backup may
      // lie beyond the "A" calls' reach, so it is read through the wide form.
      EXPECT_TRUE(LongPathContent(track + ".bak") == original_) << length;
    } else {
      EXPECT_EQ(message_, "") << length;
      EXPECT_EQ(PathExists(track), made) << length;
      if (made) {
        EXPECT_TRUE(ContentOf(track) == original_) << length;
      }
      EXPECT_EQ(LongPathContent(track + ".bak"), "<missing>") << length;
    }
  }
}

TEST_F(WineConditionsTest, FixesTracksNamedWithEveryByteAbove7F) {
  // Every byte 0x80 to 0xFF, 64 to a name: each must reach the disk and come back unchanged.
  for (const int first : {0x80, 0xC0}) {
    std::string base;
    for (int byte = first; byte < first + 64; ++byte) base += static_cast<char>(byte);
    const std::string track = PathOf(base + ".PAK");
    ASSERT_TRUE(WriteBytes(track, original_));
    EXPECT_EQ(FixTrackFile(track, message_), 1);
    EXPECT_EQ(message_, base.substr(0, 2) + base.substr(58) + "7Map");
    EXPECT_TRUE(ContentOf(track) == Repaired(original_, message_));
    EXPECT_TRUE(ContentOf(track + ".bak") == original_);
    EXPECT_EQ(Entries(folder_).count(base + ".PAK.bak"), 1u);
  }
  EXPECT_EQ(Entries(folder_).size(), 4u);
}

}  // namespace
