// The hook library's watch of its own hook, its logic compiled in whole: the hook's
// calls and the watcher's raw input are played on the test's thread, and the
// library's reports to the program come as thread messages.
#define MORVASK_BUILD
#include "../../morvask/morvask.cpp"

#include <gtest/gtest.h>

#include "fakes.h"

namespace {

constexpr UINT Report = WM_APP + 7;
constexpr DWORD Now = 100000;

class THookLibraryWatch : public ::testing::Test {
protected:
  void SetUp() override {
    ResetFakes();
    Fake.TickCount = Now;
    Target = nullptr;
    TargetMessage = Report;
    HookThread.Handle = GetCurrentThread();
    ActingHookThreadId = GetCurrentThreadId();
    InputWindow = HWND_MESSAGE;
    Watching = false;
    Suspected = FALSE;
    WatchPaused = FALSE;
  }
  void TearDown() override { HookThread = {}; }
  // A call of the hook for an event that happened Age ms before it returns.
  static void HookCall(WPARAM Message, DWORD Age) {
    MSLLHOOKSTRUCT Event = {};
    Event.time = *Fake.TickCount - Age;
    ReportMouseEvent(HC_ACTION, Message, reinterpret_cast<LPARAM>(&Event));
  }
  static void RawTurns(int Count) {
    const MSG Input = {nullptr, WM_INPUT, RIM_INPUTSINK, 0, 0, {}};
    for (int Index = 0; Index < Count; ++Index)
      NoteRawInput(Input);
  }
  static int Reports() {
    int Count = 0;
    for (MSG Message; PeekMessageW(&Message, nullptr, Report, Report, PM_REMOVE);)
      ++Count;
    return Count;
  }
};

TEST_F(THookLibraryWatch, RawInputIsWatchedOnlyAfterALateCallAndADeficitOfTurnsTellsALoss) {
  // Turns the hook never sees, with no late call: another program's hook keeps them.
  FollowWatch();
  RawTurns(8);
  EXPECT_TRUE(Fake.RawInputRegistrations.empty());
  EXPECT_FALSE(HookLost());
  HookCall(WM_MOUSEMOVE, SuspectTime);
  FollowWatch();
  EXPECT_EQ(std::vector<DWORD>{RIDEV_INPUTSINK}, Fake.RawInputRegistrations);
  // A loaded machine: the hook's calls come late, and the watcher reads the reports
  // of all six turns in one batch after them.
  for (int Index = 0; Index < 6; ++Index)
    HookCall(WM_MOUSEWHEEL, SuspectTime + 10);
  RawTurns(6);
  EXPECT_FALSE(HookLost());
  EXPECT_EQ(0, Reports());
  RawTurns(UnseenTurnLimit - 1);
  EXPECT_FALSE(HookLost());
  RawTurns(1);
  EXPECT_TRUE(HookLost());
  RawTurns(3);
  EXPECT_EQ(1, Reports());
  *Fake.TickCount += ReportInterval;
  RawTurns(1);
  EXPECT_EQ(1, Reports());
  // A call in time: the hook is in place after all, and the raw input goes.
  HookCall(WM_MOUSEMOVE, 0);
  EXPECT_FALSE(HookLost());
  FollowWatch();
  EXPECT_EQ((std::vector<DWORD>{RIDEV_INPUTSINK, RIDEV_REMOVE}), Fake.RawInputRegistrations);
}

TEST_F(THookLibraryWatch, PauseAskedWithoutAWatcherHoldsForTheNextOne) {
  PauseHookWatch(TRUE);
  HookCall(WM_MOUSEMOVE, SuspectTime);
  // A watcher started now, as the next enable starts one.
  FollowWatch();
  EXPECT_TRUE(Fake.RawInputRegistrations.empty());
  PauseHookWatch(FALSE);
  FollowWatch();
  EXPECT_EQ(std::vector<DWORD>{RIDEV_INPUTSINK}, Fake.RawInputRegistrations);
}

} // namespace
