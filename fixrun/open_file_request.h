// The text work behind an open-file request: the platform wants fixed-size, NUL-terminated
// buffers and a NUL-separated filter list, and hands back a buffer padded with NULs.
#pragma once

#include <cstddef>
#include <string>

// The filter text with every '|' made a NUL byte, followed by two NULs: one ends the last
// text, the other ends the list.
std::string MakeFilterList(const std::string& filter);

// Copies text into buffer up to its first NUL byte, at most size - 1 bytes, and ends the copy
// with a NUL. A longer text is cut. size must be at least 1.
void CopyBounded(const std::string& text, char* buffer, std::size_t size);

// Fills buffer with NULs and copies fileSpec over its start, at most size - 1 bytes, so that
// the buffer always ends in a NUL whatever the length of fileSpec.
void FillFileBuffer(const std::string& fileSpec, char* buffer, std::size_t size);

// The buffer's content with every NUL byte at its end removed; NULs before the last other
// byte remain.
std::string TrimTrailingNuls(const char* buffer, std::size_t size);
