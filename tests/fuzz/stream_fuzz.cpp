// Fuzzes the streaming repair (fed in pieces of sizes the input picks, so that names and marker
// sites lie across every seam) against the plain model: every stock name replaced over the whole
// content first, then every marker site over the result; and the stock-name search over the same
// pieces against a plain find; and the record of places (found in windows of sizes the input
// picks, each seen with a margin as a scan sees it) and the patches made from it, applied to the
// content, against the same model; and the same search comparing the content with the model's
// result, against a plain comparison.
// An input is one byte that seeds the piece sizes, the new name's material (14 bytes), then the
// track content.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "places.h"
#include "replace_model.h"
#include "stream.h"

namespace {

constexpr std::size_t kHeader = 1 + 14;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "stream fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeader) return 0;
  const char* bytes = reinterpret_cast<const char*>(data);
  const unsigned seed = static_cast<unsigned char>(bytes[0]);
  const std::string material(bytes + 1, 14);
  const std::string content(bytes + kHeader, size - kHeader);

  // The kind as the repair decides it; with neither name, marker sites alone are replaced.
  const std::string from = content.find("Supercross_Map") != std::string::npos &&
                                   content.find("National_Map") == std::string::npos
                               ? "Supercross_Map"
                               : "National_Map";
  const std::string to = material.substr(0, from.size());
  const std::string expected =
      ReplaceModel(ReplaceModel(content, from, to), ";  The Sun", ";TDFIX   1");

  collection::StreamRepair stream;
  collection::BeginRepair(stream, from, to);
  std::string repaired;
  const collection::RepairSink sink = [&](std::int64_t offset, const char* out,
                                          const char* original, std::size_t count) {
    if (offset != static_cast<std::int64_t>(repaired.size())) Fail("bytes out of order");
    if (std::memcmp(original, content.data() + offset, count) != 0) Fail("original bytes differ");
    repaired.append(out, count);
    return true;
  };
  // Pieces of 0 to 2 * (seed % 16 + 1) bytes: small enough to split every name and site.
  std::minstd_rand random(seed + 1);
  const std::size_t largest = 2 * (seed % 16 + 1);
  std::size_t at = 0;
  do {
    const std::size_t piece = std::min<std::size_t>(random() % (largest + 1), content.size() - at);
    const bool last = at + piece == content.size();
    if (!collection::FeedRepair(stream, content.data() + at, piece, last, sink)) Fail("stopped");
    at += piece;
    if (last) break;
  } while (true);
  if (repaired != expected) Fail("result differs from the model");

  // The stock-name search over the same pieces finds the first of each name.
  collection::StockSeeker seeker;
  random.seed(seed + 1);
  for (at = 0; at < content.size();) {
    const std::size_t piece = std::min<std::size_t>(random() % (largest + 1), content.size() - at);
    collection::SeekStock(seeker, content.data() + at, piece);
    at += piece;
  }
  const auto first = [&content](const char* name) {
    const std::size_t at = content.find(name);
    return at == std::string::npos ? std::int64_t{-1} : static_cast<std::int64_t>(at);
  };
  if (seeker.found.national != first("National_Map")) Fail("wrong first National_Map");
  if (seeker.found.supercross != first("Supercross_Map")) Fail("wrong first Supercross_Map");

  // Places found window by window (windows of 1 to 64 bytes, seen with 32 bytes on each side),
  // the names of the repaired kind fed to a patcher in order, its patches applied in order.
  const std::size_t window = seed % 64 + 1;
  const std::int64_t length = static_cast<std::int64_t>(content.size());
  std::vector<collection::NamePlace> names;
  std::vector<std::int64_t> sites;
  collection::Differences differences;
  collection::Patcher patcher;
  collection::BeginPatches(patcher, from, to);
  for (std::int64_t begin = 0; begin < length; begin += static_cast<std::int64_t>(window)) {
    const std::int64_t end = std::min(length, begin + static_cast<std::int64_t>(window));
    const std::int64_t viewBegin = std::max<std::int64_t>(0, begin - 32);
    const std::int64_t viewEnd = std::min(length, end + 32);
    names.clear();
    sites.clear();
    collection::FindPlaces(content.data() + viewBegin, viewBegin,
                           static_cast<std::size_t>(viewEnd - viewBegin), begin, end, names, sites);
    // Compared with the repaired bytes in the same pass, the same places, and the differences
    // as they are, where it says it knows them.
    std::vector<collection::NamePlace> comparedNames;
    std::vector<std::int64_t> comparedSites;
    collection::FindPlacesComparing(content.data() + viewBegin, expected.data() + viewBegin,
                                    viewBegin, static_cast<std::size_t>(viewEnd - viewBegin), begin,
                                    end, comparedNames, comparedSites, differences);
    if (comparedSites != sites || comparedNames.size() != names.size()) Fail("compared places");
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (comparedNames[i].offset != names[i].offset || comparedNames[i].bytes != names[i].bytes)
        Fail("compared names");
    }
    if (differences.begin != begin || differences.end > end) Fail("compared stretch");
    for (std::int64_t q = differences.begin; q < differences.end; ++q) {
      const bool differs =
          content[static_cast<std::size_t>(q)] != expected[static_cast<std::size_t>(q)];
      if (collection::DifferIn(differences, q, q + 1) != differs) Fail("compared bytes");
    }
    for (const collection::NamePlace& name : names) {
      if (content.compare(static_cast<std::size_t>(name.offset), from.size(), from) == 0) {
        collection::AddName(patcher, name);
      }
    }
    for (const std::int64_t site : sites) collection::AddSite(patcher, site);
    collection::PatchBefore(patcher, end);
  }
  collection::PatchBefore(patcher, length + 14);
  collection::SortPatches(patcher);
  std::string patched = content;
  for (const collection::Patch& patch : patcher.patches) {
    if (patch.offset + static_cast<std::int64_t>(patch.bytes.size()) > length)
      Fail("patch past end");
    patched.replace(static_cast<std::size_t>(patch.offset), patch.bytes.size(), patch.bytes);
  }
  if (patched != expected) Fail("patched content differs from the model");
  const bool stockAfter = expected.find("National_Map") != std::string::npos ||
                          expected.find("Supercross_Map") != std::string::npos;
  const bool otherKind =
      content.find(from == "National_Map" ? "Supercross_Map" : "National_Map") != std::string::npos;
  // Where the result holds a stock name that the original's other kind does not explain, the
  // patcher saw it (and a scan will not take such a track for fixed).
  if (stockAfter && !otherKind && patcher.stockInResult < 0 && to != from) {
    Fail("a stock name in the result went unseen");
  }
  if (patcher.stockInResult >= 0 && !stockAfter) Fail("a stock name seen where there is none");
  return 0;
}
