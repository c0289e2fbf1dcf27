// A library: one folder whose every track counts when names are chosen and clashes judged, while
// a run lists and changes only the tracks under the paths it is given.
#include "collection.h"
#include "store.h"

namespace collection {

namespace {

// Whether full names inside or is folder, both full paths.
bool IsUnder(const std::string& full, const std::string& folder) {
  if (full == folder) return true;
  const std::string prefix = files::Join(folder, "");
  return full.size() > prefix.size() && full.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool GatherLibrary(const std::string& library, const std::vector<std::string>& paths,
                   Gathered& gathered, std::vector<bool>& chosen, std::string& usageError) {
  std::string libraryFull;
  std::string error;
  if (ProbeEntry(library).type != EntryType::kFolder ||
      !files::FullPathOf(files::Utf8Path{library}, libraryFull, error)) {
    usageError = "the library is not a folder: " + library;
    return false;
  }
  // Every path is checked before the library is walked: a usage error touches nothing.
  std::vector<std::string> fulls;
  Gathered checked;
  if (!paths.empty() && !GatherTracks(paths, checked, usageError)) return false;
  for (const std::string& path : paths) {
    std::string full;
    if (!files::FullPathOf(files::Utf8Path{path}, full, error) || !IsUnder(full, libraryFull)) {
      usageError = "not inside the library " + library + ": " + path;
      return false;
    }
    fulls.push_back(full);
  }
  if (!GatherTracks({library}, gathered, usageError)) return false;

  // A track's full path is the library's with the track's place in it.
  const std::size_t prefix = files::Join(library, "").size();
  const auto isChosen = [&](const std::string& path) {
    const std::string full = files::Join(libraryFull, path.substr(prefix));
    for (const std::string& folder : fulls) {
      if (IsUnder(full, folder)) return true;
    }
    return fulls.empty();
  };
  chosen.clear();
  for (const std::string& track : gathered.tracks) chosen.push_back(isChosen(track));
  // What else was found counts under the paths alone; an unreadable folder anywhere leaves the
  // library's names unknown, and is always told.
  for (std::vector<std::string>* found : {&gathered.leftovers, &gathered.orphans}) {
    std::vector<std::string> kept;
    for (const std::string& path : *found) {
      if (isChosen(path)) kept.push_back(path);
    }
    found->swap(kept);
  }
  return true;
}

}  // namespace collection
