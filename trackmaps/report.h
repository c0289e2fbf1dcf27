// The reports of the three runs: one line per track, the clashes and a summary for people, or
// one JSON document.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "collection.h"

void ReportScan(std::ostream& out, const std::vector<collection::Track>& tracks,
                const std::vector<collection::Clash>& clashes,
                const std::vector<std::string>& leftovers, bool json);

void ReportFix(std::ostream& out, const std::vector<collection::Outcome>& outcomes,
               const std::vector<collection::Clash>& clashes, bool json);

void ReportRestore(std::ostream& out, const std::vector<collection::Outcome>& outcomes, bool json);
