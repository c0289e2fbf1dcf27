// The process's current directory, where a fix run's open-file dialog starts.
#pragma once

#include <string>

// The current directory as the platform reports it, whole; empty when it cannot be read.
std::string CurrentDirectory();
