#include "report.h"

#include <cstddef>
#include <map>
#include <nlohmann/json.hpp>

#include "json_bytes.h"

using collection::Action;
using collection::Clash;
using collection::Kind;
using collection::Outcome;
using collection::State;
using collection::Track;
using Json = nlohmann::ordered_json;

namespace {

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

// A text as JSON: null when empty (names and reasons are never empty when known).
Json TextOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

Json KindJson(Kind kind) {
  switch (kind) {
    case Kind::kNational:
      return "national";
    case Kind::kSupercross:
      return "supercross";
    case Kind::kNone:
      break;
  }
  return nullptr;
}

Json ClashesJson(const std::vector<Clash>& clashes) {
  Json list = Json::array();
  for (const Clash& clash : clashes)
    list.push_back({{"map_name", clash.mapName}, {"paths", clash.paths}});
  return list;
}

const char kPathsOnly[] =
    "note: clashes with tracks outside these paths are not known (--library DIR judges a whole "
    "library)\n";

// The keys every document carries: where clashes were judged, and the folders not read.
void AddScope(Json& document, const RunScope& scope) {
  document["scope"] = scope.library ? "library" : "paths";
  Json unreadable = Json::array();
  for (const collection::Unreadable& folder : scope.gathered->unreadable) {
    unreadable.push_back({{"path", folder.path}, {"error", folder.error}});
  }
  document["unreadable"] = unreadable;
}

// Bytes that are not UTF-8 become U+FFFD rather than stopping the report; their exact bytes go
// beside them in base64.
void WriteJson(std::ostream& out, const Json& document) {
  out << WithExactBytes(document).dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

// "name" padded to width, for the columns of the report for people.
std::string Column(const std::string& text, std::size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

void WriteClashLines(std::ostream& out, const std::vector<Clash>& clashes) {
  for (const Clash& clash : clashes) {
    out << "clash: " << clash.mapName << " is carried by";
    if (clash.mapName == collection::StockName(Kind::kNational) ||
        clash.mapName == collection::StockName(Kind::kSupercross)) {
      out << " the game's own map and";
    }
    for (std::size_t i = 0; i < clash.paths.size(); ++i) {
      out << (i == 0 ? " " : ", ") << clash.paths[i];
    }
    out << '\n';
  }
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

}  // namespace

void ReportScan(std::ostream& out, const std::vector<Track>& tracks,
                const std::vector<Clash>& clashes, const RunScope& scope, bool json) {
  const std::vector<std::string>& leftovers = scope.gathered->leftovers;
  const std::vector<std::string>& orphans = scope.gathered->orphans;
  if (json) {
    Json list = Json::array();
    for (const Track& track : tracks) {
      list.push_back({{"path", track.path},
                      {"state", StateText(track.state)},
                      {"kind", KindJson(track.kind)},
                      {"map_name", TextOrNull(track.mapName)},
                      {"error", TextOrNull(track.error)}});
    }
    Json document = {{"tracks", list},
                     {"clashes", ClashesJson(clashes)},
                     {"leftovers", leftovers},
                     {"orphans", orphans}};
    AddScope(document, scope);
    WriteJson(out, document);
    return;
  }
  std::vector<std::string> labels;
  for (const Track& track : tracks) {
    out << Column(StateText(track.state), 11)
        << Column(track.mapName.empty() ? "-" : track.mapName, 15) << track.path;
    if (!track.error.empty()) out << " (" << track.error << ")";
    out << '\n';
    labels.push_back(StateText(track.state));
  }
  WriteClashLines(out, clashes);
  for (const std::string& path : leftovers) {
    out << "warning: leftover temporary file of an interrupted run: " << path << '\n';
  }
  for (const std::string& path : orphans) {
    out << "warning: a backup whose track is missing: " << path << '\n';
  }
  if (!scope.library && scope.pathsGiven) out << kPathsOnly;
  out << TrackCount(tracks.size());
  if (!labels.empty()) out << " (" << Counts(labels) << ")";
  out << ", " << ClashCount(clashes.size()) << '\n';
}

void ReportFix(std::ostream& out, const std::vector<Outcome>& outcomes,
               const std::vector<Clash>& clashes, const RunScope& scope, bool json) {
  if (json) {
    Json list = Json::array();
    for (const Outcome& outcome : outcomes) {
      Json track = {{"path", outcome.path}};
      if (scope.added) track["source"] = outcome.source;
      track["action"] = ActionText(outcome.action);
      track["map_name"] = TextOrNull(outcome.mapName);
      track["previous_map_name"] = TextOrNull(outcome.previousMapName);
      track["reason"] = TextOrNull(outcome.reason);
      track["error"] = TextOrNull(outcome.error);
      list.push_back(track);
    }
    Json document = {{"tracks", list}, {"clashes", ClashesJson(clashes)}};
    AddScope(document, scope);
    WriteJson(out, document);
    return;
  }
  std::vector<std::string> labels;
  for (const Outcome& outcome : outcomes) {
    out << Column(ActionText(outcome.action), 12)
        << Column(outcome.mapName.empty() ? "-" : outcome.mapName, 15) << outcome.path;
    if (scope.added) out << " (from " << outcome.source << ")";
    if (!outcome.previousMapName.empty()) out << " (was " << outcome.previousMapName << ")";
    if (!outcome.reason.empty()) out << " (" << outcome.reason << ")";
    if (!outcome.error.empty()) out << " (" << outcome.error << ")";
    out << '\n';
    labels.push_back(ActionText(outcome.action));
  }
  WriteClashLines(out, clashes);
  if (!scope.library && scope.pathsGiven) out << kPathsOnly;
  out << TrackCount(outcomes.size());
  if (!labels.empty()) out << " (" << Counts(labels) << ")";
  out << ", " << ClashCount(clashes.size());
  if (!clashes.empty()) out << (clashes.size() == 1 ? " remains" : " remain");
  out << '\n';
}

void ReportRestore(std::ostream& out, const std::vector<Outcome>& outcomes, const RunScope& scope,
                   bool json) {
  if (json) {
    Json list = Json::array();
    for (const Outcome& outcome : outcomes) {
      list.push_back({{"path", outcome.path},
                      {"action", ActionText(outcome.action)},
                      {"reason", TextOrNull(outcome.reason)},
                      {"error", TextOrNull(outcome.error)}});
    }
    Json document = {{"tracks", list}};
    AddScope(document, scope);
    WriteJson(out, document);
    return;
  }
  std::vector<std::string> labels;
  for (const Outcome& outcome : outcomes) {
    out << Column(ActionText(outcome.action), 14) << outcome.path;
    if (!outcome.reason.empty()) out << " (" << outcome.reason << ")";
    if (!outcome.error.empty()) out << " (" << outcome.error << ")";
    out << '\n';
    labels.push_back(ActionText(outcome.action));
  }
  out << TrackCount(outcomes.size());
  if (!labels.empty()) out << " (" << Counts(labels) << ")";
  out << '\n';
}
