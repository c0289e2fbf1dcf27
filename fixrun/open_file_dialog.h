// The platform's open-file dialog (GetOpenFileNameA), asked for one existing file.
#pragma once

#include <windows.h>
// Needs the types of windows.h before it.
#include <commdlg.h>

#include <cstdint>
#include <string>

// The request and the fixed-size buffers it points into; it stays valid while this lives.
struct OpenFileRequest {
  OPENFILENAMEA record;
  std::string filterList;
  char caption[256];
  char initialDirectory[256];
  char defaultExtension[10];
  char file[4096];
  char fileTitle[256];
};

// Fills request from the arguments of ShowOpenFileDialog. An empty initialDirectory stands for
// the process's current directory, an empty caption for the dialog's own title.
void PrepareOpenFileRequest(OpenFileRequest& request, HWND owner, const std::string& caption,
                            const std::string& fileSpec, const std::string& initialDirectory,
                            const std::string& filter, const std::string& defaultExtension,
                            DWORD flags);

// Shows the open-file dialog and returns GetOpenFileNameA's result: non-zero when the user
// confirmed a file, zero on cancel or failure. fileSpec goes in as the initial file name and
// comes back as the file buffer without its trailing NULs: the chosen file's full path.
// filter is "text|pattern|text|pattern"; defaultExtension has no full stop.
std::int32_t ShowOpenFileDialog(HWND owner, std::string caption, std::string& fileSpec,
                                std::string initialDirectory, std::string filter,
                                std::string defaultExtension, DWORD flags);
