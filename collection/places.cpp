#include "places.h"

#include <algorithm>
#include <cstring>

#include "collection.h"
#include "game_texts.h"
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
  static const std::string kSite = kMarkerSite;
  return kSite;
}

const std::string& FixMarker() {
  static const std::string kMarker = kFixMarker;
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

namespace {

// Notes that byte offset differs, after the bytes noted so far.
void NoteDifference(Differences& differences, std::int64_t offset) {
  auto& runs = differences.runs;
  if (!runs.empty() && runs.back().second == offset) {
    runs.back().second = offset + 1;
  } else {
    runs.emplace_back(offset, offset + 1);
  }
}

// A text searched for, and where in it the filter looks: the byte at anchor and the one
// kFilterSpan later.
struct Text {
  const std::string& bytes;
  std::int64_t anchor;
  bool site;  // the marker site, not a name
};

// Both stock names end in "_Map": looked for by its '_' and the 'p' three on, they share one
// filter pair; the marker site's ';' and 'T' lie three apart too. So a window is filtered for two
// pairs, not three. A name found by its anchor starts before it; as no two of these texts can
// overlap, they still come in order of their starts.
constexpr std::size_t kFilterSpan = 3;
const Text kTexts[] = {{StockName(Kind::kNational), 8, false},
                       {StockName(Kind::kSupercross), 10, false},
                       {MarkerSite(), 0, true}};
constexpr std::int64_t kLastAnchor = 10;  // the largest anchor above: how far past a window to look

PairFilter TextFilter() {
  PairFilter filter;
  filter.span = kFilterSpan;
  for (const Text& text : kTexts) {
    const char first = text.bytes[static_cast<std::size_t>(text.anchor)];
    const char second = text.bytes[static_cast<std::size_t>(text.anchor) + kFilterSpan];
    bool shared = false;
    for (std::size_t k = 0; k < filter.count; ++k) {
      shared = shared || (filter.first[k] == first && filter.second[k] == second);
    }
    if (shared) continue;
    filter.first[filter.count] = first;
    filter.second[filter.count] = second;
    ++filter.count;
  }
  return filter;
}

// FindPlaces, and with differences FindPlacesComparing: one walk from candidate to candidate.
void Walk(const char* view, const char* other, std::int64_t viewBegin, std::size_t size,
          std::int64_t from, std::int64_t to, std::vector<NamePlace>& names,
          std::vector<std::int64_t>& sites, Differences* differences) {
  static const PairFilter kFilter = TextFilter();
  const std::int64_t viewEnd = viewBegin + static_cast<std::int64_t>(size);
  // Places start before to; the longest ends 13 bytes later.
  const std::int64_t searchEnd = std::min(viewEnd, to + static_cast<std::int64_t>(kContext));
  bool comparing = differences != nullptr;
  std::size_t differing = 0;
  for (std::int64_t at = from; at < to + kLastAnchor;) {
    const std::size_t skip = static_cast<std::size_t>(at - viewBegin);
    const char* hit =
        NextCandidate(view + skip, comparing ? other + skip : nullptr,
                      static_cast<std::size_t>(std::max(searchEnd - at, std::int64_t{0})), kFilter);
    if (hit == nullptr) break;
    const std::int64_t offset = at + (hit - (view + skip));
    at = offset + 1;
    const std::size_t index = static_cast<std::size_t>(offset - viewBegin);
    if (comparing && offset < to && view[index] != other[index]) {
      if (++differing > kMaxDiffering) {
        comparing = false;
        differences->end = offset;
      } else {
        NoteDifference(*differences, offset);
      }
    }
    for (const Text& text : kTexts) {
      const std::int64_t start = offset - text.anchor;
      const std::int64_t length = static_cast<std::int64_t>(text.bytes.size());
      if (start < from || start >= to || start + length > viewEnd ||
          std::memcmp(view + (start - viewBegin), text.bytes.data(), text.bytes.size()) != 0) {
        continue;
      }
      if (text.site) {
        sites.push_back(start);
        continue;
      }
      NamePlace name;
      name.offset = start;
      name.begin = std::max(viewBegin, start - static_cast<std::int64_t>(kContext));
      const std::int64_t end =
          std::min(viewEnd, start + length + static_cast<std::int64_t>(kContext));
      name.bytes.assign(view + (name.begin - viewBegin),
                        static_cast<std::size_t>(end - name.begin));
      names.push_back(std::move(name));
    }
  }
  if (comparing) differences->end = to;
}

}  // namespace

void FindPlaces(const char* view, std::int64_t viewBegin, std::size_t size, std::int64_t from,
                std::int64_t to, std::vector<NamePlace>& names, std::vector<std::int64_t>& sites) {
  Walk(view, nullptr, viewBegin, size, from, to, names, sites, nullptr);
}

void FindPlacesComparing(const char* view, const char* other, std::int64_t viewBegin,
                         std::size_t size, std::int64_t from, std::int64_t to,
                         std::vector<NamePlace>& names, std::vector<std::int64_t>& sites,
                         Differences& differences) {
  differences.begin = from;
  differences.end = from;
  differences.runs.clear();
  Walk(view, other, viewBegin, size, from, to, names, sites, &differences);
}

bool DifferIn(const Differences& differences, std::int64_t begin, std::int64_t end) {
  const auto& runs = differences.runs;
  const auto run = std::lower_bound(runs.begin(), runs.end(), begin,
                                    [](const std::pair<std::int64_t, std::int64_t>& r,
                                       std::int64_t at) { return r.second <= at; });
  return run != runs.end() && run->first < end;
}

}  // namespace collection
