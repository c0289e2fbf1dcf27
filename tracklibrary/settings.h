// What the window keeps between runs, in a small per-user file:
// %APPDATA%\Track Library\settings.txt, one "name=value" line each, UTF-8.
#pragma once

#include <string>

// The library folder of the last run, or empty.
std::string LoadLastLibrary();
// Keeps folder as the last library; a failure only loses the memory.
void SaveLastLibrary(const std::string& folder);
