// The Track Library window: what it holds, and the procedures of its parts. One window per
// process; its state is g_window.
#pragma once

#include <windows.h>
// Needs the types of windows.h before it.
#include <commctrl.h>

#include <string>
#include <vector>

#include "handle_guard.h"
#include "list_model.h"
#include "worker.h"

struct LibraryWindow {
  HWND hwnd = nullptr;
  HWND list = nullptr;
  HWND details = nullptr;
  HWND filter = nullptr;
  HWND progress = nullptr;
  HWND cancel = nullptr;
  HWND status = nullptr;
  std::string library;  // the folder, UTF-8; empty before one is chosen
  ListModel model;
  std::vector<collection::Track> tracks;  // the last scan, for the preview
  std::string report;                     // the last scan's or run's report for people
  std::string summary;                    // the status bar's text after the last scan or run
  bool working = false;                   // a job runs; its result has not arrived
  bool closeWhenDone = false;             // the window closes once the job has stopped
  UINT dpi = 96;
  GdiGuard font;
};

// The window and everything it shows.
extern LibraryWindow g_window;

// Start-up (main.cpp): the window class; the window, which opens library when not empty.
bool RegisterLibraryWindow(HINSTANCE instance);
LRESULT CALLBACK LibraryWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Controls and their places (layout.cpp).
void CreateControls(HWND hwnd);
void LayOut();
void UseDpi(UINT dpi);
int Scaled(int pixelsAt96);
void ShowWorking(bool working);

// The list (list_view.cpp).
void AddColumns();
// Shows the rows again (sorted, filtered), keeping the selected tracks selected.
void RefreshList();
// Shows new rows (a new scan), keeping the selected tracks selected.
void ReplaceRows(std::vector<Row> rows);
void OnGetDispInfo(NMLVDISPINFOW& info);
LRESULT OnCustomDraw(NMLVCUSTOMDRAW& draw);
void SortBy(int column);
std::vector<std::size_t> SelectedPositions();
void SelectAll();
void ShowDetails();

// The actions (actions.cpp).
void OpenLibrary(const std::string& folder);
void ChooseLibrary();
void StartScan();
void StartPreview();
void StartRun(JobKind kind, bool selectionOnly);
void StartAdd(const std::vector<std::string>& files);
void ChooseTracksToAdd();
void FinishJob(JobResult* result);
void UpdateProgress();
void CancelWork();
void CopySelection();
void OpenContainingFolder();
void SaveReport();
void ShowRowMenu(LPARAM at);
void SetStatus(const std::string& text);

// Files dropped on the window (drop.cpp).
void OnDropFiles(HDROP drop);
