#include "list_model.h"

#include <algorithm>
#include <map>

#include "report_text.h"

using collection::Outcome;
using collection::State;
using collection::Track;

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A copy in lower case (ASCII letters only: the rest of UTF-8 is compared as it is).
std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Clash count by path: every other track with the name, and the game's own map for a stock name.
std::map<std::string, int> ClashCounts(const std::vector<Track>& tracks) {
  std::map<std::string, int> counts;
  for (const collection::Clash& clash : collection::ClashesOf(tracks)) {
    const bool stock = clash.mapName == collection::StockName(collection::Kind::kNational) ||
                       clash.mapName == collection::StockName(collection::Kind::kSupercross);
    const int others = static_cast<int>(clash.paths.size()) - (stock ? 0 : 1);
    for (const std::string& path : clash.paths) counts[path] = others;
  }
  return counts;
}

// Orders rows by one column, then by path; -1 puts clashing rows first.
bool Before(const Row& a, const Row& b, int column) {
  switch (column) {
    case -1:
      if ((a.clashes > 0) != (b.clashes > 0)) return a.clashes > 0;
      break;
    case kClashesColumn:
      if (a.clashes != b.clashes) return a.clashes < b.clashes;
      break;
    case kStateColumn:
      if (a.state != b.state) return a.state < b.state;
      break;
    case kPathColumn:
      break;
    default: {
      const std::string left = Lower(CellText(a, column));
      const std::string right = Lower(CellText(b, column));
      if (left != right) return left < right;
    }
  }
  return a.path < b.path;
}

bool Matches(const Row& row, const std::string& filter) {
  if (filter.empty()) return true;
  for (int column = 0; column < kColumnCount; ++column) {
    if (Lower(CellText(row, column)).find(filter) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

std::string RelativePath(const std::string& library, const std::string& path) {
  std::string relative = path;
  if (path.compare(0, library.size(), library) == 0) {
    relative = path.substr(library.size());
    while (!relative.empty() && IsSeparator(relative.front())) relative.erase(0, 1);
  }
  std::replace(relative.begin(), relative.end(), '/', '\\');
  return relative;
}

std::vector<Row> BuildRows(const std::string& library, const std::vector<Track>& tracks,
                           const std::vector<Outcome>& preview) {
  const std::map<std::string, int> counts = ClashCounts(tracks);
  std::vector<Row> rows(tracks.size());
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const Track& track = tracks[i];
    Row& row = rows[i];
    row.path = RelativePath(library, track.path);
    row.fullPath = track.path;
    row.state = track.state;
    row.mapName = track.mapName;
    row.error = track.error;
    const auto count = counts.find(track.path);
    row.clashes = count == counts.end() ? 0 : count->second;
    if (i < preview.size() && preview[i].path == track.path) {
      const Outcome& outcome = preview[i];
      if (outcome.action == collection::Action::kWouldFix ||
          outcome.action == collection::Action::kWouldRefix) {
        row.afterFix = outcome.mapName;
      }
      if (row.error.empty()) row.error = outcome.error;
    }
  }
  return rows;
}

void ApplyView(ListModel& model) {
  const std::string filter = Lower(model.filter);
  model.view.clear();
  for (std::size_t i = 0; i < model.rows.size(); ++i) {
    if (Matches(model.rows[i], filter)) model.view.push_back(i);
  }
  const std::vector<Row>& rows = model.rows;
  const int column = model.sortColumn;
  const bool descending = model.descending;
  std::stable_sort(model.view.begin(), model.view.end(), [&](std::size_t a, std::size_t b) {
    return descending ? Before(rows[b], rows[a], column) : Before(rows[a], rows[b], column);
  });
}

std::string CellText(const Row& row, int column) {
  switch (column) {
    case kPathColumn:
      return row.path;
    case kStateColumn:
      return collection::StateText(row.state);
    case kMapNameColumn:
      return row.mapName;
    case kAfterFixColumn:
      return row.afterFix;
    case kClashesColumn:
      return std::to_string(row.clashes);
    default:
      return "";
  }
}

bool ClashesWith(const Row& a, const Row& b) {
  return &a != &b && !a.mapName.empty() && a.mapName == b.mapName;
}

std::string RowsAsText(const ListModel& model, const std::vector<std::size_t>& positions) {
  std::string text;
  for (std::size_t position : positions) {
    if (position >= model.view.size()) continue;
    const Row& row = model.rows[model.view[position]];
    for (int column = 0; column < kColumnCount; ++column) {
      text += (column == 0 ? "" : "\t") + CellText(row, column);
    }
    text += "\r\n";
  }
  return text;
}

std::string RowDetails(const ListModel& model, std::size_t row) {
  if (row >= model.rows.size()) return "";
  const Row& shown = model.rows[row];
  std::string text = shown.path + ": " + collection::StateText(shown.state);
  if (!shown.mapName.empty()) text += ", map name " + shown.mapName;
  if (!shown.afterFix.empty()) text += ", a fix would name it " + shown.afterFix;
  if (!shown.error.empty()) text += "\r\n" + shown.error;
  if (shown.clashes > 0) {
    text += "\r\nClashes with";
    const bool stock = shown.mapName == collection::StockName(collection::Kind::kNational) ||
                       shown.mapName == collection::StockName(collection::Kind::kSupercross);
    std::string others = stock ? " the game's own map" : "";
    for (const Row& other : model.rows) {
      if (ClashesWith(shown, other)) others += (others.empty() ? " " : ", ") + other.path;
    }
    text += others;
  }
  return text;
}
