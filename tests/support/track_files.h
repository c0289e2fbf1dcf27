// Track contents and folder listings for the tests.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>

// A track of size bytes, not text, with "National_Map" and ";  The Sun" at intervals through it.
std::string MakeTrack(std::size_t size);

// A track of size random letters (the same for the same seed), with name and the marker site at
// intervals through it.
std::string RandomTrack(const std::string& name, std::size_t size, unsigned seed);

// What a repair that chose newName makes of content; "Hill00007Map" is the name of a National
// track named Hill.PAK with the clock digit pinned to 7.
std::string Repaired(const std::string& content, const std::string& newName = "Hill00007Map");

// The names in folder, without "." and "..".
std::set<std::string> Entries(const std::string& folder);

// Files under a folder: each path relative to it, with '/' between names, and its bytes.
using FileTree = std::map<std::string, std::string>;

// Writes every file of tree under root, making the folders on the way.
bool WriteFileTree(const std::string& root, const FileTree& tree);

// Every regular file under root, read whole.
FileTree ReadFileTree(const std::string& root);
