// The list view: a virtual report view over g_window.model. It asks for each cell's text as it
// draws it, so ten thousand rows cost nothing until they are seen.
#include <windows.h>
// Needs the types of windows.h before it.
#include <commctrl.h>

#include <algorithm>
#include <set>
#include <string>

#include "library_window.h"
#include "wide.h"

namespace {

const wchar_t* const kTitles[kColumnCount] = {L"Track", L"State", L"Map name", L"After fix",
                                              L"Clashes"};

constexpr COLORREF kClashBack = RGB(255, 214, 214);  // a row whose map name clashes
constexpr COLORREF kClashText = RGB(128, 0, 0);
constexpr COLORREF kPartnerBack = RGB(255, 240, 150);  // a row the selected row clashes with

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The row (index into rows) the details pane shows and whose clash partners are marked.
std::size_t g_shownRow = kNone;

std::size_t RowAt(std::size_t position) {
  return position < g_window.model.view.size() ? g_window.model.view[position] : kNone;
}

// The sort arrow on the sorted column's header, none on the others.
void MarkSortedColumn() {
  HWND header = ListView_GetHeader(g_window.list);
  for (int column = 0; column < kColumnCount; ++column) {
    HDITEMW item = {};
    item.mask = HDI_FORMAT;
    Header_GetItem(header, column, &item);
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (column == g_window.model.sortColumn) {
      item.fmt |= g_window.model.descending ? HDF_SORTDOWN : HDF_SORTUP;
    }
    Header_SetItem(header, column, &item);
  }
}

}  // namespace

void AddColumns() {
  for (int column = 0; column < kColumnCount; ++column) {
    LVCOLUMNW column_title = {};
    column_title.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
    column_title.fmt = column == kClashesColumn ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column_title.cx = 100;
    column_title.pszText = const_cast<wchar_t*>(kTitles[column]);
    column_title.iSubItem = column;
    SendMessageW(g_window.list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&column_title));
  }
}

namespace {

// The full paths of the selected rows.
std::set<std::string> SelectedTracks() {
  std::set<std::string> paths;
  for (std::size_t position : SelectedPositions()) {
    const std::size_t row = RowAt(position);
    if (row != kNone && row < g_window.model.rows.size()) {
      paths.insert(g_window.model.rows[row].fullPath);
    }
  }
  return paths;
}

// Shows the model's view again, with the rows of the selected tracks selected.
void ShowView(const std::set<std::string>& selected) {
  ListModel& model = g_window.model;
  ApplyView(model);
  ListView_SetItemCountEx(g_window.list, static_cast<int>(model.view.size()), 0);
  ListView_SetItemState(g_window.list, -1, 0, LVIS_SELECTED);
  for (std::size_t position = 0; position < model.view.size() && !selected.empty(); ++position) {
    if (selected.count(model.rows[model.view[position]].fullPath) != 0) {
      ListView_SetItemState(g_window.list, static_cast<int>(position), LVIS_SELECTED,
                            LVIS_SELECTED);
    }
  }
  MarkSortedColumn();
  InvalidateRect(g_window.list, nullptr, FALSE);
  ShowDetails();
}

}  // namespace

void RefreshList() { ShowView(SelectedTracks()); }

void ReplaceRows(std::vector<Row> rows) {
  const std::set<std::string> selected = SelectedTracks();
  g_window.model.rows = std::move(rows);
  g_shownRow = kNone;
  ShowView(selected);
}

void OnGetDispInfo(NMLVDISPINFOW& info) {
  if ((info.item.mask & LVIF_TEXT) == 0 || info.item.cchTextMax <= 0) return;
  const std::size_t row = RowAt(static_cast<std::size_t>(info.item.iItem));
  const std::wstring text =
      row == kNone ? L"" : Wide(CellText(g_window.model.rows[row], info.item.iSubItem));
  lstrcpynW(info.item.pszText, text.c_str(), info.item.cchTextMax);
}

LRESULT OnCustomDraw(NMLVCUSTOMDRAW& draw) {
  if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
  const std::size_t row = RowAt(static_cast<std::size_t>(draw.nmcd.dwItemSpec));
  if (row == kNone) return CDRF_DODEFAULT;
  const std::vector<Row>& rows = g_window.model.rows;
  if (g_shownRow < rows.size() && ClashesWith(rows[g_shownRow], rows[row])) {
    draw.clrTextBk = kPartnerBack;
    draw.clrText = RGB(0, 0, 0);
  } else if (rows[row].clashes > 0) {
    draw.clrTextBk = kClashBack;
    draw.clrText = kClashText;
  }
  return CDRF_NEWFONT;
}

void SortBy(int column) {
  ListModel& model = g_window.model;
  model.descending = model.sortColumn == column && !model.descending;
  model.sortColumn = column;
  RefreshList();
}

std::vector<std::size_t> SelectedPositions() {
  std::vector<std::size_t> positions;
  int at = -1;
  while ((at = ListView_GetNextItem(g_window.list, at, LVNI_SELECTED)) >= 0) {
    positions.push_back(static_cast<std::size_t>(at));
  }
  return positions;
}

void SelectAll() { ListView_SetItemState(g_window.list, -1, LVIS_SELECTED, LVIS_SELECTED); }

// The details pane shows the focused row if it is selected, else the first selected row; the
// rows it clashes with are marked in the list.
void ShowDetails() {
  int position = ListView_GetNextItem(g_window.list, -1, LVNI_FOCUSED | LVNI_SELECTED);
  if (position < 0) position = ListView_GetNextItem(g_window.list, -1, LVNI_SELECTED);
  const std::size_t row = position < 0 ? kNone : RowAt(static_cast<std::size_t>(position));
  const std::wstring text = row == kNone ? L"" : Wide(RowDetails(g_window.model, row));
  SetWindowTextW(g_window.details, text.c_str());
  if (row != g_shownRow) {
    g_shownRow = row;
    InvalidateRect(g_window.list, nullptr, FALSE);
  }
}
