#include <cstdio>

#include "commands.h"
#include "handle_guard.h"
#include "windows_found.h"

namespace {

// Writes text as the whole of path in one step, so that a reader never sees half of it.
bool PublishFile(const std::string& path, const std::string& text) {
  const std::string draft = path + ".draft";
  FILE* file = std::fopen(draft.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) return false;
  return MoveFileExA(draft.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace

int Launch(const std::string& pid_file, const std::string& cwd, const std::string& exe,
           const std::vector<std::string>& args) {
  std::string command_line = "\"" + exe + "\"";
  for (const std::string& arg : args) command_line += " \"" + arg + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(exe.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr,
                      cwd.c_str(), &startup, &process)) {
    std::printf("error=cannot start %s (%lu)\n", exe.c_str(), GetLastError());
    return 1;
  }
  HandleGuard process_guard{process.hProcess};
  HandleGuard thread_guard{process.hThread};

  // A minute: in a VM without KVM a start once took more than 15 s.
  const bool ready = WaitFor(60000, [&] {
    return FindMainDialog(process.dwProcessId) ||
           WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
  });
  const bool gone = WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
  const char* state = gone ? "gone" : ready ? "ready" : "timeout";
  if (!PublishFile(pid_file, std::to_string(process.dwProcessId) + " " + state + "\n")) {
    std::printf("error=cannot write %s\n", pid_file.c_str());
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  std::printf("exit=%lu\n", code);
  return static_cast<int>(code);
}

int Kill(DWORD pid) {
  HandleGuard process{OpenProcess(PROCESS_TERMINATE, FALSE, pid)};
  if (!process.ok() || !TerminateProcess(process.value, 1)) {
    std::printf("error=cannot end process %lu\n", pid);
    return 1;
  }
  return 0;
}
