#include "track_files.h"

#include "replace_model.h"

std::string MakeTrack(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xFF);
  const std::string head = "National_Map;  The Sun";
  for (std::size_t at = 0; at + head.size() <= size; at += size / 7 + 1) {
    bytes.replace(at, head.size(), head);
  }
  return bytes;
}

std::string Repaired(const std::string& content, const std::string& newName) {
  return ReplaceModel(ReplaceModel(content, "National_Map", newName), ";  The Sun", ";TDFIX   1");
}
