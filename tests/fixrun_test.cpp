// One press of the button without the window: the open-file request's buffers and record, the
// path tests and report texts, and a chosen path carried through to the files on disk.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "clock.h"
#include "current_directory.h"
#include "disk.h"
#include "fix_report.h"
#include "fix_run.h"
#include "open_file_dialog.h"
#include "open_file_request.h"

namespace {

std::string Bytes(const char* text, std::size_t size) { return std::string(text, size); }

// ---- The filter list ----------------------------------------------------------------------

struct FilterCase {
  std::string filter;
  std::string list;
};

TEST(FilterListTest, BarsBecomeNulsAndTwoNulsEndTheList) {
  const FilterCase cases[] = {
      {"a|b", Bytes("a\0b\0\0", 5)},
      {"", Bytes("\0\0", 2)},
      {"a||b|", Bytes("a\0\0b\0\0\0", 7)},
      {"no bar", Bytes("no bar\0\0", 8)},
  };
  for (const FilterCase& c : cases) EXPECT_EQ(MakeFilterList(c.filter), c.list) << c.filter;
}

// ---- Bounded copies into the fixed buffers ------------------------------------------------

// A buffer of size bytes, filled with a sentinel so that a write past the copy shows.
std::string CopyIntoSentinelBuffer(const std::string& text, std::size_t size) {
  std::string buffer(size + 4, '#');
  CopyBounded(text, &buffer[0], size);
  return buffer;
}

TEST(CopyBoundedTest, CopiesUpToTheFirstNulAndAtMostOneByteLessThanTheBuffer) {
  struct Case {
    std::string text;
    std::size_t size;
    std::string expected;  // the whole buffer and the four sentinel bytes after it
  };
  const Case cases[] = {
      {std::string(300, 'c'), 256, std::string(255, 'c') + '\0' + "####"},
      {std::string(255, 'c'), 256, std::string(255, 'c') + '\0' + "####"},
      {std::string(254, 'c'), 256, std::string(254, 'c') + '\0' + "#" + "####"},
      {"PAK", 10, Bytes("PAK\0######", 10) + "####"},
      {"ABCDEFGHIJKL", 10, Bytes("ABCDEFGHI\0", 10) + "####"},
      {Bytes("PA\0K", 4), 10, Bytes("PA\0#######", 10) + "####"},
      {"", 10, Bytes("\0#########", 10) + "####"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CopyIntoSentinelBuffer(c.text, c.size), c.expected)
        << c.text.size() << " bytes into " << c.size;
  }
}

// ---- The file buffer ----------------------------------------------------------------------

TEST(FileBufferTest, HoldsTheFileSpecFollowedByNulsToItsEnd) {
  std::string buffer(4096, '#');
  FillFileBuffer("*.pak", &buffer[0], buffer.size());
  EXPECT_EQ(buffer, "*.pak" + std::string(4091, '\0'));
}

TEST(FileBufferTest, FileSpecOf4096BytesOrMoreLeavesTheLastByteNul) {
  for (std::size_t length : {4095u, 4096u, 5000u}) {
    std::string buffer(4096, '#');
    FillFileBuffer(std::string(length, 'f'), &buffer[0], buffer.size());
    EXPECT_EQ(buffer.find_first_not_of('f'), 4095u) << length;
    EXPECT_EQ(buffer[4095], '\0') << length;
  }
}

// ---- The answer, trimmed ------------------------------------------------------------------

TEST(TrimTrailingNulsTest, RemovesOnlyTheNulsAtTheEnd) {
  struct Case {
    std::string buffer;
    std::string trimmed;
  };
  const Case cases[] = {
      {"D:\\Tracks\\Hill.PAK" + std::string(4078, '\0'), "D:\\Tracks\\Hill.PAK"},
      {std::string(4096, '\0'), ""},
      {Bytes("a\0b\0\0", 5), Bytes("a\0b", 3)},
      {Bytes("\0\0x", 3), Bytes("\0\0x", 3)},
      {std::string(4096, 'p'), std::string(4096, 'p')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TrimTrailingNuls(c.buffer.data(), c.buffer.size()), c.trimmed) << c.trimmed;
  }
}

// ---- The request record, without showing the dialog ---------------------------------------

// Runs a test case in a fresh folder that is also the current directory.
class InFolderTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ASSERT_FALSE(folder_.empty());
    previous_ = CurrentDirectory();
    ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
  }
  void TearDown() override {
    SetCurrentDirectoryA(previous_.c_str());
    TempFolderTest::TearDown();
  }
  std::string previous_;
};

using OpenFileRequestTest = InFolderTest;

// The fix run's own settings, checked against the dialog the program must ask for.
TEST_F(OpenFileRequestTest, TrackFileSettingsFillEveryMemberOfTheRecord) {
  OpenFileRequest request;
  std::memset(&request.record, 0x5A, sizeof request.record);
  PrepareOpenFileRequest(request, nullptr, kTrackCaption, kTrackFileSpec, "D:\\Tracks",
                         kTrackFilter, kTrackExtension, kTrackDialogFlags);
  const OPENFILENAMEA& record = request.record;

  EXPECT_EQ(record.lStructSize, static_cast<DWORD>(OPENFILENAME_SIZE_VERSION_400A));
  EXPECT_EQ(record.hwndOwner, nullptr);
  EXPECT_EQ(Bytes(record.lpstrFilter, 52),
            Bytes("DRT Track Files  (*.PAK)\0*.PAK\0All Files (*.*)\0*.*\0\0", 52));
  EXPECT_EQ(record.nFilterIndex, 1u);
  EXPECT_EQ(record.lpstrFile, request.file);
  EXPECT_EQ(record.nMaxFile, 4096u);
  EXPECT_EQ(Bytes(record.lpstrFile, 4096), "*.pak" + std::string(4091, '\0'));
  EXPECT_EQ(record.lpstrFileTitle, request.fileTitle);
  EXPECT_EQ(record.nMaxFileTitle, 256u);
  EXPECT_EQ(Bytes(record.lpstrFileTitle, 256), std::string(256, '\0'));
  EXPECT_STREQ(record.lpstrInitialDir, "D:\\Tracks");
  EXPECT_STREQ(record.lpstrTitle, "Select multiple files by holding down CTRL and clicking...");
  EXPECT_EQ(record.Flags,
            static_cast<DWORD>(OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_NODEREFERENCELINKS));
  EXPECT_STREQ(record.lpstrDefExt, "PAK");

  EXPECT_EQ(record.hInstance, nullptr);
  EXPECT_EQ(record.lpstrCustomFilter, nullptr);
  EXPECT_EQ(record.nMaxCustFilter, 0u);
  EXPECT_EQ(record.nFileOffset, 0u);
  EXPECT_EQ(record.nFileExtension, 0u);
  EXPECT_EQ(record.lCustData, 0);
  EXPECT_EQ(record.lpfnHook, nullptr);
  EXPECT_EQ(record.lpTemplateName, nullptr);
}

TEST_F(OpenFileRequestTest, EmptyTextsGiveTheDialogsDefaultsButAlwaysAnExtensionBuffer) {
  OpenFileRequest request;
  const HWND owner = reinterpret_cast<HWND>(0x1234);
  PrepareOpenFileRequest(request, owner, "", "", "", "", "", 0);
  EXPECT_EQ(request.record.hwndOwner, owner);
  EXPECT_EQ(request.record.lpstrTitle, nullptr);
  ASSERT_NE(request.record.lpstrDefExt, nullptr);
  EXPECT_STREQ(request.record.lpstrDefExt, "");
  EXPECT_EQ(Bytes(request.record.lpstrFilter, 2), Bytes("\0\0", 2));
  // An empty initial directory is the process's current directory, read at this moment.
  EXPECT_STREQ(request.record.lpstrInitialDir, folder_.c_str());
}

TEST_F(OpenFileRequestTest, LongTextsAreCutToTheirBuffers) {
  OpenFileRequest request;
  PrepareOpenFileRequest(request, nullptr, std::string(300, 't'), std::string(5000, 'f'),
                         std::string(400, 'd'), kTrackFilter, "EXTENSION1", kTrackDialogFlags);
  // Each buffer holds the text's first bytes and then a NUL: its length as a C string.
  EXPECT_EQ(std::strlen(request.record.lpstrTitle), 255u);
  EXPECT_EQ(request.record.lpstrTitle[0], 't');
  EXPECT_EQ(std::strlen(request.record.lpstrInitialDir), 255u);
  EXPECT_EQ(request.record.lpstrInitialDir[254], 'd');
  EXPECT_STREQ(request.record.lpstrDefExt, "EXTENSION");
  EXPECT_EQ(std::strlen(request.record.lpstrFile), 4095u);
  EXPECT_EQ(request.record.lpstrFile[4094], 'f');
}

TEST_F(OpenFileRequestTest, CurrentDirectoryIsTheFolderSetLast) {
  EXPECT_EQ(CurrentDirectory(), folder_);
  ASSERT_TRUE(MakeDirectory(PathOf("Tracks")));
  ASSERT_TRUE(SetCurrentDirectoryA(PathOf("Tracks").c_str()));
  EXPECT_EQ(CurrentDirectory(), PathOf("Tracks"));
}

// ---- Path tests and report texts ----------------------------------------------------------

TEST(RefusalReportTest, RefusesShortPathsAndPathsNotEndingInDotPakInAnyCase) {
  struct Case {
    std::string path;
    std::string report;  // empty: the path goes on to the repair
  };
  const Case cases[] = {
      {"", " - too short for a pak file"},
      {"PAK", "PAK - too short for a pak file"},
      {".PA", ".PA - too short for a pak file"},
      {"a.P", "a.P - too short for a pak file"},
      {".PAK", ""},
      {".pak", ""},
      {"D:\\Tracks\\Hill.PAK", ""},
      {"D:\\Tracks\\Hill.pak", ""},
      {"D:\\Tracks\\Hill.Pak", ""},
      {"x.pAk", ""},
      {"D:\\Tracks\\notes.txt", "D:\\Tracks\\notes.txt is not a PAK file"},
      {"D:\\Tracks\\Hill.PAKS", "D:\\Tracks\\Hill.PAKS is not a PAK file"},
      {"D:\\Tracks\\Hill.PA", "D:\\Tracks\\Hill.PA is not a PAK file"},
      {"D:\\Tracks\\Hill.PAK.bak", "D:\\Tracks\\Hill.PAK.bak is not a PAK file"},
      {"D:\\Tracks\\Hill.PAK.lnk", "D:\\Tracks\\Hill.PAK.lnk is not a PAK file"},
      {"D:\\Tracks\\Hill_PAK", "D:\\Tracks\\Hill_PAK is not a PAK file"},
      {"Hill.PA\xCB", "Hill.PA\xCB is not a PAK file"},
      {"Hill.P\xC1K", "Hill.P\xC1K is not a PAK file"},
  };
  for (const Case& c : cases) EXPECT_EQ(RefusalReport(c.path), c.report) << c.path;
}

TEST(RepairReportTest, NamesTheCancelledDialogAndTheRefusalBox) {
  EXPECT_STREQ(kNoFileSelected, "No file(s) selected.");
  EXPECT_STREQ(kRefusalTitle, "Corvelane");
}

TEST(RepairReportTest, JoinsPathAndMessageByteForByte) {
  struct Case {
    std::int32_t flag;
    std::string message;
    std::string report;
  };
  const std::string path = "D:\\Tracks\\Hill.PAK";
  const Case cases[] = {
      {1, "Hill00007Map", "D:\\Tracks\\Hill.PAK - Hill00007Map"},
      {1, " already fixed", "D:\\Tracks\\Hill.PAK -  already fixed"},
      {0, "map name isn't 12 chars", "Error fixing D:\\Tracks\\Hill.PAK - map name isn't 12 chars"},
      {0, "map name isn't 14 chars", "Error fixing D:\\Tracks\\Hill.PAK - map name isn't 14 chars"},
      {0, "", "Error fixing D:\\Tracks\\Hill.PAK - "},
      {-1, "x", "D:\\Tracks\\Hill.PAK - x"},
  };
  for (const Case& c : cases) EXPECT_EQ(RepairReport(path, c.flag, c.message), c.report);
}

// ---- A chosen path, through the tests and the repair to the disk ---------------------------

class FixChosenTrackTest : public InFolderTest {
 protected:
  void SetUp() override {
    InFolderTest::SetUp();
    PinClockDigit(7);
  }
  void TearDown() override {
    PinClockDigit(-1);
    InFolderTest::TearDown();
  }
};

const std::string kNational = Bytes("PAK\0National_Map;  The Sun|National_Map", 40);

TEST_F(FixChosenTrackTest, LowerCaseExtensionIsRepairedAndReportedInItsOwnCase) {
  const std::string track = PathOf("Hill.pak");
  ASSERT_TRUE(WriteBytes(track, kNational));
  std::string report;
  EXPECT_TRUE(FixChosenTrack(track, report));
  EXPECT_EQ(report, track + " - Hill00007Map");
  EXPECT_EQ(ContentOf(track), Bytes("PAK\0Hill00007Map;TDFIX   1|Hill00007Map", 40));
  EXPECT_EQ(ContentOf(track + ".bak"), kNational);
}

TEST_F(FixChosenTrackTest, BackupFileChosenUnderAllFilesIsRefusedAndNothingIsTouched) {
  const std::string track = PathOf("Hill.PAK");
  ASSERT_TRUE(WriteBytes(track, "repaired once"));
  ASSERT_TRUE(WriteBytes(track + ".bak", kNational));
  std::string report;
  EXPECT_FALSE(FixChosenTrack(track + ".bak", report));
  EXPECT_EQ(report, track + ".bak is not a PAK file");
  EXPECT_EQ(ContentOf(track), "repaired once");
  EXPECT_EQ(ContentOf(track + ".bak"), kNational);
  EXPECT_FALSE(PathExists(track + ".bak.bak"));
}

TEST_F(FixChosenTrackTest, ShortPathIsRefusedBeforeTheFileIsOpened) {
  // "PAK" names a file in the current directory: a repair would have turned it into PAK.bak.
  ASSERT_TRUE(WriteBytes(PathOf("PAK"), kNational));
  std::string report;
  EXPECT_FALSE(FixChosenTrack("PAK", report));
  EXPECT_EQ(report, "PAK - too short for a pak file");
  EXPECT_EQ(ContentOf(PathOf("PAK")), kNational);
  EXPECT_FALSE(PathExists(PathOf("PAK.bak")));
}

TEST_F(FixChosenTrackTest, TrackWithoutStockNameIsReportedAlreadyFixedWithTwoSpaces) {
  const std::string track = PathOf("Hill.PAK");
  ASSERT_TRUE(WriteBytes(track, "national_map;TDFIX   1"));
  std::string report;
  EXPECT_TRUE(FixChosenTrack(track, report));
  EXPECT_EQ(report, track + " -  already fixed");
  EXPECT_EQ(ContentOf(track), "national_map;TDFIX   1");
}

TEST_F(FixChosenTrackTest, WrongNameLengthIsReportedAsAnErrorWithItsMessage) {
  const std::string track = PathOf(".PAK");
  ASSERT_TRUE(WriteBytes(track, "Supercross_Map"));
  std::string report;
  EXPECT_TRUE(FixChosenTrack(track, report));
  EXPECT_EQ(report, "Error fixing " + track + " - map name isn't 14 chars");
  EXPECT_EQ(ContentOf(track), "Supercross_Map");
}

TEST_F(FixChosenTrackTest, FailedFileOperationEndsTheReportAfterTheHyphen) {
  // A folder holds the backup's name: the rename cannot happen.
  const std::string track = PathOf("Hill.PAK");
  ASSERT_TRUE(WriteBytes(track, kNational));
  ASSERT_TRUE(MakeDirectory(track + ".bak"));
  std::string report;
  EXPECT_TRUE(FixChosenTrack(track, report));
  EXPECT_EQ(report, "Error fixing " + track + " - ");
  EXPECT_EQ(ContentOf(track), kNational);
  EXPECT_TRUE(IsDirectory(track + ".bak"));
}

}  // namespace
