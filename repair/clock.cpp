#include "clock.h"

namespace {
int g_pinnedDigit = -1;  // the digit tests asked for, or -1 for the real clock
}

int ClockDigit() {
  if (g_pinnedDigit >= 0 && g_pinnedDigit <= 9) return g_pinnedDigit;
  return LocalClockSeconds() % 10;
}

void PinClockDigit(int digit) { g_pinnedDigit = digit; }
