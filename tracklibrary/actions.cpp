// What the window's buttons, keys and row menu do: start the worker's jobs and show their
// results, and the small actions on selected rows.
#include <windows.h>
// Need the types of windows.h before them.
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include "control_ids.h"
#include "library_window.h"
#include "report_text.h"
#include "settings.h"
#include "wide.h"

namespace {

constexpr UINT_PTR kProgressTimer = 1;

void SetTitle() {
  std::wstring title = L"Track Library";
  if (!g_window.library.empty()) title += L" - " + Wide(g_window.library);
  SetWindowTextW(g_window.hwnd, title.c_str());
}

bool RefixTicked() { return IsDlgButtonChecked(g_window.hwnd, IDC_REFIX) == BST_CHECKED; }

void Start(Job job) {
  if (g_window.working || g_window.library.empty()) return;
  job.library = g_window.library;
  job.refix = RefixTicked();
  if (!StartJob(g_window.hwnd, std::move(job))) {
    SetStatus("The work could not be started.");
    return;
  }
  ShowWorking(true);
  SetTimer(g_window.hwnd, kProgressTimer, 100, nullptr);
  UpdateProgress();
}

// The selected rows' full paths.
std::vector<std::string> SelectedPaths() {
  std::vector<std::string> paths;
  for (std::size_t position : SelectedPositions()) {
    paths.push_back(g_window.model.rows[g_window.model.view[position]].fullPath);
  }
  return paths;
}

// Puts text on the clipboard as Unicode text.
void CopyText(const std::wstring& text) {
  if (!OpenClipboard(g_window.hwnd)) return;
  EmptyClipboard();
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  void* locked = memory == nullptr ? nullptr : GlobalLock(memory);
  if (locked != nullptr) {
    CopyMemory(locked, text.c_str(), bytes);
    GlobalUnlock(memory);
    if (SetClipboardData(CF_UNICODETEXT, memory) != nullptr) memory = nullptr;
  }
  if (memory != nullptr) GlobalFree(memory);
  CloseClipboard();
}

}  // namespace

void SetStatus(const std::string& text) { SetWindowTextW(g_window.status, Wide(text).c_str()); }

void OpenLibrary(const std::string& folder) {
  if (g_window.working || folder.empty()) return;
  g_window.library = folder;
  g_window.tracks.clear();
  ReplaceRows({});
  SetTitle();
  StartScan();
}

// The folder picker; the library opens when one is chosen.
void ChooseLibrary() {
  if (g_window.working) return;
  BROWSEINFOW browse = {};
  browse.hwndOwner = g_window.hwnd;
  browse.lpszTitle = L"Choose the folder that holds your tracks";
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
  if (chosen == nullptr) return;
  wchar_t path[MAX_PATH] = L"";
  const bool found = SHGetPathFromIDListW(chosen, path);
  CoTaskMemFree(chosen);
  if (found) OpenLibrary(Utf8(path));
}

void StartScan() { Start(Job{}); }

// The After fix names again, for the refix box: a dry run over the last scan's tracks.
void StartPreview() {
  if (g_window.tracks.empty()) return;
  Job job;
  job.kind = JobKind::kPreview;
  job.tracks = g_window.tracks;
  Start(std::move(job));
}

void StartRun(JobKind kind, bool selectionOnly) {
  Job job;
  job.kind = kind;
  if (selectionOnly || kind == JobKind::kRestore) {
    job.only = SelectedPaths();
    if (job.only.empty()) {
      SetStatus("Select the tracks first (Ctrl+A selects every one).");
      return;
    }
  }
  Start(std::move(job));
}

// Adds the track files among files (full paths); others are left out.
void StartAdd(const std::vector<std::string>& files) {
  Job job;
  job.kind = JobKind::kAdd;
  for (const std::string& file : files) {
    if (collection::IsTrackName(file)) job.files.push_back(file);
  }
  if (job.files.empty()) {
    SetStatus("Only track files (*.pak) can be added.");
    return;
  }
  Start(std::move(job));
}

// The open-file dialog for downloaded tracks, any number at once; they are added when chosen.
void ChooseTracksToAdd() {
  if (g_window.working || g_window.library.empty()) return;
  std::vector<wchar_t> names(65536, L'\0');
  OPENFILENAMEW open = {};
  open.lStructSize = sizeof open;
  open.hwndOwner = g_window.hwnd;
  open.lpstrFilter = L"Track files (*.pak)\0*.pak\0All files (*.*)\0*.*\0";
  open.lpstrFile = names.data();
  open.nMaxFile = static_cast<DWORD>(names.size());
  open.lpstrTitle = L"Add tracks to the library";
  open.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&open)) return;
  // One file: its full path. More: the folder, then each name, each ending in a null.
  std::vector<std::wstring> parts;
  for (const wchar_t* part = names.data(); *part != L'\0'; part += lstrlenW(part) + 1) {
    parts.push_back(part);
  }
  std::vector<std::string> files;
  if (parts.size() == 1) files.push_back(Utf8(parts[0]));
  for (std::size_t i = 1; i < parts.size(); ++i) files.push_back(Utf8(parts[0] + L"\\" + parts[i]));
  StartAdd(files);
}

void FinishJob(JobResult* result) {
  KillTimer(g_window.hwnd, kProgressTimer);
  const bool cancelled = JobCancelled();
  ShowWorking(false);
  if (g_window.closeWhenDone) {
    DestroyWindow(g_window.hwnd);
    return;
  }
  if (result->gathered) SaveLastLibrary(result->job.library);
  if (result->job.library == g_window.library) {
    g_window.tracks = std::move(result->tracks);
    ReplaceRows(BuildRows(g_window.library, g_window.tracks, result->preview));
    if (result->job.kind != JobKind::kPreview) g_window.report = result->report;
  }
  // A preview changes the After fix names alone: the status keeps the last scan's or run's line.
  if (result->job.kind == JobKind::kPreview) {
    SetStatus(g_window.summary);
    return;
  }
  std::string status = result->summary;
  if (!result->problem.empty()) {
    status = status.empty() ? result->problem : status + "; " + result->problem;
  }
  if (cancelled) status = "Cancelled: " + status;
  g_window.summary = status;
  SetStatus(status);
  if (!result->gathered) SetWindowTextW(g_window.details, Wide(result->problem).c_str());
}

// The progress bar and the status line, each changed only when its place or its text has: a tick
// of the timer costs the window next to nothing.
void UpdateProgress() {
  const collection::ProgressStep step = JobProgress();
  const long long total = step.bytesTotal > 0 ? step.bytesTotal : 1;
  const LRESULT position = static_cast<LRESULT>(step.bytesDone * 1000 / total);
  if (SendMessageW(g_window.progress, PBM_GETPOS, 0, 0) != position) {
    SendMessageW(g_window.progress, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  }
  std::string text = collection::PhaseText(step.phase);
  text[0] = static_cast<char>(text[0] - 'a' + 'A');  // a sentence of its own on the status bar
  text +=
      " " + std::to_string(step.tracksDone) + " of " + std::to_string(step.tracksTotal) + " tracks";
  if (JobCancelled()) text += ": stopping after the track in hand";
  wchar_t shown[256] = L"";
  GetWindowTextW(g_window.status, shown, 256);
  if (Wide(text) != shown) SetStatus(text);
}

void CancelWork() {
  if (!g_window.working) return;
  CancelJob();
  EnableWindow(g_window.cancel, FALSE);
  UpdateProgress();
}

void CopySelection() {
  const std::string text = RowsAsText(g_window.model, SelectedPositions());
  if (!text.empty()) CopyText(Wide(text));
}

// Explorer opens the folder of the focused (or first selected) row, with the track selected.
void OpenContainingFolder() {
  const std::vector<std::string> paths = SelectedPaths();
  if (paths.empty()) return;
  const std::wstring arguments = L"/select,\"" + Wide(paths.front()) + L"\"";
  ShellExecuteW(g_window.hwnd, nullptr, L"explorer.exe", arguments.c_str(), nullptr, SW_SHOWNORMAL);
}

// Writes the last scan's or run's report for people to a text file the user names.
void SaveReport() {
  if (g_window.report.empty()) {
    SetStatus("There is no report yet: scan the library first (F5).");
    return;
  }
  wchar_t path[MAX_PATH] = L"trackmaps-report.txt";
  OPENFILENAMEW save = {};
  save.lStructSize = sizeof save;
  save.hwndOwner = g_window.hwnd;
  save.lpstrFilter = L"Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";
  save.lpstrFile = path;
  save.nMaxFile = MAX_PATH;
  save.lpstrDefExt = L"txt";
  save.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&save)) return;
  std::string text;
  for (char c : g_window.report) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
  HandleGuard file(
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  const bool saved =
      file.valid() &&
      WriteFile(file.handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
      written == text.size();
  SetStatus(saved ? "Report saved to " + Utf8(path)
                  : "The report could not be saved to " + Utf8(path));
}

// The row menu at a screen point, or under the focused row when it came from the keyboard.
void ShowRowMenu(LPARAM at) {
  POINT point = {GET_X_LPARAM(at), GET_Y_LPARAM(at)};
  if (at == -1) {
    RECT item = {};
    int focused = ListView_GetNextItem(g_window.list, -1, LVNI_FOCUSED);
    if (focused < 0 || !ListView_GetItemRect(g_window.list, focused, &item, LVIR_LABEL)) {
      GetClientRect(g_window.list, &item);
      item.bottom = item.top;
    }
    point = {item.left, item.bottom};
    ClientToScreen(g_window.list, &point);
  }
  HMENU menu = CreatePopupMenu();
  const bool none = SelectedPositions().empty();
  const UINT work = g_window.working || none ? MF_GRAYED : MF_ENABLED;
  const UINT look = none ? MF_GRAYED : MF_ENABLED;
  AppendMenuW(menu, MF_STRING | work, IDM_FIX_SELECTED, L"&Fix");
  AppendMenuW(menu, MF_STRING | work, IDC_RESTORE, L"&Restore");
  AppendMenuW(menu, MF_STRING | look, IDM_COPY, L"&Copy\tCtrl+C");
  AppendMenuW(menu, MF_STRING | look, IDM_OPEN_FOLDER, L"&Open containing folder");
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, point.x, point.y, 0,
                 g_window.hwnd, nullptr);
  DestroyMenu(menu);
}
