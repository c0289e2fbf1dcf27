// The clock digit of new map names, with a seam that lets tests pin it.
#pragma once

// The last digit of the local time's seconds (0 to 9), or the pinned digit.
int ClockDigit();

// Pins the digit that ClockDigit returns; a digit outside 0 to 9 reads the clock again.
void PinClockDigit(int digit);

// The seconds of the local time of day, 0 to 59; one per platform.
int LocalClockSeconds();
