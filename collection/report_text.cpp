#include "report_text.h"

#include <cstddef>
#include <map>

namespace collection {

namespace {

// "name" padded to width, for the columns of the report for people.
std::string Column(const std::string& text, std::size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string ClashLines(const std::vector<Clash>& clashes) {
  std::string text;
  for (const Clash& clash : clashes) {
    text += "clash: " + clash.mapName + " is carried by";
    if (clash.mapName == StockName(Kind::kNational) ||
        clash.mapName == StockName(Kind::kSupercross)) {
      text += " the game's own map and";
    }
    for (std::size_t i = 0; i < clash.paths.size(); ++i) {
      text += (i == 0 ? " " : ", ") + clash.paths[i];
    }
    text += '\n';
  }
  return text;
}

// "3 fixed, 1 unchanged" from counts by label, in the order the labels were first met.
std::string Counts(const std::vector<std::string>& labels) {
  std::vector<std::string> order;
  std::map<std::string, std::size_t> counts;
  for (const std::string& label : labels) {
    if (counts[label]++ == 0) order.push_back(label);
  }
  std::string text;
  for (const std::string& label : order) {
    if (!text.empty()) text += ", ";
    text += std::to_string(counts[label]) + " " + label;
  }
  return text;
}

std::string TrackCount(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " track" : " tracks");
}

std::string ClashCount(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " clash" : " clashes");
}

// "N tracks (counts)" of the labels, one per track.
std::string Tally(const std::vector<std::string>& labels) {
  std::string text = TrackCount(labels.size());
  if (!labels.empty()) text += " (" + Counts(labels) + ")";
  return text;
}

std::vector<std::string> ActionLabels(const std::vector<Outcome>& outcomes) {
  std::vector<std::string> labels;
  for (const Outcome& outcome : outcomes) labels.push_back(ActionText(outcome.action));
  return labels;
}

}  // namespace

const char* StateText(State state) {
  switch (state) {
    case State::kStock:
      return "stock";
    case State::kFixed:
      return "fixed";
    case State::kUnverified:
      return "unverified";
    case State::kError:
      break;
  }
  return "error";
}

const char* ActionText(Action action) {
  switch (action) {
    case Action::kFixed:
      return "fixed";
    case Action::kRefixed:
      return "refixed";
    case Action::kUnchanged:
      return "unchanged";
    case Action::kFailed:
      return "failed";
    case Action::kWouldFix:
      return "would-fix";
    case Action::kWouldRefix:
      return "would-refix";
    case Action::kRestored:
      return "restored";
    case Action::kWouldRestore:
      return "would-restore";
    case Action::kAdded:
      return "added";
    case Action::kWouldAdd:
      break;
  }
  return "would-add";
}

const char* PhaseText(Phase phase) {
  switch (phase) {
    case Phase::kScanning:
      return "scanning";
    case Phase::kFixing:
      return "fixing";
    case Phase::kRestoring:
      return "restoring";
    case Phase::kAdding:
      break;
  }
  return "adding";
}

std::string ScanSummary(const std::vector<Track>& tracks, const std::vector<Clash>& clashes) {
  std::vector<std::string> labels;
  for (const Track& track : tracks) labels.push_back(StateText(track.state));
  return Tally(labels) + ", " + ClashCount(clashes.size());
}

std::string FixSummary(const std::vector<Outcome>& outcomes, const std::vector<Clash>& clashes) {
  const char* remain = clashes.empty() ? "" : clashes.size() == 1 ? " remains" : " remain";
  return Tally(ActionLabels(outcomes)) + ", " + ClashCount(clashes.size()) + remain;
}

std::string RestoreSummary(const std::vector<Outcome>& outcomes) {
  return Tally(ActionLabels(outcomes));
}

std::string ScanReport(const std::vector<Track>& tracks, const std::vector<Clash>& clashes,
                       const std::vector<std::string>& leftovers,
                       const std::vector<std::string>& orphans, const std::string& note) {
  std::string text;
  for (const Track& track : tracks) {
    text += Column(StateText(track.state), 11) +
            Column(track.mapName.empty() ? "-" : track.mapName, 15) + track.path;
    if (!track.error.empty()) text += " (" + track.error + ")";
    text += '\n';
  }
  text += ClashLines(clashes);
  for (const std::string& path : leftovers) {
    text += "warning: leftover temporary file of an interrupted run: " + path + '\n';
  }
  for (const std::string& path : orphans) {
    text += "warning: a backup whose track is missing: " + path + '\n';
  }
  return text + note + ScanSummary(tracks, clashes) + '\n';
}

std::string FixReport(const std::vector<Outcome>& outcomes, const std::vector<Clash>& clashes,
                      const std::string& note, bool added) {
  std::string text;
  for (const Outcome& outcome : outcomes) {
    text += Column(ActionText(outcome.action), 12) +
            Column(outcome.mapName.empty() ? "-" : outcome.mapName, 15) + outcome.path;
    if (added) text += " (from " + outcome.source + ")";
    if (!outcome.previousMapName.empty()) text += " (was " + outcome.previousMapName + ")";
    if (!outcome.reason.empty()) text += " (" + outcome.reason + ")";
    if (!outcome.error.empty()) text += " (" + outcome.error + ")";
    text += '\n';
  }
  return text + ClashLines(clashes) + note + FixSummary(outcomes, clashes) + '\n';
}

std::string RestoreReport(const std::vector<Outcome>& outcomes) {
  std::string text;
  for (const Outcome& outcome : outcomes) {
    text += Column(ActionText(outcome.action), 14) + outcome.path;
    if (!outcome.reason.empty()) text += " (" + outcome.reason + ")";
    if (!outcome.error.empty()) text += " (" + outcome.error + ")";
    text += '\n';
  }
  return text + RestoreSummary(outcomes) + '\n';
}

}  // namespace collection
