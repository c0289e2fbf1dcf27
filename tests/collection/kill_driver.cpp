// The trackmaps command under the fault shim, set up from the environment (see fault_shim.h).
#include <iostream>

#include "command.h"
#include "fault_shim.h"

int main(int argc, char** argv) {
  ShimStartDriver();
  const int code = RunTrackmaps(argc, argv, std::cout, std::cerr, Console());
  ShimEndDriver();
  return code;
}
