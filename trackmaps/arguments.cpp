#include "arguments.h"

#include "store.h"

namespace {

bool IsOption(const std::string& argument) { return !argument.empty() && argument[0] == '-'; }

bool IsCommand(const std::string& argument) {
  return argument == "scan" || argument == "fix" || argument == "restore" || argument == "add";
}

// A path's text with the platform's own separator (Windows takes '/' for '\'; elsewhere a '\'
// is an ordinary character of a name).
std::string NativeSeparators(std::string path) {
  if (collection::kSeparator == '/') return path;
  for (char& c : path) {
    if (c == '/') c = collection::kSeparator;
  }
  return path;
}

std::string WithoutStrayQuote(const std::string& path) {
  if (path.size() < 2 || path.back() != '"') return path;
  if (collection::ProbeEntry(path).type != collection::EntryType::kMissing) return path;
  const std::string unquoted = path.substr(0, path.size() - 1);
  return collection::ProbeEntry(unquoted).type == collection::EntryType::kMissing ? path : unquoted;
}

}  // namespace

std::vector<std::string> EdgeArguments(int argc, const char* const* argv, bool explorer) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "/?" && collection::kSeparator == '\\') {
      argument = "--help";
    } else if (!IsOption(argument)) {
      argument = WithoutStrayQuote(NativeSeparators(argument));
    } else if (argument.rfind("--", 0) == 0 && argument.find('=') != std::string::npos) {
      const std::string::size_type at = argument.find('=') + 1;
      argument = argument.substr(0, at) + WithoutStrayQuote(NativeSeparators(argument.substr(at)));
    }
    arguments.push_back(argument);
  }
  if (explorer && !arguments.empty() && !IsCommand(arguments[0]) && !IsOption(arguments[0])) {
    arguments.insert(arguments.begin(), "scan");
  }
  return arguments;
}
