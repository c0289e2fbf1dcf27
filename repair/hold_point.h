// A point in every repair that changes the disk: the track has been read and repaired in memory,
// and nothing on disk has changed yet.
#pragma once

#include <string>

// Called there with the track's path. The library's definition does nothing. A test program may
// define its own, which the linker then takes instead, to hold a repair at this point while it
// changes the folder or runs another repair.
void BeforeDiskChanges(const std::string& path);
