// The main dialog's controls: the shell creates them, a fix run writes to the status bar.
#pragma once

constexpr int IDC_STATUSBAR = 1001;  // the status bar along the bottom edge
constexpr int IDC_FIXBUTTON = 1002;  // the push button "&Fix Track Map"
