#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>

#include <vector>

#include "process_usage.h"

namespace {

PROCESS_MEMORY_COUNTERS Counters() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters;
}

}  // namespace

std::size_t ResidentBytes() { return Counters().WorkingSetSize; }
std::size_t PeakResidentBytes() { return Counters().PeakWorkingSetSize; }

// The busy blocks of every heap of the process, the C runtime's among them. Wine reports no
// private bytes, so the heaps are walked instead.
std::size_t HeapBytesInUse() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  std::size_t total = 0;
  for (HANDLE heap : heaps) {
    if (!HeapLock(heap)) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heap, &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    HeapUnlock(heap);
  }
  return total;
}

// Wine answers no handle count, so this is the value of the next handle the process gets: handles
// take the lowest free slot, and every handle left open pushes it up.
std::size_t OpenHandles() {
  HANDLE probe = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (probe == nullptr) return 0;
  const std::size_t value = reinterpret_cast<std::size_t>(probe);
  CloseHandle(probe);
  return value;
}
