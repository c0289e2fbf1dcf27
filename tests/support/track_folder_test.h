// A test case with a fresh folder holding the track path Hill.PAK, and the clock digit pinned to
// 7 so that new map names are known in advance.
#pragma once

#include <string>

#include "clock.h"
#include "disk.h"

class TrackFolderTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ASSERT_FALSE(folder_.empty());
    PinClockDigit(7);
    track_ = PathOf("Hill.PAK");
    backup_ = track_ + ".bak";
  }
  void TearDown() override {
    PinClockDigit(-1);
    TempFolderTest::TearDown();
  }

  std::string track_;
  std::string backup_;
};
