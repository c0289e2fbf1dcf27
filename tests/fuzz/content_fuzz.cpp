// Fuzzes the in-memory repair (the kind search and the replacements, in chunks of a size the
// input picks) against a plain model of it.
// An input is the new map name's material (its first 14 bytes) followed by the track content.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "content.h"
#include "replace_model.h"

namespace {

const std::string kNational = "National_Map";
const std::string kSupercross = "Supercross_Map";
const std::string kMarkerSite = ";  The Sun";
const std::string kFixMarker = ";TDFIX   1";
constexpr std::size_t kNameMaterial = 14;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "content fuzz: %s\n", what);
  std::abort();
}

// The new name: the material's bytes, whatever they are, cut or filled with '0' to length.
std::string NameOf(std::string material, std::size_t length) {
  material.resize(length, '0');
  return material;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const std::size_t materialSize = size < kNameMaterial ? size : kNameMaterial;
  const std::string material(bytes, materialSize);
  const std::string before(bytes + materialSize, size - materialSize);

  // A buffer of exactly the content's size: AddressSanitizer stops any access beyond it.
  const std::size_t length = before.size();
  std::unique_ptr<char[]> buffer(new char[length]);
  if (length > 0) std::memcpy(buffer.get(), before.data(), length);

  const std::string* stock = nullptr;
  if (before.find(kNational) != std::string::npos) {
    stock = &kNational;
  } else if (before.find(kSupercross) != std::string::npos) {
    stock = &kSupercross;
  }

  // The first material byte also picks the chunk size: small ones put the seams everywhere.
  const unsigned char pick = materialSize > 0 ? static_cast<unsigned char>(material[0]) : 255;
  const std::size_t chunk = pick < 192 ? 1 + pick % 48 : kContentChunk;

  const MapMatch match = FindStockMapInChunks(buffer.get(), length, chunk);
  if (std::memcmp(buffer.get(), before.data(), length) != 0) Fail("the search changed content");
  if (stock == nullptr) {
    if (match.map != nullptr) Fail("a stock name found where none occurs");
    return 0;
  }
  if (match.map == nullptr || match.map->name != *stock) Fail("wrong map kind");
  if (match.map->length != stock->size()) Fail("wrong stock name length");
  if (match.map->kindFlag != (stock == &kNational ? 1 : 0)) Fail("wrong kind flag");
  if (match.first != before.find(*stock)) Fail("wrong first occurrence");

  const std::string name = NameOf(material, stock->size());
  std::vector<ReplacedSpan> replaced;
  const std::string renamed = ReplaceModel(before, *stock, name, &replaced);
  const std::string expected = ReplaceModel(renamed, kMarkerSite, kFixMarker, &replaced);

  RepairContentInChunks(buffer.get(), length, match, name, chunk);
  const std::string after(buffer.get(), length);
  if (after != expected) Fail("result differs from the model");

  // Independently of the model's result: outside the replaced spans every byte is as before.
  std::vector<bool> touched(length, false);
  for (const ReplacedSpan& span : replaced) {
    for (std::size_t i = span.at; i < span.at + span.length; ++i) touched[i] = true;
  }
  for (std::size_t i = 0; i < length; ++i) {
    if (!touched[i] && after[i] != before[i]) Fail("a byte outside the replacements changed");
  }
  return 0;
}
