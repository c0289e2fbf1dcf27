// Fuzzes the byte search, and on x86 the SSE2 filter itself, against std::string::find. An
// input is a needle length selector, a needle source selector, then the bytes: a needle taken
// from the haystack finds hits often, one taken from the input's own bytes misses and near misses.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "search.h"

namespace {

[[noreturn]] void Fail(const char* which, std::size_t got, std::size_t want) {
  std::fprintf(stderr, "search fuzz: %s found %zu, std::string::find %zu\n", which, got, want);
  std::abort();
}

// The found offset, or npos for null.
std::size_t OffsetOf(const char* hit, const char* haystack) {
  return hit == nullptr ? std::string::npos : static_cast<std::size_t>(hit - haystack);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // Needles of 2 to 65 bytes: beyond the 32 positions that the SSE2 search takes per step.
  const std::size_t needleSize = 2 + data[0] % 64;
  const bool fromHaystack = (data[1] & 1) != 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);

  std::string needle;
  std::string haystack;
  if (fromHaystack) {
    haystack = rest;
    if (haystack.size() < needleSize) return 0;
    const std::size_t at = (data[1] >> 1) * (haystack.size() - needleSize) / 127;
    needle = haystack.substr(at, needleSize);
  } else {
    if (rest.size() < needleSize) return 0;
    needle = rest.substr(0, needleSize);
    haystack = rest.substr(needleSize);
  }

  // Both in buffers of their exact size: AddressSanitizer stops any read beyond them.
  std::unique_ptr<char[]> hay(new char[haystack.size()]);
  std::unique_ptr<char[]> pin(new char[needleSize]);
  if (!haystack.empty()) std::memcpy(hay.get(), haystack.data(), haystack.size());
  std::memcpy(pin.get(), needle.data(), needleSize);

  const std::size_t want = haystack.find(needle);
  const std::size_t plain =
      OffsetOf(FindBytes(hay.get(), haystack.size(), pin.get(), needleSize), hay.get());
  if (plain != want) Fail("FindBytes", plain, want);
#ifdef TMF_SSE2_SEARCH
  const std::size_t sse2 =
      OffsetOf(FindBytesSse2(hay.get(), haystack.size(), pin.get(), needleSize), hay.get());
  if (sse2 != want) Fail("FindBytesSse2", sse2, want);
#endif
  return 0;
}
