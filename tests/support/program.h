// Runs the program's real start-up inside a unit-test process, against the fakes.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

// Rectangles compare by their four edges.
inline bool operator==(const RECT &Left, const RECT &Right) {
  return EqualRect(&Left, &Right) != 0;
}

// Dispatches everything queued for this thread, as the main loop would.
// Returns the exit code of a WM_QUIT found on the way, or -1 when there was none.
int PumpMessages();

// ResetFakes, then StartApplication with the fake mixer and platform in place.
void StartProgram();

// The same, with ArrangeFakes run in between: for a start-up that meets refusals.
void StartProgram(const std::function<void()> &ArrangeFakes);

// Empties the tip and the tray record, as in a process that has just started.
void ForgetTray();

// Destroys the window (which runs the shutdown), drains the queue and forgets the
// window, so the next StartProgram starts afresh.
void StopProgram();

// Which of the four tray icons an icon shows, pixel for pixel at its own size
// ("none" when it is none of them).
std::string ImageName(HICON Icon);

// The width of an icon's image in pixels; 0 for no icon.
int IconSize(HICON Icon);

// The name of the image the last tray call carried, among the four tray icons.
std::string TrayImage();

class TProgramTest : public testing::Test {
protected:
  void SetUp() override { StartProgram(); }
  void TearDown() override { StopProgram(); }
};
