#include "places.h"

#include <algorithm>
#include <cstring>

#include "collection.h"
#include "search.h"
#include "search_any.h"

namespace collection {

namespace {

// The original bytes [begin, end) of a cluster, put together from its names' context.
std::string ClusterBytes(const std::vector<NamePlace>& cluster, std::int64_t begin,
                         std::int64_t end) {
  std::string bytes(static_cast<std::size_t>(end - begin), '\0');
  for (const NamePlace& name : cluster) {
    bytes.replace(static_cast<std::size_t>(name.begin - begin), name.bytes.size(), name.bytes);
  }
  return bytes;
}

// Every occurrence of needle in text replaced by replacement, left to right.
void ReplaceAll(std::string& text, const std::string& needle, const std::string& replacement) {
  for (std::size_t at = 0; at + needle.size() <= text.size();) {
    const char* hit = FindBytes(text.data() + at, text.size() - at, needle.data(), needle.size());
    if (hit == nullptr) break;
    at = static_cast<std::size_t>(hit - text.data());
    text.replace(at, needle.size(), replacement);
    at += needle.size();
  }
}

// The cluster's bytes as repaired, and its changes as patches. Every name within the cluster's
// bytes belongs to it, so the names replaced there are all there are; the sites found there
// afterwards include every site that a new name completes.
void PatchCluster(Patcher& patcher) {
  const std::vector<NamePlace>& cluster = patcher.cluster;
  const std::int64_t begin = cluster.front().begin;
  const std::int64_t end =
      cluster.back().begin + static_cast<std::int64_t>(cluster.back().bytes.size());
  const std::string original = ClusterBytes(cluster, begin, end);
  std::string repaired = original;
  for (const NamePlace& name : cluster) {
    repaired.replace(static_cast<std::size_t>(name.offset - begin), patcher.to.size(), patcher.to);
  }
  ReplaceAll(repaired, MarkerSite(), FixMarker());
  for (const Kind kind : {Kind::kNational, Kind::kSupercross}) {
    const std::string& stock = StockName(kind);
    const char* hit = FindBytes(repaired.data(), repaired.size(), stock.data(), stock.size());
    if (hit != nullptr && patcher.stockInResult < 0)
      patcher.stockInResult = begin + (hit - repaired.data());
  }
  for (std::size_t at = 0; at < repaired.size();) {
    if (repaired[at] == original[at]) {
      ++at;
      continue;
    }
    std::size_t stop = at;
    while (stop < repaired.size() && repaired[stop] != original[stop]) ++stop;
    patcher.patches.push_back(
        {begin + static_cast<std::int64_t>(at), repaired.substr(at, stop - at)});
    at = stop;
  }
  patcher.cluster.clear();
}

std::int64_t EndOf(const NamePlace& name) {
  return name.begin + static_cast<std::int64_t>(name.bytes.size());
}

}  // namespace

const std::string& MarkerSite() {
  static const std::string kSite = ";  The Sun";
  return kSite;
}

const std::string& FixMarker() {
  static const std::string kMarker = ";TDFIX   1";
  return kMarker;
}

void BeginPatches(Patcher& patcher, const std::string& from, const std::string& to) {
  patcher.from = from;
  patcher.to = to;
  patcher.cluster.clear();
  patcher.patches.clear();
  patcher.stockInResult = -1;
}

void AddName(Patcher& patcher, const NamePlace& name) {
  // Surroundings that touch or overlap: a site or a stock name may span both names.
  if (!patcher.cluster.empty() && name.begin > EndOf(patcher.cluster.back())) PatchCluster(patcher);
  patcher.cluster.push_back(name);
}

void AddSite(Patcher& patcher, std::int64_t offset) {
  patcher.patches.push_back({offset, FixMarker()});
}

void PatchBefore(Patcher& patcher, std::int64_t next) {
  // A name at next or later has its surroundings start at next - kContext or later.
  if (!patcher.cluster.empty() &&
      EndOf(patcher.cluster.back()) < next - static_cast<std::int64_t>(kContext)) {
    PatchCluster(patcher);
  }
}

std::int64_t PatchedBefore(const Patcher& patcher, std::int64_t fileEnd) {
  return patcher.cluster.empty() ? fileEnd : patcher.cluster.front().begin;
}

void SortPatches(Patcher& patcher) {
  std::stable_sort(patcher.patches.begin(), patcher.patches.end(),
                   [](const Patch& a, const Patch& b) { return a.offset < b.offset; });
}

void FindPlaces(const char* view, std::int64_t viewBegin, std::size_t size, std::int64_t from,
                std::int64_t to, std::vector<NamePlace>& names, std::vector<std::int64_t>& sites) {
  static const std::string kNeedles[] = {StockName(Kind::kNational), StockName(Kind::kSupercross),
                                         MarkerSite()};
  const std::int64_t viewEnd = viewBegin + static_cast<std::int64_t>(size);
  // Places start before to; the longest ends 13 bytes later.
  const std::int64_t searchEnd = std::min(viewEnd, to + static_cast<std::int64_t>(kContext));
  for (std::int64_t at = from; at < to;) {
    std::size_t which = 0;
    const char* base = view + (at - viewBegin);
    const char* hit = FindAny(base, static_cast<std::size_t>(searchEnd - at), kNeedles, 3, which);
    if (hit == nullptr) break;
    const std::int64_t offset = at + (hit - base);
    if (offset >= to) break;
    const std::int64_t length = static_cast<std::int64_t>(kNeedles[which].size());
    if (which == 2) {
      sites.push_back(offset);
    } else {
      NamePlace name;
      name.offset = offset;
      name.begin = std::max(viewBegin, offset - static_cast<std::int64_t>(kContext));
      const std::int64_t end =
          std::min(viewEnd, offset + length + static_cast<std::int64_t>(kContext));
      name.bytes.assign(view + (name.begin - viewBegin),
                        static_cast<std::size_t>(end - name.begin));
      names.push_back(std::move(name));
    }
    at = offset + length;
  }
}

}  // namespace collection
