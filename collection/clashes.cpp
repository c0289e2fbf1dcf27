// Clashes: a map name carried by two or more tracks, or a stock name carried by any, which
// clashes with the game's own map of that name.
#include <map>

#include "collection.h"

namespace collection {

std::vector<Clash> FindClashes(const std::vector<Carried>& carried) {
  std::map<std::string, std::vector<std::string>> byName;
  for (const Carried& one : carried) {
    if (!one.mapName.empty()) byName[one.mapName].push_back(one.path);
  }
  std::vector<Clash> clashes;
  for (const auto& name : byName) {
    const bool stock =
        name.first == StockName(Kind::kNational) || name.first == StockName(Kind::kSupercross);
    if (stock || name.second.size() >= 2) clashes.push_back({name.first, name.second});
  }
  return clashes;
}

std::vector<Clash> ClashesOf(const std::vector<Track>& tracks) {
  std::vector<Carried> carried;
  for (const Track& track : tracks) carried.push_back({track.path, track.mapName});
  return FindClashes(carried);
}

// A failed track keeps the name it had; every other carries the outcome's.
std::vector<Clash> ClashesAfter(const std::vector<Track>& tracks,
                                const std::vector<Outcome>& outcomes) {
  std::vector<Carried> carried;
  for (std::size_t i = 0; i < tracks.size() && i < outcomes.size(); ++i) {
    const bool failed = outcomes[i].action == Action::kFailed;
    carried.push_back({tracks[i].path, failed ? tracks[i].mapName : outcomes[i].mapName});
  }
  return FindClashes(carried);
}

}  // namespace collection
