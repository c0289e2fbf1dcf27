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

std::vector<Carried> CarriedBy(const std::vector<Track>& tracks) {
  std::vector<Carried> carried;
  for (const Track& track : tracks) carried.push_back({track.path, track.mapName});
  return carried;
}

// A failed track, or one the run did not reach, keeps the name it had; every other carries the
// outcome's.
std::vector<Carried> CarriedAfter(const std::vector<Track>& tracks,
                                  const std::vector<Outcome>& outcomes) {
  std::vector<Carried> carried;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const bool kept = i >= outcomes.size() || outcomes[i].action == Action::kFailed;
    carried.push_back({tracks[i].path, kept ? tracks[i].mapName : outcomes[i].mapName});
  }
  return carried;
}

std::vector<Clash> ClashesOf(const std::vector<Track>& tracks) {
  return FindClashes(CarriedBy(tracks));
}

std::vector<Clash> ClashesAfter(const std::vector<Track>& tracks,
                                const std::vector<Outcome>& outcomes) {
  return FindClashes(CarriedAfter(tracks, outcomes));
}

std::vector<Clash> ClashesTouching(const std::vector<Clash>& clashes,
                                   const std::set<std::string>& paths) {
  std::vector<Clash> touching;
  for (const Clash& clash : clashes) {
    for (const std::string& path : clash.paths) {
      if (paths.count(path) == 0) continue;
      touching.push_back(clash);
      break;
    }
  }
  return touching;
}

}  // namespace collection
