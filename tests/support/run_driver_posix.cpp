#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <thread>

#include "disk.h"
#include "run_driver.h"

DriverRun RunDriver(const std::string& program, const std::vector<std::string>& arguments,
                    const DriverSettings& settings, const std::string& scratch,
                    std::chrono::microseconds killAfter) {
  const std::string output = scratch + "/driver.out";
  const std::string trace = scratch + "/driver.trace";
  unlink(trace.c_str());  // a killed driver writes none
  std::vector<const char*> argv = {program.c_str()};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);

  fflush(stdout);  // else the child writes out what this process holds buffered
  const pid_t child = fork();
  if (child == 0) {
    if (!freopen(output.c_str(), "w", stdout)) _exit(126);
    setenv("TMF_TRACE", trace.c_str(), 1);
    for (const auto& setting : settings) setenv(setting.first.c_str(), setting.second.c_str(), 1);
    execv(program.c_str(), const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  DriverRun run;
  if (child < 0) return run;
  if (killAfter.count() >= 0) {
    std::this_thread::sleep_for(killAfter);
    kill(child, SIGKILL);
  }
  int status = 0;
  waitpid(child, &status, 0);
  run.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  ReadBytes(output, run.output);
  std::string calls;
  std::istringstream words(ReadBytes(trace, calls) ? calls : "");
  for (std::string call; words >> call;) run.calls.push_back(call);
  return run;
}
