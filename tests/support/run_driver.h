// Runs a test driver (a program built on the fault shim) in a child process, with the shim's
// settings in its environment, kills it when asked, and reads what it left. Linux only.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

// Names and values added to the driver's environment (see fault_shim.h).
using DriverSettings = std::vector<std::pair<std::string, std::string>>;

// How one run ended: killed by SIGKILL, or its exit code; its standard output; and the kinds of
// the file calls its shim traced, in order (none when it was killed).
struct DriverRun {
  bool killed = false;
  int exitCode = -1;  // -1 unless it exited
  std::string output;
  std::vector<std::string> calls;
};

// Runs program with arguments, its output and trace going to files in scratch. With killAfter
// set, the test itself kills it that long after starting it.
DriverRun RunDriver(const std::string& program, const std::vector<std::string>& arguments,
                    const DriverSettings& settings, const std::string& scratch,
                    std::chrono::microseconds killAfter = std::chrono::microseconds(-1));
