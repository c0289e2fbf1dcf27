// The rows of the Track Library window: one per track in path order, and the order in which the
// list shows them (sorted and filtered). No windows here: every text is UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "collection.h"

// One track as the list shows it.
struct Row {
  std::string path;      // relative to the library, '\' separators
  std::string fullPath;  // as the library reaches it, for the runs
  collection::State state = collection::State::kError;
  std::string mapName;   // empty when not known
  std::string afterFix;  // the name a fix would give; empty when it would give none
  std::string error;     // why an error track could not be read, or why its fix would fail
  int clashes = 0;       // other tracks carrying the same map name; the game's map counts
};

enum Column { kPathColumn, kStateColumn, kMapNameColumn, kAfterFixColumn, kClashesColumn };
constexpr int kColumnCount = 5;

struct ListModel {
  std::vector<Row> rows;          // path order
  std::vector<std::size_t> view;  // indices into rows, in the order shown
  int sortColumn = -1;            // -1: clashing rows first, then path order
  bool descending = false;
  std::string filter;  // rows whose texts hold it (any letter case) are shown; empty: all
};

// The rows of a scan of library and the dry run of a fix over it (outcomes in track order).
std::vector<Row> BuildRows(const std::string& library, const std::vector<collection::Track>& tracks,
                           const std::vector<collection::Outcome>& preview);

// The path relative to the library folder, with '\' separators.
std::string RelativePath(const std::string& library, const std::string& path);

// Sorts and filters rows into view.
void ApplyView(ListModel& model);

// One cell's text.
std::string CellText(const Row& row, int column);

// Whether two different rows carry the same known map name.
bool ClashesWith(const Row& a, const Row& b);

// The rows at the view positions given, one line each, cells separated by tabs, CRLF line ends.
std::string RowsAsText(const ListModel& model, const std::vector<std::size_t>& positions);

// What the details pane says about one row: its path, state and names, its error, and the paths
// of the rows it clashes with.
std::string RowDetails(const ListModel& model, std::size_t row);
