// Finding the tracks under the command's arguments.
#include <algorithm>
#include <cctype>
#include <set>
#include <utility>

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

// Walks a folder and every folder inside it; links to folders are not followed. prefix is what
// the printed paths start with ("" for the current folder, which is then not printed).
void Walk(const std::string& folder, const std::string& prefix, Gathered& gathered) {
  std::vector<std::string> names;
  std::string error;
  if (!ListFolder(folder, names, error)) {
    gathered.unreadable.push_back((prefix.empty() ? "." : prefix) + " (" + error + ")");
    return;
  }
  for (const std::string& name : names) {
    const std::string path = Join(folder, name);
    const std::string printed = Join(prefix, name);
    const EntryInfo entry = ProbeEntry(path);
    if (IsTrackName(name)) {
      gathered.tracks.push_back(printed);
    } else if (IsLeftoverName(name)) {
      gathered.leftovers.push_back(printed);
    }
    if (entry.type == EntryType::kFolder) Walk(path, printed, gathered);
  }
}

// Sorts by path bytes and keeps each path, and each file reached under two paths, once.
void SortAndKeepOnce(std::vector<std::string>& paths, bool byIdentity) {
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  if (!byIdentity) return;
  std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
  std::vector<std::string> kept;
  for (const std::string& path : paths) {
    FileFacts identity;
    if (IdentityAt(path, identity) && !seen.insert({identity.volume, identity.index}).second) {
      continue;  // the same file under a path earlier in byte order
    }
    kept.push_back(path);
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
  // Every argument is checked before any folder is walked: a usage error touches nothing.
  for (const std::string& argument : arguments) {
    const EntryInfo entry = ProbeEntry(argument);
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
  for (const std::string& argument : arguments) {
    const EntryInfo entry = ProbeEntry(argument);
    if (entry.type == EntryType::kFolder ||
        (entry.type == EntryType::kLink && entry.target == EntryType::kFolder)) {
      Walk(argument, argument, gathered);
    } else {
      gathered.tracks.push_back(argument);
    }
  }
  SortAndKeepOnce(gathered.tracks, true);
  SortAndKeepOnce(gathered.leftovers, false);
  return true;
}

}  // namespace collection
