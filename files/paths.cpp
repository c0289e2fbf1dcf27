#include "paths.h"

#include <cstring>

namespace files {

const char* const kWindowsSeparators = "\\/";

std::size_t NameStart(const std::string& path, const char* separators) {
  const std::string::size_type last = path.find_last_of(separators);
  return last == std::string::npos ? 0 : last + 1;
}

std::string NameOf(const std::string& path, const char* separators) {
  return path.substr(NameStart(path, separators));
}

std::string FolderPrefix(const std::string& path, const char* separators) {
  return path.substr(0, NameStart(path, separators));
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const bool ends = folder.back() != '\0' && std::strchr(kSeparators, folder.back()) != nullptr;
  return ends ? folder + name : folder + kSeparator + name;
}

}  // namespace files
