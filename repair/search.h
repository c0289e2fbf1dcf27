// Byte-string search over a track file's content: the fastest the platform offers.
#pragma once

#include <cstddef>

// The first occurrence of needle[0, needleSize) in haystack[0, size), or null. A needle of at
// least two bytes is expected.
const char* FindBytes(const char* haystack, std::size_t size, const char* needle,
                      std::size_t needleSize);

#ifdef TMF_SSE2_SEARCH
// The SSE2 filter behind FindBytes on x86 processors, the only builds that have it.
const char* FindBytesSse2(const char* haystack, std::size_t size, const char* needle,
                          std::size_t needleSize);
#endif
