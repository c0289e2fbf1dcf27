// Test driver for the program's dialogs under Wine, run once per step by the GUI tests in the
// program's Wine prefix. Usage: gui_driver COMMAND [ARG]
//   main | file-dialog | cancel | dismiss | choose PATH | post click|close|sysclose
//   hold PATH FLAG_FILE   holds PATH open, shared with nobody, from when it creates FLAG_FILE
//                         until that file is deleted (at most a minute)
#include <cstdio>
#include <string>
#include <vector>

#include "disk.h"
#include "driver.h"

namespace {

// Posts to the main dialog, never sends: a click runs the modal open-file dialog inside its
// handling.
Facts PostToMainDialog(const std::string& what) {
  HWND main_dialog = FindMainDialog();
  if (!main_dialog) return {{"error", "no main dialog"}};
  if (what == "click") {
    PostMessageA(main_dialog, WM_COMMAND, MAKEWPARAM(IDC_FIXBUTTON, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(main_dialog, IDC_FIXBUTTON)));
  } else if (what == "close") {
    PostMessageA(main_dialog, WM_CLOSE, 0, 0);
  } else if (what == "sysclose") {
    PostMessageA(main_dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else {
    return {{"error", "unknown message " + what}};
  }
  return {};
}

Facts HoldFile(const std::string& path, const std::string& flag_file) {
  ExclusiveHold hold;
  if (!HoldExclusive(path, hold)) {
    return {{"error", "cannot open " + path + " (" + std::to_string(GetLastError()) + ")"}};
  }
  FILE* flag = std::fopen(flag_file.c_str(), "wb");
  if (!flag || std::fclose(flag) != 0) return {{"error", "cannot write " + flag_file}};
  WaitFor(60000, [&] { return GetFileAttributesA(flag_file.c_str()) == INVALID_FILE_ATTRIBUTES; });
  return {};
}

Facts Run(const std::vector<std::string>& args) {
  const std::string command = args.empty() ? "" : args[0];
  if (args.size() == 1 && command == "main") return MainDialogFacts();
  if (args.size() == 1 && command == "file-dialog") return FileDialogFacts();
  if (args.size() == 1 && command == "cancel") return CancelFileDialog();
  if (args.size() == 1 && command == "dismiss") return DismissMessageBox();
  if (args.size() == 2 && command == "choose") return ChooseFile(args[1]);
  if (args.size() == 2 && command == "post") return PostToMainDialog(args[1]);
  if (args.size() == 3 && command == "hold") return HoldFile(args[1], args[2]);
  return {{"error", "unknown command or wrong arguments: " + command}};
}

// text as a JSON string: ASCII, with quotes, backslashes and other bytes escaped.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, c == '"' || c == '\\' ? "\\%c" : "\\u%04x", c);
    quoted += c >= 0x20 && c < 0x7F && c != '"' && c != '\\' ? std::string(1, c) : escaped;
  }
  return quoted + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  const Facts facts = Run(std::vector<std::string>(argv + 1, argv + argc));
  std::string json = "{";
  for (const auto& [name, value] : facts) {
    json += (json.size() > 1 ? ", " : "") + Quoted(name) + ": " + Quoted(value);
  }
  std::printf("%s}\n", json.c_str());
  return facts.count("error") ? 1 : 0;
}
