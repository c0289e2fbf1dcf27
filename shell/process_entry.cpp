// The process's start and exit. MinGW's C runtime starts the process as usual and calls main;
// this main takes the place of the runtime's own shim that calls WinMain, to put the COM
// apartment around it and to end the process with ExitProcess.
#include <windows.h>
// Needs the types of windows.h before it.
#include <objbase.h>

namespace {

// The command line after the program's name and the blanks that follow it, as WinMain gets it.
LPSTR CommandLineAfterProgramName() {
  char* at = GetCommandLineA();
  if (*at == '"') {
    ++at;
    while (*at != '\0' && *at != '"') ++at;
    if (*at == '"') ++at;
  } else {
    while (static_cast<unsigned char>(*at) > ' ') ++at;
  }
  while (*at != '\0' && static_cast<unsigned char>(*at) <= ' ') ++at;
  return at;
}

// The show state the process was started with, or SW_SHOWDEFAULT when none was given.
int StartupShowState() {
  STARTUPINFOA startup;
  GetStartupInfoA(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
}

}  // namespace

int main() {
  // The one thread is a single-threaded apartment while the dialogs run.
  CoInitialize(nullptr);
  const int exitCode = WinMain(GetModuleHandleA(nullptr), nullptr, CommandLineAfterProgramName(),
                               StartupShowState());
  CoUninitialize();
  ExitProcess(exitCode);
}
