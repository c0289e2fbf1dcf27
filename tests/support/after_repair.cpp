#include "after_repair.h"

#include <gtest/gtest.h>

#include <set>

#include "disk.h"
#include "process_usage.h"
#include "track_files.h"

void ExpectAfterRepair(const std::string& folder, const std::map<std::string, std::string>& files,
                       std::size_t handlesBefore, const std::string& what) {
  std::set<std::string> names;
  for (const auto& file : files) {
    names.insert(file.first);
    std::string bytes;
    const bool read = ReadBytes(folder + kSeparator + file.first, bytes);
    // Not EXPECT_EQ: a track of megabytes would fill the log.
    EXPECT_TRUE(read && bytes == file.second)
        << what << ": " << file.first << " holds "
        << (read ? std::to_string(bytes.size()) + " other bytes" : "nothing readable") << ", not "
        << file.second.size() << " bytes";
  }
  EXPECT_EQ(Entries(folder), names) << what;
  EXPECT_EQ(OpenHandles(), handlesBefore) << what << ": a descriptor or handle stayed open";
}
