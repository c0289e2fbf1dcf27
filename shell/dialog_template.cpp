#include "dialog_template.h"

#include <cstring>

namespace {

// Shown only when the modal run calls ShowWindow: WS_VISIBLE is the one style left out.
constexpr DWORD kMainDialogStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU |
                                   DS_MODALFRAME | DS_3DLOOK | DS_NOFAILCREATE | DS_SETFONT;
static_assert((kMainDialogStyle | WS_VISIBLE) == 0x94C800D4, "the main dialog's style");
constexpr DWORD kMainDialogExStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

const char* const kMainDialogTitle = "DRT - Track Map bug fixer (v1.2)";
const char* const kMainDialogFace = "MS Sans Serif";
constexpr WORD kMainDialogPoints = 8;

// The template's strings are always WCHAR, even for CreateDialogIndirectParamA. Our texts are
// plain ASCII, so each byte is its own UTF-16 unit.
void AppendWideString(std::vector<WORD>& words, const char* text) {
  for (; *text != '\0'; ++text) words.push_back(static_cast<unsigned char>(*text));
  words.push_back(0);
}

}  // namespace

// Follows the documented DLGTEMPLATE layout: the header, then the menu and class arrays (one
// 0x0000 word each: none, and the system dialog class), the title, and, for DS_SETFONT, the point
// size and the face name. The template must start on a DWORD boundary; operator new's storage
// behind the vector is aligned for any type. With no items, nothing else needs aligning.
std::vector<WORD> BuildMainDialogTemplate() {
  DLGTEMPLATE header = {};
  header.style = kMainDialogStyle;
  header.dwExtendedStyle = kMainDialogExStyle;
  header.cdit = 0;
  header.x = 79;
  header.y = 141;
  header.cx = 379;
  header.cy = 56;
  static_assert(sizeof header == 18, "DLGTEMPLATE is packed to 18 bytes");

  std::vector<WORD> words(sizeof header / sizeof(WORD));
  std::memcpy(words.data(), &header, sizeof header);
  words.push_back(0);  // no menu
  words.push_back(0);  // the system dialog class
  AppendWideString(words, kMainDialogTitle);
  words.push_back(kMainDialogPoints);
  AppendWideString(words, kMainDialogFace);
  return words;
}
