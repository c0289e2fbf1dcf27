// The file primitives under both programs, on real files: renames that never replace, links
// found however they are shown, reasons in words, names outside any code page, and paths split
// the same way everywhere.
#include "files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "disk.h"
#include "paths.h"

namespace {

using files::AnsiPath;
using files::FileHandle;
using files::Utf8Path;

class FilesTest : public TempFolderTest {};

// Both kinds of path take the same rules; a rename onto anything that exists changes nothing.
TEST_F(FilesTest, RenameNeverReplaces) {
  struct Case {
    const char* name;
    bool targetExists;
    bool targetFolder;
  };
  for (const bool utf8 : {false, true}) {
    for (const Case& c :
         {Case{"free", false, false}, Case{"file", true, false}, Case{"folder", true, true}}) {
      SCOPED_TRACE(std::string(c.name) + (utf8 ? " utf8" : " ansi"));
      const std::string from = PathOf(std::string("from-") + c.name + (utf8 ? "-u" : "-a"));
      const std::string to = PathOf(std::string("to-") + c.name + (utf8 ? "-u" : "-a"));
      ASSERT_TRUE(WriteBytes(from, "moving"));
      if (c.targetFolder) {
        ASSERT_TRUE(MakeDirectory(to));
      } else if (c.targetExists) {
        ASSERT_TRUE(WriteBytes(to, "staying"));
      }
      std::string error;
      const bool moved = utf8 ? files::RenameNoReplace(Utf8Path{from}, Utf8Path{to}, error)
                              : files::RenameNoReplace(AnsiPath{from}, AnsiPath{to}, error);
      EXPECT_EQ(moved, !c.targetExists) << error;
      if (moved) {
        EXPECT_FALSE(PathExists(from));
        EXPECT_EQ(ContentOf(to), "moving");
      } else {
        EXPECT_EQ(ContentOf(from), "moving");
        if (!c.targetFolder) {
          EXPECT_EQ(ContentOf(to), "staying");
        }
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find_first_of("0123456789"), std::string::npos) << error;
      }
    }
  }
}

// Wine shows no symbolic link as such: only the final path of the open file tells.
TEST_F(FilesTest, LinksAreFoundByWhatWasOpened) {
  ASSERT_TRUE(MakeDirectory(PathOf("other")));
  const std::string plain = PathOf("Plain.PAK");
  const std::string far = PathOf("other") + kSeparator + "Far.PAK";
  ASSERT_TRUE(WriteBytes(plain, "plain"));
  ASSERT_TRUE(WriteBytes(far, "far"));
  struct Case {
    const char* name;
    std::string target;  // what a symbolic link at name leads to; empty: plain itself
    bool link;
  };
  for (const Case& c : {Case{"Plain.PAK", "", false}, Case{"Near.PAK", "Plain.PAK", true},
                        Case{"Away.PAK", far, true}}) {
    SCOPED_TRACE(c.name);
    const std::string path = PathOf(c.name);
    if (!c.target.empty() && !MakeLink(c.target, path)) GTEST_SKIP() << "no links here";
    std::string error;
    {
      FileHandle file;
      ASSERT_TRUE(files::OpenExisting(Utf8Path{path}, files::Access::kRead,
                                      files::Sharing::kReaders, file, error))
          << error;
      EXPECT_EQ(files::ReachedThroughLink(Utf8Path{path}, file), c.link);
    }
    FileHandle ansi;
    ASSERT_TRUE(files::OpenExisting(AnsiPath{path}, files::Access::kRead, files::Sharing::kNone,
                                    ansi, error))
        << error;
    EXPECT_EQ(files::ReachedThroughLink(AnsiPath{path}, ansi), c.link);
  }
}

TEST_F(FilesTest, RefusalsAreInWords) {
  FileHandle file;
  std::string error;
  EXPECT_FALSE(files::OpenExisting(Utf8Path{folder_}, files::Access::kRead,
                                   files::Sharing::kReaders, file, error));
  EXPECT_EQ(error, "is a folder");
  const std::string missing = PathOf("missing.PAK");
  FileHandle none;
  EXPECT_FALSE(files::OpenExisting(Utf8Path{missing}, files::Access::kRead,
                                   files::Sharing::kReaders, none, error));
  EXPECT_EQ(error, "no such file");
  const std::string taken = PathOf("taken.PAK");
  ASSERT_TRUE(WriteBytes(taken, "x"));
  FileHandle created;
  EXPECT_FALSE(files::CreateNew(Utf8Path{taken}, 0644, created, error));
  EXPECT_EQ(error, "a file of that name exists");
  EXPECT_EQ(ContentOf(taken), "x");
}

// Cyrillic, Chinese and a Latin-1 accent: written, listed and renamed under the name given.
TEST_F(FilesTest, NamesOutsideTheCodePageKeepTheirBytes) {
  const std::vector<std::string> names = {"\xD0\xA2\xD1\x80\xD0\xB0\xD1\x81\xD1\x81\xD0\xB0.PAK",
                                          "\xE8\xB5\x9B\xE9\x81\x93.PAK", "Cr\xC3\xA8me.PAK"};
  for (const std::string& name : names) {
    const std::string path = files::Join(folder_, name);
    FileHandle file;
    std::string error;
    ASSERT_TRUE(files::CreateNew(Utf8Path{path}, 0644, file, error)) << error;
    ASSERT_TRUE(files::WriteAt(file, 0, name.data(), name.size(), error)) << error;
    ASSERT_TRUE(files::CloseFile(file, error)) << error;
    const std::string moved = path + ".bak";
    ASSERT_TRUE(files::RenameNoReplace(Utf8Path{path}, Utf8Path{moved}, error)) << error;
    files::FileFacts facts;
    bool missing = false;
    ASSERT_TRUE(files::FactsAt(Utf8Path{moved}, facts, missing));
    EXPECT_EQ(facts.size, static_cast<std::int64_t>(name.size()));
  }
  std::vector<std::string> listed;
  std::string error;
  ASSERT_TRUE(files::ListFolder(Utf8Path{folder_}, listed, error)) << error;
  std::sort(listed.begin(), listed.end());
  std::vector<std::string> expected;
  for (const std::string& name : names) expected.push_back(name + ".bak");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listed, expected);
}

TEST(PathsTest, SplitsAndJoinsAlike) {
  const std::string sep(1, files::kSeparator);
  struct Case {
    std::string path;
    std::string folder;
    std::string name;
  };
  for (const Case& c : {Case{"Hill.PAK", "", "Hill.PAK"}, Case{"a/Hill.PAK", "a/", "Hill.PAK"},
                        Case{"a" + sep + "b" + sep + "x.pak", "a" + sep + "b" + sep, "x.pak"},
                        Case{"a/", "a/", ""}}) {
    EXPECT_EQ(files::FolderPrefix(c.path), c.folder) << c.path;
    EXPECT_EQ(files::NameOf(c.path), c.name) << c.path;
  }
  // A track path as Windows gives it is split at either slash, on every platform.
  EXPECT_EQ(files::NameOf("D:\\My Tracks.PAK\\Hill.PAK", files::kWindowsSeparators), "Hill.PAK");
  EXPECT_EQ(files::Join("", "x"), "x");
  EXPECT_EQ(files::Join("a", "x"), "a" + sep + "x");
  EXPECT_EQ(files::Join("a/", "x"), "a/x");
}

}  // namespace
