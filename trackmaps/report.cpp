#include "report.h"

#include <nlohmann/json.hpp>

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

// Bytes that are not UTF-8 become U+FFFD rather than stopping the report.
void WriteJson(std::ostream& out, const Json& document) {
  out << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

}  // namespace

void ReportScan(std::ostream& out, const std::vector<Track>& tracks,
                const std::vector<Clash>& clashes, const std::vector<std::string>& leftovers,
                bool json) {
  if (json) {
    Json list = Json::array();
    for (const Track& track : tracks) {
      list.push_back({{"path", track.path},
                      {"state", StateText(track.state)},
                      {"kind", KindJson(track.kind)},
                      {"map_name", TextOrNull(track.mapName)},
                      {"error", TextOrNull(track.error)}});
    }
    WriteJson(out, {{"tracks", list}, {"clashes", ClashesJson(clashes)}, {"leftovers", leftovers}});
    return;
  }
  out << collection::ScanReport(tracks, clashes, leftovers);
}

void ReportFix(std::ostream& out, const std::vector<Outcome>& outcomes,
               const std::vector<Clash>& clashes, bool json) {
  if (json) {
    Json list = Json::array();
    for (const Outcome& outcome : outcomes) {
      list.push_back({{"path", outcome.path},
                      {"action", ActionText(outcome.action)},
                      {"map_name", TextOrNull(outcome.mapName)},
                      {"previous_map_name", TextOrNull(outcome.previousMapName)},
                      {"reason", TextOrNull(outcome.reason)},
                      {"error", TextOrNull(outcome.error)}});
    }
    WriteJson(out, {{"tracks", list}, {"clashes", ClashesJson(clashes)}});
    return;
  }
  out << collection::FixReport(outcomes, clashes);
}

void ReportRestore(std::ostream& out, const std::vector<Outcome>& outcomes, bool json) {
  if (json) {
    Json list = Json::array();
    for (const Outcome& outcome : outcomes) {
      list.push_back({{"path", outcome.path},
                      {"action", ActionText(outcome.action)},
                      {"reason", TextOrNull(outcome.reason)},
                      {"error", TextOrNull(outcome.error)}});
    }
    WriteJson(out, {{"tracks", list}});
    return;
  }
  out << collection::RestoreReport(outcomes);
}
