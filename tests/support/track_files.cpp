#include "track_files.h"

#include <filesystem>
#include <random>

#include "disk.h"
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

std::string RandomTrack(const std::string& name, std::size_t size, unsigned seed) {
  const std::string site = ";  The Sun";
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>('a' + random() % 26);
  for (std::size_t at = 100; at + 40 < size; at += size / 7 + 13) {
    bytes.replace(at, name.size(), name);
    bytes.replace(at + name.size() + 3, site.size(), site);
  }
  return bytes;
}

bool WriteFileTree(const std::string& root, const FileTree& tree) {
  namespace fs = std::filesystem;
  for (const auto& file : tree) {
    fs::create_directories(fs::path(root + "/" + file.first).parent_path());
    if (!WriteBytes(root + "/" + file.first, file.second)) return false;
  }
  return true;
}

FileTree ReadFileTree(const std::string& root) {
  namespace fs = std::filesystem;
  FileTree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    EXPECT_TRUE(ReadBytes(entry.path().string(),
                          tree[entry.path().lexically_relative(root).generic_string()]));
  }
  return tree;
}
