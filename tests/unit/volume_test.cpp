// Volume up and down with the accelerating step, the unmute on volume up, and the
// mute toggle, run in the started program against the fake mixer and tick count.
#include "fakes.h"
#include "main.h"
#include "mixerControl.h"
#include "program.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

constexpr DWORD FaderId = 1; // the fake mixer's volume control
constexpr DWORD MuteId = 2;  // the fake mixer's mute control
constexpr DWORD FaderTop = 65535;
constexpr DWORD QuickGap = 50;            // ms, well inside the growing interval
constexpr DWORD LongAfterStart = 1000000; // ms since LastChangeTick's start value of 0

using TAction = void (*)();

class TVolumeTest : public TProgramTest {
protected:
  DWORD Now = LongAfterStart;

  int Fader() { return static_cast<int>(FakeMixer.Values[FaderId]); }

  // Runs Action Delay ms after the previous one and returns how far the fader moved.
  int Move(TAction Action, DWORD Delay) {
    Now += Delay;
    Fake.TickCount = Now;
    const int Before = Fader();
    Action();
    return std::abs(Fader() - Before);
  }

  // After a long pause, quick actions until Step has grown to MaxStep.
  void SpinToMaxStep(TAction Action) {
    Move(Action, 0);
    for (int Guard = 0; Step < MaxStep && Guard < 20; ++Guard)
      Move(Action, QuickGap);
    ASSERT_EQ(MaxStep, Step);
  }

  // The hide timer firing Delay ms after the last action.
  void TimerFires(DWORD Delay) {
    Now += Delay;
    Fake.TickCount = Now;
    SendMessageA(MainWindow, WM_TIMER, HIDE_TIMER_ID, 0);
  }

  static int WritesTo(DWORD Control) {
    return static_cast<int>(
        std::count_if(FakeMixer.Calls.begin(), FakeMixer.Calls.end(), [&](const TMixerCall &Call) {
          return Call.Function == "mixerSetControlDetails" && Call.ControlId == Control;
        }));
  }

  void HideDisplay() { ShowWindow(MainWindow, SW_HIDE); }
  bool DisplayShown() { return IsWindowVisible(MainWindow) != FALSE; }
};

// 1, 1, 2, 3 ... 8 times 500, then 8 times 500 until the last move is cut off at the
// fader's end: the same for a sweep up from 0 and a sweep down from 65535.
std::vector<int> FullSweep() {
  std::vector<int> Moves = {500, 500, 1000, 1500, 2000, 2500, 3000, 3500};
  Moves.insert(Moves.end(), 12, 4000);
  Moves.push_back(3035);
  return Moves;
}

using TVolumeSteps = TVolumeTest;

TEST_F(TVolumeSteps, QuickVolumeUpsGrowTheStepOneActionLateUntilClampedAtTheTop) {
  FakeMixer.Values[FaderId] = 0;
  std::vector<int> Moves = {Move(VolumeUp, 0)};
  for (int Guard = 0; Fader() < static_cast<int>(FaderTop) && Guard < 40; ++Guard)
    Moves.push_back(Move(VolumeUp, QuickGap));
  EXPECT_EQ(FullSweep(), Moves);

  // At the top a quick action changes nothing and so has nothing to show.
  const int Writes = WritesTo(FaderId);
  HideDisplay();
  EXPECT_EQ(0, Move(VolumeUp, QuickGap));
  EXPECT_EQ(Writes, WritesTo(FaderId));
  EXPECT_FALSE(DisplayShown());
}

TEST_F(TVolumeSteps, QuickVolumeDownsGrowTheStepTheSameWayUntilClampedAtZero) {
  std::vector<int> Moves = {Move(VolumeDown, 0)};
  for (int Guard = 0; Fader() > 0 && Guard < 40; ++Guard)
    Moves.push_back(Move(VolumeDown, QuickGap));
  EXPECT_EQ(FullSweep(), Moves);
}

TEST_F(TVolumeSteps, ActionsThreeHundredMsApartShrinkTheStepBackToMinStep) {
  SpinToMaxStep(VolumeDown);
  std::vector<int> Moves;
  for (int Count = 0; Count < 9; ++Count)
    Moves.push_back(Move(VolumeDown, 300));
  EXPECT_EQ((std::vector<int>{4000, 3500, 3000, 2500, 2000, 1500, 1000, 500, 500}), Moves);
}

TEST_F(TVolumeSteps, ExactlyHundredMsShrinksTheStepAndNinetyNineGrowsIt) {
  SpinToMaxStep(VolumeDown);
  EXPECT_EQ(4000, Move(VolumeDown, 100));
  EXPECT_EQ(3500, Move(VolumeDown, 99));
  EXPECT_EQ(4000, Move(VolumeDown, QuickGap));
}

TEST_F(TVolumeSteps, ExactlyEightHundredMsResetsTheStepAndSevenNinetyNineShrinksIt) {
  SpinToMaxStep(VolumeDown);
  EXPECT_EQ(4000, Move(VolumeDown, 799));
  EXPECT_EQ(3500, Move(VolumeDown, 800));
  EXPECT_EQ(500, Move(VolumeDown, QuickGap));
}

TEST_F(TVolumeSteps, PauseWhileTheDisplayIsShownStillMovesByTheFullStepOnce) {
  SpinToMaxStep(VolumeDown);
  TimerFires(1000);
  ASSERT_TRUE(DisplayShown());
  EXPECT_EQ(4000, Move(VolumeDown, 0));
  EXPECT_EQ(MinStep, Step);
  EXPECT_EQ(500, Move(VolumeDown, QuickGap));
}

// A fine adjustment after a sweep: the pause alone decides, whether the display has
// hidden by then (by its timer), is still shown (a long display time) or never shows.
TEST_F(TVolumeSteps, PauseOfOnePointEightSecondsStartsTheStepOverWhateverTheDisplayTime) {
  SpinToMaxStep(VolumeDown);
  TimerFires(1801);
  ASSERT_FALSE(DisplayShown());
  EXPECT_EQ(500, Move(VolumeDown, 0));
  for (const DWORD DisplayTime : {0ul, 10000ul}) {
    HideDelay = DisplayTime;
    TimerFires(DisplayTime + 1);          // hides what the step before showed
    FakeMixer.Values[FaderId] = FaderTop; // room for two sweeps down
    SpinToMaxStep(VolumeDown);
    EXPECT_EQ(4000, Move(VolumeDown, 1799)) << DisplayTime;
    SpinToMaxStep(VolumeDown);
    EXPECT_EQ(500, Move(VolumeDown, 1800)) << DisplayTime;
    EXPECT_EQ(DisplayTime != 0, DisplayShown()) << DisplayTime;
  }
}

TEST_F(TVolumeSteps, TickCounterWrapSinceTheLastActionStillMeasuresTheTrueInterval) {
  Now = 0xFFFFFFF0;
  LastChangeTick = Now;
  Step = 1000;
  EXPECT_EQ(1000, Move(VolumeDown, 0x30)); // ends at tick 0x20, 48 ms later: grows
  EXPECT_EQ(1500, Move(VolumeDown, QuickGap));

  Now = 0xFFFFF000;
  LastChangeTick = Now;
  Step = 3000;
  EXPECT_EQ(500, Move(VolumeDown, 0x1400)); // 5120 ms across the wrap: starts over
  EXPECT_EQ(500, Move(VolumeDown, QuickGap));
}

using TVolumeClamping = TVolumeTest;

TEST_F(TVolumeClamping, VolumeDownCloserToZeroThanTheStepWritesZero) {
  FakeMixer.Values[FaderId] = 300;
  Move(VolumeDown, 0);
  EXPECT_EQ(0, Fader());
  EXPECT_EQ(1, WritesTo(FaderId));
}

TEST_F(TVolumeClamping, VolumeDownAtZeroWritesNothingAndShowsOnlyAfterMoreThanFiveSeconds) {
  FakeMixer.Values[FaderId] = 0;
  Move(VolumeDown, 0);
  HideDisplay();
  Move(VolumeDown, 5000);
  EXPECT_FALSE(DisplayShown());
  Move(VolumeDown, 5001);
  EXPECT_TRUE(DisplayShown());
  EXPECT_EQ(0, WritesTo(FaderId));
}

TEST_F(TVolumeClamping, VolumeUpAtTheTopWritesNothingAndShowsOnlyAfterMoreThanFiveSeconds) {
  Now = 0; // LastChangeTick is still at its start value 0
  Move(VolumeUp, 5000);
  EXPECT_FALSE(DisplayShown());
  Move(VolumeUp, 5001);
  EXPECT_TRUE(DisplayShown());
  EXPECT_EQ(0, WritesTo(FaderId));
  EXPECT_EQ(static_cast<int>(FaderTop), Fader());
}

TEST_F(TVolumeClamping, UnreadableFaderWritesNothingButStillShowsTheDisplay) {
  FakeMixer.GetResult = MMSYSERR_ERROR;
  LastChangeTick = Now; // too recent for the five-second refresh
  Move(VolumeUp, QuickGap);
  EXPECT_EQ(0, FakeMixer.Count("mixerSetControlDetails"));
  EXPECT_TRUE(DisplayShown());
}

using TUnmute = TVolumeTest;

TEST_F(TUnmute, VolumeUpUnmutesBeforeItReadsTheFader) {
  FakeMixer.Values[MuteId] = 1;
  FakeMixer.Calls.clear();
  Move(VolumeUp, 0);
  EXPECT_EQ(0u, FakeMixer.Values[MuteId]);
  const auto &Calls = FakeMixer.Calls;
  const auto Unmute = std::find_if(Calls.begin(), Calls.end(), [](const TMixerCall &Call) {
    return Call.Function == "mixerSetControlDetails" && Call.ControlId == MuteId && Call.Value == 0;
  });
  const auto FaderRead = std::find_if(Calls.begin(), Calls.end(), [](const TMixerCall &Call) {
    return Call.Function == "mixerGetControlDetailsW" && Call.ControlId == FaderId;
  });
  ASSERT_NE(Calls.end(), Unmute);
  ASSERT_NE(Calls.end(), FaderRead);
  EXPECT_LT(Unmute - Calls.begin(), FaderRead - Calls.begin());
}

TEST_F(TUnmute, VolumeUpWritesTheUnmuteOnEveryCallEvenWhenNotMuted) {
  FakeMixer.Values[FaderId] = 0;
  Move(VolumeUp, 0);
  Move(VolumeUp, QuickGap);
  EXPECT_EQ(2, WritesTo(MuteId));
  EXPECT_EQ(0u, FakeMixer.Values[MuteId]);
}

// The display must not go on reading "Mute" once the speakers play again, even
// when the fader is already at the top and nothing else changed.
TEST_F(TUnmute, VolumeUpThatUnmutesShowsTheDisplayEvenWithoutAVolumeChange) {
  Move(VolumeUp, 0);
  HideDisplay();
  FakeMixer.Values[MuteId] = 1;
  Move(VolumeUp, QuickGap);
  EXPECT_TRUE(DisplayShown());
  HideDisplay();
  Move(VolumeUp, QuickGap);
  EXPECT_FALSE(DisplayShown());
}

TEST_F(TUnmute, VolumeDownLeavesTheMuteSwitchAlone) {
  FakeMixer.Values[MuteId] = 1;
  EXPECT_EQ(500, Move(VolumeDown, 0));
  EXPECT_EQ(1u, FakeMixer.Values[MuteId]);
  EXPECT_EQ(0, WritesTo(MuteId));
}

using TToggleMute = TVolumeTest;

TEST_F(TToggleMute, TurnsUnmutedIntoMutedAndMutedIntoUnmuted) {
  ToggleMute();
  EXPECT_EQ(1u, FakeMixer.Values[MuteId]);
  ToggleMute();
  EXPECT_EQ(0u, FakeMixer.Values[MuteId]);
}

TEST_F(TToggleMute, AnyOtherValueReadBecomesUnmuted) {
  FakeMixer.Values[MuteId] = 5;
  ToggleMute();
  EXPECT_EQ(0u, FakeMixer.Values[MuteId]);
}

TEST_F(TToggleMute, RecordsTheTimeAndShowsTheDisplayButLeavesTheStep) {
  Step = 2000;
  Fake.TickCount = 123456;
  ToggleMute();
  EXPECT_EQ(123456u, LastChangeTick);
  EXPECT_TRUE(DisplayShown());
  EXPECT_EQ(2000, Step);
}

TEST_F(TToggleMute, UnboundMuteControlMakesNoMixerCallYetRecordsTheTimeAndShows) {
  FakeMixer.ControlIds.erase(MIXERCONTROL_CONTROLTYPE_MUTE);
  auto Unbound = std::make_unique<TnsMixerControl>(MainWindow, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                                                   0, MIXERCONTROL_CONTROLTYPE_MUTE);
  ASSERT_EQ(0u, Unbound->Ready);
  MuteControl = std::move(Unbound);
  FakeMixer.Calls.clear();
  Fake.TickCount = 777777;
  ToggleMute();
  EXPECT_EQ(0, FakeMixer.Count("mixerSetControlDetails"));
  EXPECT_EQ(777777u, LastChangeTick);
  EXPECT_TRUE(DisplayShown());
}

using TAbsentControls = TVolumeTest;

TEST_F(TAbsentControls, VolumeActionsWithoutVolumeControlDoNothingNotEvenUnmute) {
  VolumeControl.reset();
  FakeMixer.Values[MuteId] = 1;
  FakeMixer.Calls.clear();
  Move(VolumeUp, 0);
  Move(VolumeDown, QuickGap);
  EXPECT_TRUE(FakeMixer.Calls.empty());
  EXPECT_EQ(1u, FakeMixer.Values[MuteId]);
  EXPECT_EQ(0u, LastChangeTick);
  EXPECT_FALSE(DisplayShown());
}

TEST_F(TAbsentControls, ToggleMuteWithoutMuteControlDoesNothing) {
  MuteControl.reset();
  FakeMixer.Calls.clear();
  Fake.TickCount = 999999;
  ToggleMute();
  EXPECT_TRUE(FakeMixer.Calls.empty());
  EXPECT_EQ(0u, LastChangeTick);
  EXPECT_FALSE(DisplayShown());
}

} // namespace
