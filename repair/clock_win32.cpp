#include <windows.h>

#include "clock.h"

int LocalClockSeconds() {
  SYSTEMTIME local;
  GetLocalTime(&local);
  return local.wSecond;
}
