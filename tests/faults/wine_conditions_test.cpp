// Real Windows conditions under Wine, no injection: a track or backup held open by another
// process, paths longer than MAX_PATH, and names with bytes above 0x7F. Run with "--hold PATH
// NAME", this program is the other process: it holds PATH open without sharing until told.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
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

// The other process: opens path without sharing, signals NAME-held, and keeps the file open until
// NAME-release is signalled (or 30 s pass). Returns its exit code.
int HoldFile(const std::string& path, const std::string& name) {
  HandleGuard held(CreateEventA(nullptr, TRUE, FALSE, (name + "-held").c_str()));
  HandleGuard release(CreateEventA(nullptr, TRUE, FALSE, (name + "-release").c_str()));
  HandleGuard file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok() || !held.ok() || !release.ok()) {
    return 1;
  }
  SetEvent(held.value);
  return WaitForSingleObject(release.value, 30000) == WAIT_OBJECT_0 ? 0 : 2;
}

// Runs this program as another process holding path open; ends it when it goes out of scope.
class OtherProcessHold {
 public:
  explicit OtherProcessHold(const std::string& path)
      : name_("trackmapfix-hold-" + std::to_string(GetCurrentProcessId())),
        held_(CreateEventA(nullptr, TRUE, FALSE, (name_ + "-held").c_str())),
        release_(CreateEventA(nullptr, TRUE, FALSE, (name_ + "-release").c_str())),
        process_(nullptr) {
    char self[MAX_PATH];
    if (GetModuleFileNameA(nullptr, self, sizeof self) == 0) return;
    std::string command = std::string("\"") + self + "\" --hold \"" + path + "\" " + name_;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
      return;
    }
    CloseHandle(info.hThread);
    process_.value = info.hProcess;
    HANDLE waits[] = {held_.value, process_.value};
    holding_ = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
  }
  ~OtherProcessHold() {
    SetEvent(release_.value);
    if (process_.value != nullptr) WaitForSingleObject(process_.value, 20000);
  }
  bool holding() const { return holding_; }

 private:
  std::string name_;
  HandleGuard held_;
  HandleGuard release_;
  HandleGuard process_;
  bool holding_ = false;
};

class WineConditionsTest : public TrackFolderTest {
 protected:
  void SetUp() override {
    TrackFolderTest::SetUp();
    original_ = MakeTrack(64 * 1024);
  }

  std::string original_;
  std::string message_;
};

TEST_F(WineConditionsTest, FailsWhileAnotherProcessHoldsTheTrack) {
  ASSERT_TRUE(WriteBytes(track_, original_));
  ASSERT_TRUE(WriteBytes(backup_, kEarlier));
  {
    OtherProcessHold hold(track_);
    ASSERT_TRUE(hold.holding());
    const std::size_t handles = OpenHandles();
    EXPECT_EQ(FixTrackFile(track_, message_), 0);
    EXPECT_EQ(message_, "");
    EXPECT_EQ(OpenHandles(), handles);
  }
  // Read once the other process let go: it shares the file with no one.
  EXPECT_TRUE(ContentOf(track_) == original_);
  EXPECT_EQ(ContentOf(backup_), kEarlier);
  EXPECT_EQ(FixTrackFile(track_, message_), 1);
  EXPECT_TRUE(ContentOf(track_) == Repaired(original_));
}

TEST_F(WineConditionsTest, FailsWhileAnotherProcessHoldsTheBackup) {
  // The backup cannot be deleted, so the rename would have to replace it: it fails instead.
  ASSERT_TRUE(WriteBytes(track_, original_));
  ASSERT_TRUE(WriteBytes(backup_, kEarlier));
  const std::size_t handles = OpenHandles();
  {
    OtherProcessHold hold(backup_);
    ASSERT_TRUE(hold.holding());
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

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--hold") == 0) return HoldFile(argv[2], argv[3]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
