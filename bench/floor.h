// The plain floor of the benchmarks: what any program that copies a file whole must do.
#pragma once

#include <string>

// Reads the file at from whole into one zero-filled buffer and writes it to a new file at to.
bool CopyWhole(const std::string& from, const std::string& to);
