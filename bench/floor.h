// The plain floor of the benchmarks: what any program that copies a file whole must do.
#pragma once

#include <chrono>
#include <string>

// Where the floor's time went, in milliseconds: making the zero-filled buffer, reading the file
// into it, and creating, writing and closing the new file. A repair writes the same new file and
// reads the same bytes, so read plus write bounds how far below the floor any repair can get.
struct CopyPhases {
  double buffer = 0;
  double read = 0;
  double write = 0;
};

// Milliseconds from mark to now; moves mark to now.
inline double Lap(std::chrono::steady_clock::time_point& mark) {
  const auto now = std::chrono::steady_clock::now();
  const double ms = std::chrono::duration<double, std::milli>(now - mark).count();
  mark = now;
  return ms;
}

// Reads the file at from whole into one zero-filled buffer and writes it to a new file at to.
bool CopyWhole(const std::string& from, const std::string& to, CopyPhases& phases);
