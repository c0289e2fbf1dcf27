#include <ctime>

#include "clock.h"

int LocalClockSeconds() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return 0;
  // A leap second reads 60; the digit stays within 0 to 9 either way.
  return local.tm_sec;
}
