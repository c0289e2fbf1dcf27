// The command line as the shells deliver it, put into the form the command parses.
#pragma once

#include <string>
#include <vector>

// The arguments after the program's name, read as the user meant them:
// - on Windows "/?" asks for help, and every '/' in a path is a '\' (a printed path then has one
//   separator throughout);
// - an argument ending in a double quote that names nothing is read without it: cmd.exe turns
//   "D:\My Tracks\" into D:\My Tracks" (its \" is an escaped quote);
// - from Explorer (started alone on its console) paths with no command are scanned.
std::vector<std::string> EdgeArguments(int argc, const char* const* argv, bool explorer);
