// What one fix run reports: the path tests that come before any file is touched, and the
// status bar text for a repair's outcome.
#pragma once

#include <cstdint>
#include <string>

// The status bar text when the open-file dialog gave no file.
extern const char* const kNoFileSelected;

// The refusal text for a path that cannot be a track file: 3 bytes or fewer, or a last four
// bytes that are not ".PAK" once a to z are upper-cased. Empty when the path passes both tests.
std::string RefusalReport(const std::string& path);

// The status bar text for a repair of path that returned flag and message.
std::string RepairReport(const std::string& path, std::int32_t flag, const std::string& message);

// Repairs the track file at path, which has passed the path tests, and returns the status bar
// text for the outcome.
std::string RepairChosenTrack(const std::string& path);

// Tests path and, when it passes, repairs the track file there. Returns false when the path was
// refused before any file was touched; report holds the text to show either way.
bool FixChosenTrack(const std::string& path, std::string& report);
