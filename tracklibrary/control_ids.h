// The Track Library window's class, its controls' ids and its commands; the GUI test driver finds
// and drives the window by them.
#pragma once

#define TRACK_LIBRARY_CLASS L"TrackLibraryWindow"

// Controls, in Tab order. The Cancel button is IDCANCEL (2), so that Esc presses it.
#define IDC_OPEN 1001
#define IDC_ADD 1002
#define IDC_FIX_ALL 1003
#define IDC_REFIX 1004
#define IDC_RESTORE 1005
#define IDC_SAVE_REPORT 1006
#define IDC_FILTER_LABEL 1007
#define IDC_FILTER 1008
#define IDC_LIST 1009
#define IDC_DETAILS 1010
#define IDC_PROGRESS 1011
#define IDC_STATUS 1012

// Commands of the keyboard and the row menu.
#define IDM_RESCAN 1101
#define IDM_SELECT_ALL 1102
#define IDM_COPY 1103
#define IDM_FIX_SELECTED 1104
#define IDM_OPEN_FOLDER 1105
#define IDM_ROW_MENU 1106
