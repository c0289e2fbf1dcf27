// One press of "&Fix Track Map": choose a track file, test its path, repair it, report.
#pragma once

#include <windows.h>

// Asks for a track file in the open-file dialog, repairs it and writes the report into the
// status bar of mainDialog (IDC_STATUSBAR); a refused path is shown in a message box first.
void RunFixTrackMap(HWND mainDialog);
