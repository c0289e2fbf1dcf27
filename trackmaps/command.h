// The trackmaps command: parses its arguments, runs scan, fix or restore over the collection and
// writes the report, for people or as one JSON document.
#pragma once

#include <ostream>

// Runs the command line argv[0..argc) with its report on out and its errors (and the progress
// bar, when errTerminal) on err. Returns the exit code: 0 all well, 1 work left or a track
// failed, 2 a usage error (or, for scan, a track that could not be read).
int RunTrackmaps(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                 bool errTerminal);
