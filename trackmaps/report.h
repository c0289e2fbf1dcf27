// The reports of the three runs: one line per track, the clashes and a summary for people, or
// one JSON document.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "collection.h"

// Where a run judged clashes: against a whole library, or among the tracks under its paths
// alone (then clashes with tracks elsewhere are not known, which the report says when the paths
// were given), and what it found on the way.
struct RunScope {
  bool library = false;
  bool pathsGiven = false;
  bool added = false;  // the tracks were added: each tells where it came from
  const collection::Gathered* gathered = nullptr;
};

void ReportScan(std::ostream& out, const std::vector<collection::Track>& tracks,
                const std::vector<collection::Clash>& clashes, const RunScope& scope, bool json);

void ReportFix(std::ostream& out, const std::vector<collection::Outcome>& outcomes,
               const std::vector<collection::Clash>& clashes, const RunScope& scope, bool json);

void ReportRestore(std::ostream& out, const std::vector<collection::Outcome>& outcomes,
                   const RunScope& scope, bool json);
