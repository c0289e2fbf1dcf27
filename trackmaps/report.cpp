#include "report.h"

#include <nlohmann/json.hpp>

#include "json_bytes.h"
#include "report_text.h"

using collection::ActionText;
using collection::Clash;
using collection::Kind;
using collection::Outcome;
using collection::StateText;
using collection::Track;
using Json = nlohmann::ordered_json;

namespace {

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

// Whether the report says that clashes were judged among the given paths alone.
bool PathsOnly(const RunScope& scope) { return !scope.library && scope.pathsGiven; }

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
  out << collection::ScanReport(tracks, clashes, leftovers, orphans,
                                PathsOnly(scope) ? kPathsOnly : "");
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
  out << collection::FixReport(outcomes, clashes, PathsOnly(scope) ? kPathsOnly : "", scope.added);
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
  out << collection::RestoreReport(outcomes);
}
