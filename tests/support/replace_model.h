// The plain reading of "replace every occurrence", which the content work must agree with.
#pragma once

#include <string>

// Scans from the first byte, replaces each match, and goes on right after it.
inline std::string ReplaceModel(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + from.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}
