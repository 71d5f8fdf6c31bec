// Runs the program's real start-up inside a unit-test process, against the fakes.
#pragma once

#include <gtest/gtest.h>

// Dispatches everything queued for this thread, as the main loop would.
// Returns the exit code of a WM_QUIT found on the way, or -1 when there was none.
int PumpMessages();

// ResetFakes, then StartApplication with the fake mixer and platform in place.
void StartProgram();

// Destroys the window (which runs the shutdown), drains the queue and forgets the
// window, so the next StartProgram starts afresh.
void StopProgram();

class TProgramTest : public testing::Test {
protected:
  void SetUp() override { StartProgram(); }
  void TearDown() override { StopProgram(); }
};
