// The plain reading of "replace every occurrence", which the content work must agree with; the
// tests and the fuzzers alike compare against it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Where the model replaced: length bytes from at, in the text it returns.
struct ReplacedSpan {
  std::size_t at;
  std::size_t length;
};

// Scans from the first byte, replaces each match, and goes on right after it. Records each
// replacement in replaced when given.
inline std::string ReplaceModel(std::string text, const std::string& from, const std::string& to,
                                std::vector<ReplacedSpan>* replaced = nullptr) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
    if (replaced != nullptr) replaced->push_back({at, to.size()});
  }
  return text;
}
