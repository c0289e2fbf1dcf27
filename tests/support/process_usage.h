// What this process holds right now: memory and open files, by the platform's own count.
#pragma once

#include <cstddef>

// Resident memory now, and the most it has been, in bytes.
std::size_t ResidentBytes();
std::size_t PeakResidentBytes();

// Heap bytes handed out and not yet freed: the C library's count (POSIX), or the busy blocks of
// every heap of the process (Win32).
std::size_t HeapBytesInUse();

// Open descriptors (POSIX) or handles (Win32).
std::size_t OpenHandles();
