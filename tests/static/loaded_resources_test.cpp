// The compiled resources as Windows itself loads them: this test program links the same resources
// object library as the executable, so it proves that the library carries them into an exe and
// that the loader accepts the icon and the version block that windres wrote.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

const WORD kLangEnUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Owns an icon handle; destroys it on every path.
struct IconGuard {
  HICON icon;
  explicit IconGuard(HICON i) : icon(i) {}
  ~IconGuard() {
    if (icon) DestroyIcon(icon);
  }
  IconGuard(const IconGuard&) = delete;
  IconGuard& operator=(const IconGuard&) = delete;
};

// Owns a GDI object handle; deletes it on every path.
struct GdiGuard {
  HGDIOBJ object;
  explicit GdiGuard(HGDIOBJ o) : object(o) {}
  ~GdiGuard() {
    if (object) DeleteObject(object);
  }
  GdiGuard(const GdiGuard&) = delete;
  GdiGuard& operator=(const GdiGuard&) = delete;
};

// The size of the colour bitmap that Windows made of icon group 102 when asked for side x side.
SIZE LoadedIconSize(int side) {
  SIZE size = {0, 0};
  IconGuard icon(static_cast<HICON>(
      LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(102), IMAGE_ICON, side, side, 0)));
  ICONINFO info = {};
  if (!icon.icon || !GetIconInfo(icon.icon, &info)) return size;
  GdiGuard colour(info.hbmColor);
  GdiGuard mask(info.hbmMask);
  BITMAP bitmap = {};
  if (colour.object && GetObjectA(colour.object, sizeof bitmap, &bitmap) == sizeof bitmap) {
    size.cx = bitmap.bmWidth;
    size.cy = bitmap.bmHeight;
  }
  return size;
}

// This program's whole version block as GetFileVersionInfoA hands it out; empty on failure.
std::string OwnVersionBlock() {
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return std::string();
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  std::string block(size, '\0');
  if (size == 0 || !GetFileVersionInfoA(path, 0, size, &block[0])) return std::string();
  return block;
}

// The bytes of a version string value without its terminating NUL; "<missing>" when absent.
std::string VersionString(std::string& block, const char* key) {
  std::string query = std::string("\\StringFileInfo\\040904B0\\") + key;
  void* value = nullptr;
  UINT chars = 0;
  if (!VerQueryValueA(block.data(), query.c_str(), &value, &chars) || !value) return "<missing>";
  std::string text(static_cast<const char*>(value), chars);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

TEST(LoadedResources, IconImageAndGroupAreFoundInUsEnglish) {
  HMODULE self = GetModuleHandleA(nullptr);
  HRSRC image = FindResourceExA(self, MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(1), kLangEnUs);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(SizeofResource(self, image), 2216u);
  HRSRC group = FindResourceExA(self, MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(102), kLangEnUs);
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(SizeofResource(self, group), 6u + 14u);
  EXPECT_EQ(FindResourceA(self, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)), nullptr)
      << "a manifest would give the controls the themed look";
}

TEST(LoadedResources, IconLoadsAtTheLargeAndTheSmallSize) {
  SIZE large = LoadedIconSize(32);
  EXPECT_EQ(large.cx, 32);
  EXPECT_EQ(large.cy, 32);
  // Windows shrinks the one 32x32 image for the title bar and the taskbar.
  SIZE small = LoadedIconSize(16);
  EXPECT_EQ(small.cx, 16);
  EXPECT_EQ(small.cy, 16);
}

TEST(LoadedResources, VersionBlockReadsBackThroughTheVersionCalls) {
  std::string block = OwnVersionBlock();
  ASSERT_FALSE(block.empty());
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size));
  ASSERT_EQ(fixed_size, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwFileOS, 4u);
  EXPECT_EQ(fixed->dwFileType, 1u);

  EXPECT_EQ(VersionString(block, "FileDescription"),
            "Provides a unique name to the track map files of user made Trailfury user made "
            "tracks.");
  EXPECT_EQ(VersionString(block, "FileVersion"), "1.00.0001");
  EXPECT_EQ(VersionString(block, "ProductVersion"), "1.00.0001");

  WORD* translation = nullptr;
  UINT translation_size = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &translation_size));
  ASSERT_EQ(translation_size, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 0x04B0);
}

}  // namespace
