// Splitting and joining paths, as both programs do it.
#pragma once

#include <string>

namespace files {

// The platform's directory separator, used to join; '/' ends a folder part on every platform.
extern const char kSeparator;
// The separators of the platform's paths ("/", or "\\/" on Windows), and those of a track path
// as Windows gives it, whatever platform reads it ("\\/").
extern const char* const kSeparators;
extern const char* const kWindowsSeparators;

// Where the last part of path begins: right after its last separator, or 0.
std::size_t NameStart(const std::string& path, const char* separators = kSeparators);

// The last part of path, and what comes before it (the folder, with its separator).
std::string NameOf(const std::string& path, const char* separators = kSeparators);
std::string FolderPrefix(const std::string& path, const char* separators = kSeparators);

// folder and name with one separator between; name alone when folder is empty.
std::string Join(const std::string& folder, const std::string& name);

}  // namespace files
