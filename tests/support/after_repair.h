// What a repair left in its folder, checked byte for byte.
#pragma once

#include <cstddef>
#include <map>
#include <string>

// The folder holds exactly the names in files, each with exactly its bytes (read through
// links), and the process holds as many descriptors or handles as handlesBefore, so the repair
// left none open. what names the case in every failure.
void ExpectAfterRepair(const std::string& folder, const std::map<std::string, std::string>& files,
                       std::size_t handlesBefore, const std::string& what = "");
