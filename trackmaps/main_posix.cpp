// trackmaps: scans a collection of track files for map names that clash, fixes every track with
// a name of its own and puts originals back. See RunTrackmaps. File names and output are bytes.
#include <unistd.h>

#include <iostream>

#include "command.h"

int main(int argc, char** argv) {
  Console console;
  console.errTerminal = isatty(STDERR_FILENO) == 1;
  const int code = RunTrackmaps(argc, argv, std::cout, std::cerr, console);
  std::cout.flush();
  return code;
}
