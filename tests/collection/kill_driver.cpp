// The trackmaps command with the kill shim linked in and the clock digit pinned to 7, so that
// every run over the same collection gives the same names.
#include <iostream>

#include "clock.h"
#include "command.h"

int main(int argc, char** argv) {
  PinClockDigit(7);
  return RunTrackmaps(argc, argv, std::cout, std::cerr, false);
}
