// The trackmaps command under the fault shim, set up from the environment (see fault_shim.h),
// with the clock digit pinned to 7 so that every run over the same collection gives the same
// names.
#include <iostream>

#include "clock.h"
#include "command.h"
#include "fault_shim.h"

int main(int argc, char** argv) {
  PinClockDigit(7);
  ShimStartDriver();
  const int code = RunTrackmaps(argc, argv, std::cout, std::cerr, Console());
  ShimEndDriver();
  return code;
}
