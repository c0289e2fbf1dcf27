// Test driver for the program's main dialog under Wine: started once per step by the GUI test
// harness, in the same Wine prefix as the program. Usage: gui_driver COMMAND ARGS...
//   launch PID_FILE CWD EXE [ARGS...]   start the program, wait for it, exit with its code
//   kill PID | main PID | file-dialog PID | cancel PID | dismiss PID
//   choose PID PATH | post PID click|close|sysclose
//   hold PATH FLAG_FILE                 hold a file open, shared with nobody, while FLAG_FILE
//   exists
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "commands.h"
#include "windows_found.h"

int PostToMainDialog(DWORD pid, const std::string& what) {
  HWND main_dialog = FindMainDialog(pid);
  if (!main_dialog) {
    std::printf("error=no main dialog\n");
    return 1;
  }
  // Posted, never sent: a click runs the modal open-file dialog inside its handling.
  if (what == "click") {
    PostMessageA(main_dialog, WM_COMMAND, MAKEWPARAM(IDC_FIXBUTTON, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(main_dialog, IDC_FIXBUTTON)));
  } else if (what == "close") {
    PostMessageA(main_dialog, WM_CLOSE, 0, 0);
  } else if (what == "sysclose") {
    PostMessageA(main_dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else {
    std::printf("error=unknown message %s\n", what.c_str());
    return 1;
  }
  return 0;
}

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 4 && args[0] == "launch") {
    return Launch(args[1], args[2], args[3],
                  std::vector<std::string>(args.begin() + 4, args.end()));
  }
  if (args.size() == 3 && args[0] == "hold") return HoldFile(args[1], args[2]);
  if (args.size() < 2) {
    std::printf("error=usage: gui_driver COMMAND ARGS...\n");
    return 2;
  }
  const std::string& command = args[0];
  const DWORD pid = std::strtoul(args[1].c_str(), nullptr, 10);
  int code = 2;
  if (args.size() == 2 && command == "kill") {
    code = Kill(pid);
  } else if (args.size() == 2 && command == "main") {
    code = PrintMainDialog(pid);
  } else if (args.size() == 2 && command == "file-dialog") {
    code = PrintFileDialog(pid);
  } else if (args.size() == 2 && command == "cancel") {
    code = CancelFileDialog(pid);
  } else if (args.size() == 2 && command == "dismiss") {
    code = DismissMessageBox(pid);
  } else if (args.size() == 3 && command == "choose") {
    code = ChooseFile(pid, args[2]);
  } else if (args.size() == 3 && command == "post") {
    code = PostToMainDialog(pid, args[2]);
  } else {
    std::printf("error=unknown command or wrong arguments: %s\n", command.c_str());
  }
  std::fflush(stdout);
  return code;
}
