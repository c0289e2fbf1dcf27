#include "progress_bar.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "report_text.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kBarWidth = 20;
constexpr std::size_t kLineWidth = 72;  // fits a console of 80 columns, with room to spare
constexpr auto kRedraw = std::chrono::milliseconds(100);

// "12.5 of 1024.0 MiB": both counts in the unit that suits the total.
std::string BytesText(std::int64_t done, std::int64_t total) {
  static const char* const kUnits[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  std::size_t unit = 0;
  double scale = 1;
  while (unit + 1 < sizeof kUnits / sizeof kUnits[0] && total >= scale * 1024 * 10) {
    scale *= 1024;
    ++unit;
  }
  char text[64];
  if (unit == 0) {
    std::snprintf(text, sizeof text, "%lld of %lld bytes", static_cast<long long>(done),
                  static_cast<long long>(total));
  } else {
    std::snprintf(text, sizeof text, "%.1f of %.1f %s", static_cast<double>(done) / scale,
                  static_cast<double>(total) / scale, kUnits[unit]);
  }
  return text;
}

// What the bar remembers between the steps of a run.
struct BarState {
  Clock::time_point start;
  Clock::time_point drawn;  // when the line was last drawn
  bool shown = false;       // a line is on the screen
  collection::Phase phase = collection::Phase::kScanning;
};

}  // namespace

std::string ProgressLine(const collection::ProgressStep& step) {
  const std::int64_t total = step.bytesTotal > 0 ? step.bytesTotal : 1;
  const std::int64_t done = step.bytesTotal > 0 ? step.bytesDone : 1;
  const std::size_t filled =
      static_cast<std::size_t>(static_cast<double>(done) / static_cast<double>(total) * kBarWidth);
  std::string line = collection::PhaseText(step.phase);
  line.resize(10, ' ');
  line += "[" + std::string(filled, '#') + std::string(kBarWidth - filled, ' ') + "] " +
          BytesText(step.bytesDone, step.bytesTotal) + ", " + std::to_string(step.tracksDone) +
          "/" + std::to_string(step.tracksTotal) + (step.tracksTotal == 1 ? " track" : " tracks");
  line.resize(kLineWidth, ' ');
  return line;
}

collection::Progress ProgressBar(std::ostream& err, std::chrono::milliseconds delay) {
  const auto state = std::make_shared<BarState>();
  state->start = Clock::now();
  return [&err, delay, state](const collection::ProgressStep& step) {
    const Clock::time_point now = Clock::now();
    const bool phaseEnds = step.tracksDone == step.tracksTotal;
    if (phaseEnds) {
      if (state->shown) err << '\r' << std::string(kLineWidth, ' ') << '\r' << std::flush;
      state->shown = false;
      return true;
    }
    const bool newPhase = !state->shown || step.phase != state->phase;
    if (now - state->start < delay || (!newPhase && now - state->drawn < kRedraw)) return true;
    err << '\r' << ProgressLine(step) << std::flush;
    state->drawn = now;
    state->shown = true;
    state->phase = step.phase;
    return true;
  };
}
