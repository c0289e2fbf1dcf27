// Makes each file call of a repair fail in turn, in this process, and checks flag, message, every
// byte on disk and the open descriptors afterwards. libfiu's POSIX preload injects the faults of
// open, pread, pwrite, unlink and malloc (and the short transfers of pread and pwrite); the
// fault shim injects those libfiu has no point for (fstat, lstat, flock, renameat2, link), the
// reads and writes that move nothing, and close: libfiu's failing close keeps the descriptor
// open, where Linux's close always releases it.
#define FIU_ENABLE 1
#include <dirent.h>
#include <errno.h>
#include <fiu-control.h>
#include <fiu.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "after_repair.h"
#include "clock.h"
#include "disk.h"
#include "fault_shim.h"
#include "process_usage.h"
#include "repair.h"
#include "track_files.h"
#include "track_folder_test.h"

namespace {

const std::string kEarlier = "an earlier backup";

// The libfiu failure point of each kind of call that libfiu covers.
const std::map<std::string, const char*> kFiuPoints = {{"open", "posix/io/oc/open"},
                                                       {"pread", "posix/io/rw/pread"},
                                                       {"pwrite", "posix/io/rw/pwrite"},
                                                       {"unlink", "posix/io/dir/unlink"}};

constexpr long kEveryCall = 0;  // a libfiu fault on every call, not just the nth
constexpr long kNoCall = -1;    // a libfiu point that only counts its calls

// One libfiu point to enable for the next repair: its calls so far, the one to fail (or every
// one, or none), the errno it sets, and how many calls it made fail. Plain data: the decision
// runs inside malloc's wrapper and must not allocate.
struct FiuFault {
  const char* point;
  long failAt;
  int error;
  long calls;
  long failures;
};
FiuFault g_fiuFaults[4];  // the libfiu faults of the next repair
int g_fiuFaultCount;      // how many of them are set

int DecideFiuFault(const char* point, int*, void**, unsigned int*) {
  for (int i = 0; i < g_fiuFaultCount; ++i) {
    FiuFault& fault = g_fiuFaults[i];
    if (std::strcmp(fault.point, point) != 0) continue;
    ++fault.calls;
    const bool fail = fault.failAt == kEveryCall || fault.calls == fault.failAt;
    fault.failures += fail;
    return fail;
  }
  return 0;
}

// Sets a libfiu fault for the next repair (only its own calls meet it).
void FailAtFiuPoint(const char* point, long failAt, int error) {
  g_fiuFaults[g_fiuFaultCount++] = {point, failAt, error, 0, 0};
}

// Makes the nth call of kind fail, through libfiu where it has the point, else the shim.
void InjectFault(const std::string& kind, long nth, int error) {
  const auto point = kFiuPoints.find(kind);
  if (point != kFiuPoints.end() && error != 0) {
    FailAtFiuPoint(point->second, nth, error);
  } else {
    ShimFailNth(kind.c_str(), nth, error);
  }
}

void RemoveFaults() {
  g_fiuFaultCount = 0;
  ShimReset();
}

// How many calls the last repair met a fault in.
long FaultsMet() {
  long met = ShimFailures();
  for (int i = 0; i < g_fiuFaultCount; ++i) met += g_fiuFaults[i].failures;
  return met;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

class FaultTest : public TrackFolderTest {
 protected:
  static void SetUpTestSuite() { fiu_init(0); }

  void SetUp() override {
    const char* preload = std::getenv("LD_PRELOAD");
    ASSERT_TRUE(preload != nullptr && std::strstr(preload, "fiu_posix_preload") != nullptr)
        << "libfiu's POSIX wrappers must be preloaded: run through ctest";
    TrackFolderTest::SetUp();
  }
  void TearDown() override {
    RemoveFaults();
    TrackFolderTest::TearDown();
  }

  void Prepare(const std::string& original) {
    for (const std::string& name : Entries(folder_)) unlink(PathOf(name).c_str());
    ASSERT_TRUE(WriteBytes(track_, original));
    ASSERT_TRUE(WriteBytes(backup_, kEarlier));
  }

  // One repair with the shim counting, and the faults set beforehand in force during it alone.
  std::int32_t Fix() {
    message_ = "left over";
    descriptorsBefore_ = OpenHandles();
    for (int i = 0; i < g_fiuFaultCount; ++i) {
      fiu_enable_external(g_fiuFaults[i].point, 1,
                          reinterpret_cast<void*>(long{g_fiuFaults[i].error}), 0, DecideFiuFault);
    }
    ShimArm();
    const std::int32_t flag = FixTrackFile(track_, message_);
    ShimDisarm();
    for (int i = 0; i < g_fiuFaultCount; ++i) fiu_disable(g_fiuFaults[i].point);
    trace_ = Words(ShimTrace());
    return flag;
  }

  // What a failed repair must leave: flag 0, the message given, the track and the earlier backup
  // exactly as they were, nothing else, and no descriptor open.
  void ExpectTrackKept(std::int32_t flag, const std::string& original, const std::string& what,
                       const std::string& message = "") {
    EXPECT_EQ(flag, 0) << what;
    EXPECT_EQ(message_, message) << what;
    ExpectAfterRepair(folder_, {{"Hill.PAK", original}, {"Hill.PAK.bak", kEarlier}},
                      descriptorsBefore_, what);
  }

  // What a successful repair must leave; strayAside: the earlier backup could not be deleted at
  // the end and is still at its aside name.
  void ExpectFixed(std::int32_t flag, const std::string& original, const std::string& what,
                   bool strayAside = false) {
    EXPECT_EQ(flag, 1) << what;
    EXPECT_EQ(message_, "Hill00007Map") << what;
    std::map<std::string, std::string> expected = {{"Hill.PAK", Repaired(original)},
                                                   {"Hill.PAK.bak", original}};
    if (strayAside) expected["Hill.PAK.bak.old0"] = kEarlier;
    ExpectAfterRepair(folder_, expected, descriptorsBefore_, what);
  }

  void FailEachAllocationInTurn(const std::string& original);

  // Fails every file call of a clean repair in turn, one per repair (and makes each read and
  // write move nothing, in turn). Whatever fails, the track and the earlier backup end as they
  // were, with three exceptions where the repair goes through: a failure to open for reading and
  // writing (the repair opens for reading only), a failure to set the earlier backup aside (it
  // takes the next aside name), and a failure after the new track is complete (deleting the
  // earlier backup from its aside name, closing the track read).
  void FailEachCallInTurn(const std::string& original, bool refuseRenameFlags) {
    Prepare(original);
    ShimRefuseRenameFlags(refuseRenameFlags);
    ExpectFixed(Fix(), original, "no fault");
    calls_ = trace_;
    const auto at = [this](const char* kind, std::size_t from) {
      return std::find(calls_.begin() + from, calls_.end(), kind) - calls_.begin();
    };
    // Up to its lock, the first open is the attempt to read and write.
    const std::size_t lockAt = at("flock", 0);
    const std::size_t asideAt = at("renameat2", 0);
    const std::size_t renameAt = at("renameat2", asideAt + 1);
    const std::size_t newLockAt = at("flock", renameAt);
    const std::size_t newCloseAt = at("close", newLockAt);
    ASSERT_LT(newCloseAt, calls_.size()) << ::testing::PrintToString(calls_);

    std::map<std::string, long> seen;
    for (std::size_t i = 0; i < calls_.size(); ++i) {
      const std::string& kind = calls_[i];
      const long nth = ++seen[kind];
      std::vector<int> errors = {kind == "pwrite" ? ENOSPC : kind == "open" ? EACCES : EIO};
      if (kind == "pread" || kind == "pwrite") errors.push_back(0);
      for (const int error : errors) {
        Prepare(original);
        ShimRefuseRenameFlags(refuseRenameFlags);
        InjectFault(kind, nth, error);
        const std::int32_t flag = Fix();
        const std::string what =
            kind + " #" + std::to_string(nth) + ", errno " + std::to_string(error);
        EXPECT_EQ(FaultsMet(), 1) << what;
        RemoveFaults();
        if (i < lockAt || (i >= asideAt && i < renameAt)) {
          ExpectFixed(flag, original, what);
        } else if (i > newCloseAt) {
          ExpectFixed(flag, original, what, kind == "unlink");
        } else {
          ExpectTrackKept(flag, original, what);
        }
      }
    }
  }

  std::string message_;
  std::vector<std::string> trace_;
  std::vector<std::string> calls_;
  std::size_t descriptorsBefore_ = 0;
};

TEST_F(FaultTest, KeepsTheTrackWhenAnyFileCallFails) {
  FailEachCallInTurn(MakeTrack(64 * 1024), false);
  EXPECT_EQ(::testing::PrintToString(calls_),
            ::testing::PrintToString(
                std::vector<std::string>{"open", "fstat", "flock", "lstat", "fstat", "fstat",
                                         "pread", "stat", "lstat", "renameat2", "renameat2", "stat",
                                         "open", "flock", "pwrite", "close", "unlink", "close"}));
}

TEST_F(FaultTest, KeepsTheTrackWhenAnyFileCallFailsDuringTheLinkAndUnlinkRename) {
  FailEachCallInTurn(MakeTrack(64 * 1024), true);
  // Both renames fell back to link and unlink: each of those failed in turn above.
  EXPECT_EQ(std::count(calls_.begin(), calls_.end(), "link"), 2);
  EXPECT_EQ(std::count(calls_.begin(), calls_.end(), "unlink"), 3);
}

TEST_F(FaultTest, KeepsTheTrackWhenNeitherOpenWorks) {
  const std::string original = MakeTrack(8192);
  Prepare(original);
  FailAtFiuPoint("posix/io/oc/open", kEveryCall, EACCES);
  std::int32_t flag = Fix();
  EXPECT_EQ(FaultsMet(), 2);  // for reading and writing, then for reading only
  RemoveFaults();
  ExpectTrackKept(flag, original, "every open");

  // Opened for reading only, and then its size cannot be taken.
  Prepare(original);
  FailAtFiuPoint("posix/io/oc/open", 1, EACCES);
  ShimFailNth("fstat", 2, EIO);
  flag = Fix();
  EXPECT_EQ(FaultsMet(), 2);
  RemoveFaults();
  ExpectTrackKept(flag, original, "open for writing, then the size");
}

TEST_F(FaultTest, KeepsTheTrackWhenTheWriteStopsPartWay) {
  // A short write, then a full disk: a partial new file existed and must be gone.
  const std::string original = MakeTrack(256 * 1024);
  Prepare(original);
  FailAtFiuPoint("posix/io/rw/pwrite/reduce", 1, 0);
  FailAtFiuPoint("posix/io/rw/pwrite", 2, ENOSPC);
  const std::int32_t flag = Fix();
  EXPECT_EQ(FaultsMet(), 2);
  RemoveFaults();
  ExpectTrackKept(flag, original, "short write, then ENOSPC");
  EXPECT_EQ(std::count(trace_.begin(), trace_.end(), "unlink"), 1)
      << "the partial file was not removed: " << ::testing::PrintToString(trace_);
}

TEST_F(FaultTest, FixesThroughShortReadsAndWrites) {
  // Short transfers are not failures: the repair asks again for the rest.
  const std::string original = MakeTrack(256 * 1024);
  Prepare(original);
  FailAtFiuPoint("posix/io/rw/pread/reduce", kEveryCall, 0);
  FailAtFiuPoint("posix/io/rw/pwrite/reduce", kEveryCall, 0);
  const std::int32_t flag = Fix();
  RemoveFaults();
  ExpectFixed(flag, original, "short transfers");
  EXPECT_GT(std::count(trace_.begin(), trace_.end(), "pread"), 1);
  EXPECT_GT(std::count(trace_.begin(), trace_.end(), "pwrite"), 1);
}

// Fails each allocation of a repair in turn, the content buffer's among them.
void FaultTest::FailEachAllocationInTurn(const std::string& original) {
  Prepare(original);
  FailAtFiuPoint("libc/mm/malloc", kNoCall, 0);
  ExpectFixed(Fix(), original, "no fault");
  const long allocations = g_fiuFaults[0].calls;
  RemoveFaults();
  ASSERT_GE(allocations, 2);  // the backup's name and the content at least

  for (long nth = 1; nth <= allocations; ++nth) {
    Prepare(original);
    FailAtFiuPoint("libc/mm/malloc", nth, ENOMEM);
    const std::int32_t flag = Fix();
    EXPECT_EQ(FaultsMet(), 1);
    RemoveFaults();
    // Memory that the new map name needs is a name of the wrong length; any other, a failure.
    const std::string refusal = message_ == "map name isn't 12 chars" ? message_ : "";
    ExpectTrackKept(flag, original, "allocation #" + std::to_string(nth), refusal);
  }
}

TEST_F(FaultTest, KeepsTheTrackWhenMemoryRunsOutAtAnyAllocation) {
  FailEachAllocationInTurn(MakeTrack(64 * 1024));
  // Megabytes: the C library maps such a buffer fresh rather than taking it from the heap.
  FailEachAllocationInTurn(MakeTrack(9 << 20));
}

}  // namespace
