#include "fix_run.h"

#include <string>

#include "control_ids.h"
#include "current_directory.h"
#include "fix_report.h"
#include "open_file_dialog.h"

namespace {

static_assert(kTrackDialogFlags == 0x00181000, "the track file dialog's flags");

// Once the main dialog is gone, the lookup finds nothing and the text goes nowhere.
void SetStatusText(HWND mainDialog, const std::string& text) {
  SetWindowTextA(GetDlgItem(mainDialog, IDC_STATUSBAR), text.c_str());
}

// Shows the wait cursor while it lives, and then the cursor it replaced: the dialog cannot answer
// while a repair runs, and a large track takes seconds.
struct WaitCursor {
  HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  ~WaitCursor() { SetCursor(previous); }
  WaitCursor() = default;
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

void RunFixTrackMap(HWND mainDialog) {
  std::string chosenPath = kTrackFileSpec;
  const std::string startDirectory = CurrentDirectory();
  // No owner: the main dialog stays enabled while the dialog and the message box are open.
  if (!ShowOpenFileDialog(nullptr, kTrackCaption, chosenPath, startDirectory, kTrackFilter,
                          kTrackExtension, kTrackDialogFlags)) {
    SetStatusText(mainDialog, kNoFileSelected);
    return;
  }
  const std::string refusal = RefusalReport(chosenPath);
  if (!refusal.empty()) {
    MessageBoxA(nullptr, refusal.c_str(), kRefusalTitle, MB_OK);
    SetStatusText(mainDialog, refusal);
    return;
  }
  const WaitCursor waiting;  // from here until the report is written, whatever the outcome
  SetStatusText(mainDialog, RepairChosenTrack(chosenPath));
}
