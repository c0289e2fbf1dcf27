// The main dialog's in-memory template: there is no dialog resource.
#pragma once

#include <windows.h>

#include <vector>

// The template of the main dialog, hidden (no WS_VISIBLE), with no items: the controls are
// created afterwards. The vector's storage is the template; pass data() to the dialog manager.
std::vector<WORD> BuildMainDialogTemplate();
