// A filter for several byte strings at once, and for where two files differ: one pass over the
// haystack stops only where one of the strings may start, or where the other bytes differ,
// instead of one pass per string and one more to compare.
#pragma once

#include <cstddef>

// Position p passes when, for some pair k, haystack[p] is first[k] and haystack[p + span] is
// second[k]: each string is filtered by two of its bytes span apart. One span for all pairs, so
// that one load serves them all; strings that share a pair share its work.
struct PairFilter {
  static constexpr std::size_t kMaxPairs = 4;
  std::size_t span = 1;
  std::size_t count = 0;  // one to kMaxPairs
  char first[kMaxPairs] = {};
  char second[kMaxPairs] = {};
};

// The first position p in haystack[0, size) that passes filter (with p + span inside the
// haystack), or where other, when not null, differs from haystack (other runs as long); null
// when there is none.
const char* NextCandidate(const char* haystack, const char* other, std::size_t size,
                          const PairFilter& filter);
