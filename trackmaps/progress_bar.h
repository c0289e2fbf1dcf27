// The progress of a run, drawn on a terminal's error stream for people waiting on a large
// collection or a large track.
#pragma once

#include <chrono>
#include <ostream>
#include <string>

#include "collection.h"

// One line of progress, always the same width: the phase, a bar and the bytes and tracks done.
std::string ProgressLine(const collection::ProgressStep& step);

// Draws the progress on err once the run has taken delay, at most ten times a second and at
// every change of phase, and wipes the line when a phase ends. No escape codes: each line covers
// the one before (a carriage return, then a line of the same width), and spaces wipe it.
collection::Progress ProgressBar(std::ostream& err, std::chrono::milliseconds delay);
