// trackmaps.exe: the command on Windows. Its arguments come from the wide command line and its
// output goes to a console in UTF-16, so that any file name Windows allows passes; the command
// itself works in UTF-8. Started from Explorer it keeps its console open until Enter.
#include <windows.h>
// after windows.h
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <stdio.h>

#include <iostream>
#include <string>
#include <vector>

#include "command.h"
#include "console_win32.h"

namespace {

// Frees what CommandLineToArgvW hands back.
struct LocalGuard {
  wchar_t** arguments;
  ~LocalGuard() { LocalFree(arguments); }
};

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

// Explorer gives a console program a console of its own; from cmd.exe or PowerShell the shell
// shares it.
bool AloneOnConsole() {
  DWORD processes[2];
  return GetConsoleProcessList(processes, 2) == 1;
}

}  // namespace

int main() {
  int count = 0;
  const LocalGuard wide{CommandLineToArgvW(GetCommandLineW(), &count)};
  if (wide.arguments == nullptr) {
    std::cerr << "trackmaps: the command line could not be read\n";
    return 2;
  }
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8Of(wide.arguments[i]));
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());

  // On a console the text goes out as UTF-16; elsewhere (a file, a pipe) as the UTF-8 bytes,
  // with line ends unchanged.
  ConsoleBuffer outConsole(GetStdHandle(STD_OUTPUT_HANDLE));
  ConsoleBuffer errConsole(GetStdHandle(STD_ERROR_HANDLE));
  std::streambuf* const outFile = std::cout.rdbuf();
  std::streambuf* const errFile = std::cerr.rdbuf();
  _setmode(_fileno(stdout), _O_BINARY);
  if (IsConsole(GetStdHandle(STD_OUTPUT_HANDLE))) std::cout.rdbuf(&outConsole);
  Console console;
  console.errTerminal = IsConsole(GetStdHandle(STD_ERROR_HANDLE));
  if (console.errTerminal) std::cerr.rdbuf(&errConsole);
  console.explorer = AloneOnConsole();

  const int code =
      RunTrackmaps(static_cast<int>(argv.size()), argv.data(), std::cout, std::cerr, console);
  if (console.explorer) {
    std::cout << "\nPress Enter to close this window." << std::flush;
    std::string line;
    std::getline(std::cin, line);
  }
  std::cout.flush();
  std::cerr.flush();
  std::cout.rdbuf(outFile);
  std::cerr.rdbuf(errFile);
  return code;
}
