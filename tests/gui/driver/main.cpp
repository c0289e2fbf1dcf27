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
int PostToMainDialog(const std::string& what, Facts& facts) {
  HWND main_dialog = FindMainDialog();
  if (!main_dialog) {
    facts["error"] = "no main dialog";
  } else if (what == "click") {
    PostMessageA(main_dialog, WM_COMMAND, MAKEWPARAM(IDC_FIXBUTTON, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(main_dialog, IDC_FIXBUTTON)));
  } else if (what == "close") {
    PostMessageA(main_dialog, WM_CLOSE, 0, 0);
  } else if (what == "sysclose") {
    PostMessageA(main_dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else {
    facts["error"] = "unknown message " + what;
  }
  return facts.count("error") ? 1 : 0;
}

int HoldFile(const std::string& path, const std::string& flag_file, Facts& facts) {
  ExclusiveHold hold;
  if (!HoldExclusive(path, hold)) {
    facts["error"] = "cannot open " + path + " (" + std::to_string(GetLastError()) + ")";
    return 1;
  }
  FILE* flag = std::fopen(flag_file.c_str(), "wb");
  if (!flag || std::fclose(flag) != 0) {
    facts["error"] = "cannot write " + flag_file;
    return 1;
  }
  WaitFor(60000, [&] { return GetFileAttributesA(flag_file.c_str()) == INVALID_FILE_ATTRIBUTES; });
  return 0;
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
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string command = args.empty() ? "" : args[0];
  Facts facts;
  int code = 1;
  if (args.size() == 1 && command == "main") {
    code = MainDialogFacts(facts);
  } else if (args.size() == 1 && command == "file-dialog") {
    code = FileDialogFacts(facts);
  } else if (args.size() == 1 && command == "cancel") {
    code = CancelFileDialog(facts);
  } else if (args.size() == 1 && command == "dismiss") {
    code = DismissMessageBox(facts);
  } else if (args.size() == 2 && command == "choose") {
    code = ChooseFile(args[1], facts);
  } else if (args.size() == 2 && command == "post") {
    code = PostToMainDialog(args[1], facts);
  } else if (args.size() == 3 && command == "hold") {
    code = HoldFile(args[1], args[2], facts);
  } else {
    facts["error"] = "unknown command or wrong arguments: " + command;
  }
  std::string json;
  for (const auto& [name, value] : facts)
    json += (json.empty() ? "{" : ", ") + Quoted(name) + ": " + Quoted(value);
  std::printf("%s}\n", json.empty() ? "{" : json.c_str());
  std::fflush(stdout);
  return code;
}
