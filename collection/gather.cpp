// Finding the tracks under the command's arguments.
#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "collection.h"
#include "store.h"

namespace collection {

namespace {

const char kLeftoverMark[] = ".trackmaps-";
const char kLeftoverEnd[] = ".tmp";

using files::Join;
using files::NameOf;

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Whether nothing is at path any more (rather than something that cannot be examined).
bool Vanished(const std::string& path) {
  FileFacts facts;
  bool missing = false;
  return !files::FactsAt(files::Utf8Path{path}, facts, missing) && missing;
}

// Whether name is a track's backup ("X.pak.bak", any letter case) whose track is not in names.
bool IsOrphanName(const std::string& name, const std::set<std::string>& names) {
  if (name.size() <= 4) return false;
  std::string end = name.substr(name.size() - 4);
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string track = name.substr(0, name.size() - 4);
  return end == ".bak" && IsTrackName(track) && names.count(track) == 0;
}

// Walks a folder and every folder inside it; links to folders are not followed, and a folder is
// never a track, whatever its name. prefix is what the printed paths start with ("" for the
// current folder, which is then not printed).
void Walk(const std::string& folder, const std::string& prefix, Gathered& gathered) {
  std::vector<std::string> names;
  std::string error;
  if (!ListFolder(folder, names, error)) {
    gathered.unreadable.push_back({prefix.empty() ? "." : prefix, error});
    return;
  }
  const std::set<std::string> present(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = Join(folder, name);
    const std::string printed = Join(prefix, name);
    const EntryInfo entry = ProbeEntry(path);
    if (entry.type == EntryType::kFolder) {
      Walk(path, printed, gathered);
    } else if (entry.type == EntryType::kLink && entry.target == EntryType::kFolder) {
      continue;
    } else if (IsTrackName(name)) {
      gathered.tracks.push_back(printed);
    } else if (IsLeftoverName(name)) {
      gathered.leftovers.push_back(printed);
    } else if (IsOrphanName(name, present)) {
      gathered.orphans.push_back(printed);
    } else if (entry.type == EntryType::kMissing && !Vanished(path)) {
      // Listed but not examined: it may be a folder of tracks, which must not pass unseen.
      gathered.unreadable.push_back({printed, "cannot be examined"});
    }
  }
}

// Sorts by path bytes and keeps each path once, however it was spelt (the same name in the same
// folder). A file reached under two paths is two tracks.
void SortAndKeepOnce(std::vector<std::string>& paths) {
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  std::map<std::string, std::string> fullFolders;  // each folder as spelt, and its full path
  std::set<std::string> seen;
  std::vector<std::string> kept;
  for (const std::string& path : paths) {
    const std::string folder = files::FolderPrefix(path);
    auto full = fullFolders.find(folder);
    if (full == fullFolders.end()) {
      std::string resolved;
      std::string error;
      if (!files::FullPathOf(files::Utf8Path{folder.empty() ? "." : folder}, resolved, error)) {
        resolved = folder;
      }
      full = fullFolders.emplace(folder, resolved).first;
    }
    if (seen.insert(Join(full->second, files::NameOf(path))).second) kept.push_back(path);
  }
  paths.swap(kept);
}

}  // namespace

bool IsTrackName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string end = name.substr(name.size() - 4);
  for (char& c : end) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return end == ".PAK";
}

bool IsLeftoverName(const std::string& name) {
  return name.find(kLeftoverMark) != std::string::npos && EndsWith(name, kLeftoverEnd);
}

void FlushFoldersOf(const std::set<std::string>& paths) {
  std::set<std::string> folders;
  for (const std::string& path : paths) {
    if (folders.insert(files::FolderPrefix(path)).second) FlushFolderOf(path);
  }
}

std::string TemporaryNameFor(const std::string& trackName, unsigned long unique) {
  static const char kHex[] = "0123456789abcdef";
  std::string number;
  for (int i = 0; i < 8; ++i, unique >>= 4) number.insert(number.begin(), kHex[unique & 15]);
  return trackName + kLeftoverMark + number + kLeftoverEnd;
}

bool GatherTracks(const std::vector<std::string>& arguments, Gathered& gathered,
                  std::string& usageError) {
  gathered = Gathered();
  if (arguments.empty()) Walk(".", "", gathered);
  // Every argument is checked before any folder is walked: a usage error touches nothing. Each is
  // examined once, so that what is walked is what was checked.
  std::vector<EntryInfo> entries;
  for (const std::string& argument : arguments) {
    const EntryInfo entry = ProbeEntry(argument);
    entries.push_back(entry);
    if (entry.type == EntryType::kMissing) {
      usageError = "no such file or folder: " + argument;
      return false;
    }
    const bool folder = entry.type == EntryType::kFolder ||
                        (entry.type == EntryType::kLink && entry.target == EntryType::kFolder);
    if (!folder && !IsTrackName(NameOf(argument))) {
      usageError = "not a track file (its name does not end in .pak): " + argument;
      return false;
    }
  }
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const EntryInfo& entry = entries[i];
    if (entry.type == EntryType::kFolder ||
        (entry.type == EntryType::kLink && entry.target == EntryType::kFolder)) {
      Walk(argument, argument, gathered);
    } else {
      gathered.tracks.push_back(argument);
    }
  }
  SortAndKeepOnce(gathered.tracks);
  SortAndKeepOnce(gathered.leftovers);
  SortAndKeepOnce(gathered.orphans);
  return true;
}

}  // namespace collection
