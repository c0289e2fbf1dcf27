// The words and the report for people that every program over the library shows alike: the
// command prints them, the window shows them and saves them.
#pragma once

#include <string>
#include <vector>

#include "collection.h"

namespace collection {

// "stock", "fixed", "unverified", "error".
const char* StateText(State state);
// "fixed", "refixed", "unchanged", "failed", "would-fix", "would-refix", "restored",
// "would-restore", "added", "would-add".
const char* ActionText(Action action);

// The word for a phase of a run: "scanning", "fixing", "restoring", "adding".
const char* PhaseText(Phase phase);

// The last line of each report: "4 tracks (3 stock, 1 unverified), 2 clashes".
std::string ScanSummary(const std::vector<Track>& tracks, const std::vector<Clash>& clashes);
std::string FixSummary(const std::vector<Outcome>& outcomes, const std::vector<Clash>& clashes);
std::string RestoreSummary(const std::vector<Outcome>& outcomes);

// The whole report for people: one line per track, the clashes, the warnings, note (a line of the
// caller's, or empty) and the summary; '\n' line ends. A fix report of added tracks (added) tells
// where each came from.
std::string ScanReport(const std::vector<Track>& tracks, const std::vector<Clash>& clashes,
                       const std::vector<std::string>& leftovers,
                       const std::vector<std::string>& orphans, const std::string& note);
std::string FixReport(const std::vector<Outcome>& outcomes, const std::vector<Clash>& clashes,
                      const std::string& note, bool added);
std::string RestoreReport(const std::vector<Outcome>& outcomes);

}  // namespace collection
