// The trackmaps command: parses its arguments, runs scan, fix or restore over the collection and
// writes the report, for people or as one JSON document.
#pragma once

#include <ostream>

// Where the command runs.
struct Console {
  bool errTerminal = false;    // err is a terminal: the progress is drawn there
  bool explorer = false;       // started from Explorer, alone on its console (see EdgeArguments)
  int progressDelayMs = 1000;  // the progress shows once the work has taken this long
};

// Runs the command line argv[0..argc) (UTF-8) with its report on out and its errors (and the
// progress) on err. Returns the exit code: 0 all well, 1 work left or a track failed, 2 a usage
// error (or, for scan, a track that could not be read). From Explorer with no arguments it
// prints the help and where the window program is.
int RunTrackmaps(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                 const Console& console);
