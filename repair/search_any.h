// A search for several byte strings at once: one pass over the haystack finds the first place
// where any of them occurs, instead of one pass per string.
#pragma once

#include <cstddef>
#include <string>

// The first position in haystack[0, size) where one of needles[0, count) occurs whole, or null;
// which is set to that needle's index (the first of them, should two start there). Needles of
// at least two bytes, at most four of them, are expected.
const char* FindAny(const char* haystack, std::size_t size, const std::string* needles,
                    std::size_t count, std::size_t& which);
