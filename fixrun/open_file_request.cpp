#include "open_file_request.h"

#include <algorithm>
#include <cstring>

std::string MakeFilterList(const std::string& filter) {
  std::string list = filter;
  std::replace(list.begin(), list.end(), '|', '\0');
  list.append(2, '\0');
  return list;
}

void CopyBounded(const std::string& text, char* buffer, std::size_t size) {
  const std::size_t length = std::min(text.find('\0'), text.size());
  const std::size_t copied = std::min(length, size - 1);
  std::memcpy(buffer, text.data(), copied);
  buffer[copied] = '\0';
}

void FillFileBuffer(const std::string& fileSpec, char* buffer, std::size_t size) {
  std::memset(buffer, 0, size);
  // One byte short of the buffer: the dialog reads the initial name up to a NUL.
  std::memcpy(buffer, fileSpec.data(), std::min(fileSpec.size(), size - 1));
}

std::string TrimTrailingNuls(const char* buffer, std::size_t size) {
  while (size > 0 && buffer[size - 1] == '\0') --size;
  return std::string(buffer, size);
}
