#include "fix_report.h"

#include "repair.h"

const char* const kNoFileSelected = "No file(s) selected.";

namespace {

// Only a to z: bytes above 7F are left alone whatever the code page would make of them.
char UpperAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EndsInPakExtension(const std::string& path) {
  std::string last = path.substr(path.size() - 4);
  for (char& c : last) c = UpperAsciiLetter(c);
  return last == ".PAK";
}

}  // namespace

std::string RefusalReport(const std::string& path) {
  if (path.size() <= 3) return path + " - too short for a pak file";
  if (!EndsInPakExtension(path)) return path + " is not a PAK file";
  return std::string();
}

std::string RepairReport(const std::string& path, std::int32_t flag, const std::string& message) {
  if (flag != 0) return path + " - " + message;
  return "Error fixing " + path + " - " + message;
}

std::string RepairChosenTrack(const std::string& path) {
  std::string message;
  const std::int32_t flag = FixTrackFile(path, message);
  return RepairReport(path, flag, message);
}

bool FixChosenTrack(const std::string& path, std::string& report) {
  report = RefusalReport(path);
  if (!report.empty()) return false;
  report = RepairChosenTrack(path);
  return true;
}
