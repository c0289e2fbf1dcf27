// Progress as a run tells it: bytes and tracks done within a phase, and the caller's wish to stop.
#include "collection.h"

namespace collection {

namespace {

void Tell(ProgressMeter& meter) {
  if (meter.progress != nullptr && *meter.progress && !(*meter.progress)(meter.step)) {
    meter.stop = true;
  }
}

}  // namespace

std::int64_t TotalSize(const std::vector<Track>& tracks) {
  std::int64_t total = 0;
  for (const Track& track : tracks) total += track.identity.size;
  return total;
}

ProgressMeter StartPhase(const Progress& progress, Phase phase, std::int64_t bytesTotal,
                         std::size_t tracksTotal) {
  ProgressMeter meter;
  meter.progress = &progress;
  meter.step.phase = phase;
  meter.step.bytesTotal = bytesTotal;
  meter.step.tracksTotal = tracksTotal;
  return meter;
}

void TellWithinTrack(ProgressMeter& meter, std::int64_t bytesIntoTrack) {
  meter.step.bytesDone = meter.trackBase + bytesIntoTrack;
  Tell(meter);
}

bool TellTrackDone(ProgressMeter& meter, std::int64_t trackBytes) {
  meter.trackBase += trackBytes;
  meter.step.bytesDone = meter.trackBase;
  ++meter.step.tracksDone;
  Tell(meter);
  return !meter.stop;
}

}  // namespace collection
