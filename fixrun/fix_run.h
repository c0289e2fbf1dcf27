// One press of "&Fix Track Map": choose a track file, test its path, repair it, report.
#pragma once

#include <windows.h>
// Needs the types of windows.h before it.
#include <commdlg.h>

// What a fix run asks the open-file dialog for: its caption, its initial file name, its filter,
// the extension it adds to a bare name, and its flags: one existing file, Explorer style, a
// shortcut as itself; no multiple selection despite the caption, and the read-only box stays.
inline constexpr char kTrackCaption[] =
    "Select multiple files by holding down CTRL and clicking...";
inline constexpr char kTrackFileSpec[] = "*.pak";
inline constexpr char kTrackFilter[] = "DRT Track Files  (*.PAK)|*.PAK|All Files (*.*)|*.*";
inline constexpr char kTrackExtension[] = "PAK";
inline constexpr DWORD kTrackDialogFlags =
    OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_NODEREFERENCELINKS;

// The title of the message box that shows a refused path.
inline constexpr char kRefusalTitle[] = "Corvelane";

// Asks for a track file in the open-file dialog, repairs it and writes the report into the
// status bar of mainDialog (IDC_STATUSBAR); a refused path is shown in a message box first.
void RunFixTrackMap(HWND mainDialog);
