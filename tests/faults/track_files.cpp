#include "track_files.h"

namespace {

void ReplaceEvery(std::string& bytes, const std::string& from, const std::string& to) {
  for (std::string::size_type at = 0; (at = bytes.find(from, at)) != std::string::npos;
       at += to.size()) {
    bytes.replace(at, from.size(), to);
  }
}

}  // namespace

std::string MakeTrack(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xFF);
  const std::string head = "National_Map;  The Sun";
  for (std::size_t at = 0; at + head.size() <= size; at += size / 7 + 1) {
    bytes.replace(at, head.size(), head);
  }
  return bytes;
}

std::string Repaired(std::string content, const std::string& newName) {
  ReplaceEvery(content, "National_Map", newName);
  ReplaceEvery(content, ";  The Sun", ";TDFIX   1");
  return content;
}
