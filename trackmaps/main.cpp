// trackmaps: scans a collection of track files for map names that clash, fixes every track with
// a name of its own and puts originals back. See RunTrackmaps.
#include <iostream>

#include "command.h"
#include "terminal.h"

int main(int argc, char** argv) {
  UseBinaryStandardOutput();
  const int code = RunTrackmaps(argc, argv, std::cout, std::cerr, StandardErrorIsTerminal());
  std::cout.flush();
  return code;
}
