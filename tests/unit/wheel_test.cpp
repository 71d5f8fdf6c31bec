#include "fakes.h"
#include "main.h"
#include "program.h"

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <vector>

namespace {

const DWORD VolumeId = 1;
const DWORD MidVolume = 30000;       // far from both ends, so any step moves the fader
const UINT HorizontalWheel = 0x020E; // WM_MOUSEHWHEEL, newer than the headers' target

enum class TMove { Nothing, Up, Down, Several };

MSLLHOOKSTRUCT Record(LONG X, LONG Y, short Delta) {
  MSLLHOOKSTRUCT Event = {};
  Event.pt = POINT{X, Y};
  Event.mouseData = static_cast<DWORD>(static_cast<WORD>(Delta)) << 16;
  return Event;
}

LPARAM AddressOf(const MSLLHOOKSTRUCT &Event) { return reinterpret_cast<LPARAM>(&Event); }

// The hook waiting on Event under a fresh ticket, which it hands out once.
LPARAM Vouch(const MSLLHOOKSTRUCT &Event) {
  static LPARAM LastTicket;
  Fake.HookTurn = Event;
  Fake.HookTicket = ++LastTicket;
  return Fake.HookTicket;
}

int VolumeWrites() {
  int Writes = 0;
  for (const TMixerCall &Call : FakeMixer.Calls)
    Writes += Call.Function == "mixerSetControlDetails" && Call.ControlId == VolumeId;
  return Writes;
}

// What Action did to the fader, once the step it handed off has run: one step up or
// down, several steps, or nothing.
template <typename TAction> TMove Outcome(TAction Action) {
  FakeMixer.Values[VolumeId] = MidVolume;
  const int Before = VolumeWrites();
  Action();
  PumpMessages();
  const int Writes = VolumeWrites() - Before;
  if (Writes == 0)
    return TMove::Nothing;
  if (Writes > 1)
    return TMove::Several;
  return FakeMixer.Values[VolumeId] > MidVolume ? TMove::Up : TMove::Down;
}

// The hook reporting one event: it waits on the turn while the handler runs.
TMove Turn(LONG X, LONG Y, short Delta = WHEEL_DELTA, UINT Message = WM_MOUSEWHEEL) {
  const LPARAM Ticket = Vouch(Record(X, Y, Delta));
  const TMove Move = Outcome([&] { HandleHookMouse(Message, Ticket); });
  Fake.HookTicket = 0;
  return Move;
}

// The steps that turns at the border made, up positive, down negative; each turn's
// time stamp is Gap ms after the one before.
int Steps(std::initializer_list<short> Deltas, DWORD Gap = 10) {
  static DWORD Clock;
  FakeMixer.Values[VolumeId] = MidVolume;
  const int Before = VolumeWrites();
  for (short Delta : Deltas) {
    MSLLHOOKSTRUCT Event = Record(0, 300, Delta);
    Event.time = Clock += Gap;
    HandleHookMouse(WM_MOUSEWHEEL, Vouch(Event));
  }
  PumpMessages();
  const int Writes = VolumeWrites() - Before;
  return FakeMixer.Values[VolumeId] < MidVolume ? -Writes : Writes;
}

class TWheel : public TProgramTest {
protected:
  void SetUp() override {
    TProgramTest::SetUp();
    ScreenWidth = 800;
    ScreenHeight = 600;
    Fake.ShiftDown = false;
  }
};

using TWheelAtBorder = TWheel;

TEST_F(TWheelAtBorder, LeftBandIsFourColumns) {
  EXPECT_EQ(TMove::Up, Turn(0, 300));
  EXPECT_EQ(TMove::Up, Turn(3, 300));
  EXPECT_EQ(TMove::Nothing, Turn(4, 300));
}

TEST_F(TWheelAtBorder, RightBandIsThreeColumns) {
  EXPECT_EQ(TMove::Up, Turn(799, 300));
  EXPECT_EQ(TMove::Up, Turn(797, 300));
  EXPECT_EQ(TMove::Nothing, Turn(796, 300));
}

TEST_F(TWheelAtBorder, TopBandIsFourRowsBottomBandThree) {
  EXPECT_EQ(TMove::Up, Turn(400, 0));
  EXPECT_EQ(TMove::Up, Turn(400, 3));
  EXPECT_EQ(TMove::Nothing, Turn(400, 4));
  EXPECT_EQ(TMove::Up, Turn(400, 597));
  EXPECT_EQ(TMove::Nothing, Turn(400, 596));
}

TEST_F(TWheelAtBorder, OffThePrimaryScreenCountsAsBorder) {
  EXPECT_EQ(TMove::Up, Turn(-100, 300));
  EXPECT_EQ(TMove::Up, Turn(900, 300));
  EXPECT_EQ(TMove::Up, Turn(400, 700));
  EXPECT_EQ(TMove::Up, Turn(400, -1));
}

TEST_F(TWheelAtBorder, ShiftMakesAnyPlaceCount) {
  EXPECT_EQ(TMove::Nothing, Turn(400, 300));
  Fake.ShiftDown = true;
  EXPECT_EQ(TMove::Up, Turn(400, 300));
}

TEST_F(TWheelAtBorder, ShiftIsReadOnlyAwayFromTheBorder) {
  Fake.ShiftDown = true;
  Turn(0, 300);
  EXPECT_EQ(0, Fake.ShiftReads);
  Turn(400, 300);
  EXPECT_EQ(1, Fake.ShiftReads);
}

TEST_F(TWheelAtBorder, BandsFollowTheNewDisplaySize) {
  EXPECT_EQ(0, SendMessageA(MainWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768)));
  EXPECT_EQ(TMove::Up, Turn(1021, 300));
  EXPECT_EQ(TMove::Nothing, Turn(1020, 300));
  EXPECT_EQ(TMove::Nothing, Turn(797, 300));
  EXPECT_EQ(TMove::Up, Turn(400, 765));
  EXPECT_EQ(TMove::Nothing, Turn(400, 764));
}

// A desktop of several monitors, as the system lists them; the primary is the one
// at 0,0, and the wheel bands follow the desktop's outer edges only.
class TWheelOnSeveralMonitors : public TWheel {
protected:
  void Arrange(std::initializer_list<RECT> Monitors) {
    Fake.Monitors = Monitors;
    EXPECT_EQ(0, SendMessageA(MainWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768)));
  }
};

TEST_F(TWheelOnSeveralMonitors, SideBySideTheSharedEdgeIsNoBorder) {
  Arrange({{0, 0, 1024, 768}, {1024, 0, 2048, 768}});
  EXPECT_EQ(TMove::Up, Turn(3, 300));
  EXPECT_EQ(TMove::Nothing, Turn(1023, 300));
  EXPECT_EQ(TMove::Nothing, Turn(1020, 300));
  EXPECT_EQ(TMove::Nothing, Turn(1024, 300));
  EXPECT_EQ(TMove::Nothing, Turn(1027, 300));
  EXPECT_EQ(TMove::Nothing, Turn(1536, 384));
  EXPECT_EQ(TMove::Up, Turn(2045, 300));
  EXPECT_EQ(TMove::Nothing, Turn(2044, 300));
  EXPECT_EQ(TMove::Up, Turn(1536, 3));
  EXPECT_EQ(TMove::Up, Turn(1536, 765));
  EXPECT_EQ(TMove::Nothing, Turn(1536, 764));
  Fake.ShiftDown = true;
  EXPECT_EQ(TMove::Up, Turn(1536, 384));
  EXPECT_EQ(TMove::Up, Turn(1023, 300));
}

// A taller monitor left of and above the primary: negative coordinates, and the
// part of its right edge that rises above the primary is an outer edge.
TEST_F(TWheelOnSeveralMonitors, PrimaryOnTheRightOfATallerMonitor) {
  Arrange({{-1280, -256, 0, 768}, {0, 0, 1024, 768}});
  EXPECT_EQ(TMove::Up, Turn(-1280, 300));
  EXPECT_EQ(TMove::Up, Turn(-1277, 300));
  EXPECT_EQ(TMove::Nothing, Turn(-1276, 300));
  EXPECT_EQ(TMove::Up, Turn(-640, -253));
  EXPECT_EQ(TMove::Nothing, Turn(-640, -252));
  EXPECT_EQ(TMove::Nothing, Turn(-1, 300));
  EXPECT_EQ(TMove::Nothing, Turn(0, 300));
  EXPECT_EQ(TMove::Up, Turn(-3, -100));
  EXPECT_EQ(TMove::Nothing, Turn(-4, -100));
  EXPECT_EQ(TMove::Up, Turn(500, 0));
  EXPECT_EQ(TMove::Up, Turn(1021, 300));
}

TEST_F(TWheelOnSeveralMonitors, StackedTheSharedRowIsNoBorder) {
  Arrange({{0, 0, 1024, 768}, {0, -768, 1024, 0}});
  EXPECT_EQ(TMove::Nothing, Turn(500, 0));
  EXPECT_EQ(TMove::Nothing, Turn(500, -1));
  EXPECT_EQ(TMove::Up, Turn(500, -768));
  EXPECT_EQ(TMove::Up, Turn(500, 767));
  EXPECT_EQ(TMove::Up, Turn(0, -400));
  EXPECT_EQ(TMove::Nothing, Turn(500, -400));
}

TEST_F(TWheelOnSeveralMonitors, UnequalSizesShareOnlyTheOverlappingPart) {
  Arrange({{0, 0, 1024, 768}, {1024, 0, 1664, 480}});
  EXPECT_EQ(TMove::Nothing, Turn(1022, 300));
  EXPECT_EQ(TMove::Up, Turn(1022, 600));
  EXPECT_EQ(TMove::Up, Turn(1300, 477));
  EXPECT_EQ(TMove::Nothing, Turn(1300, 476));
  EXPECT_EQ(TMove::Nothing, Turn(1024, 300));
}

TEST_F(TWheelOnSeveralMonitors, EdgesFacingAGapAreBorder) {
  Arrange({{0, 0, 1024, 768}, {1100, 0, 2124, 768}});
  EXPECT_EQ(TMove::Up, Turn(1023, 300));
  EXPECT_EQ(TMove::Up, Turn(1103, 300));
  EXPECT_EQ(TMove::Nothing, Turn(1104, 300));
  EXPECT_EQ(TMove::Up, Turn(1060, 300)); // in the gap, on no monitor
}

TEST_F(TWheelOnSeveralMonitors, LayoutIsTakenAtStartUpAndAtEachDisplayChange) {
  Arrange({{-1280, 0, 0, 1024}, {0, 0, 1024, 768}});
  ASSERT_EQ(1, OtherMonitorCount);
  EXPECT_EQ((RECT{-1280, 0, 0, 1024}), OtherMonitors[0]);
  Fake.Monitors.assign(MaxOtherMonitors + 3, RECT{2000, 0, 3000, 768});
  Fake.Monitors.push_back(RECT{0, 0, 1024, 768});
  SendMessageA(MainWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
  EXPECT_EQ(MaxOtherMonitors, OtherMonitorCount);
  StopProgram();
  StartProgram([] { Fake.Monitors = {{0, 0, 1024, 768}, {0, 768, 1024, 1536}}; });
  ASSERT_EQ(1, OtherMonitorCount);
  EXPECT_EQ((RECT{0, 768, 1024, 1536}), OtherMonitors[0]);
}

using TWheelDelta = TWheel;

TEST_F(TWheelDelta, ForwardStepsUpBackStepsDownZeroDoesNothing) {
  EXPECT_EQ(TMove::Up, Turn(0, 300, 120));
  EXPECT_EQ(TMove::Down, Turn(0, 300, -120));
  EXPECT_EQ(TMove::Nothing, Turn(0, 300, 0));
}

TEST_F(TWheelDelta, EachWholeNotchIsOneStep) {
  EXPECT_EQ(TMove::Several, Turn(0, 300, 240));
  EXPECT_EQ(TMove::Nothing, Turn(0, 300, 30));
  EXPECT_EQ(TMove::Several, Turn(0, 300, INT16_MAX));
  EXPECT_EQ(TMove::Several, Turn(0, 300, INT16_MIN));
}

TEST_F(TWheelDelta, OnlyTheHighWordOfMouseDataIsTheDelta) {
  MSLLHOOKSTRUCT Event = Record(0, 300, -120);
  Event.mouseData |= 0x7FFF; // a positive low word must not turn the step
  const LPARAM Ticket = Vouch(Event);
  EXPECT_EQ(TMove::Down, Outcome([&] { HandleHookMouse(WM_MOUSEWHEEL, Ticket); }));
}

using TWheelNotches = TWheel;

// Each call goes on from what the one before left over.
TEST_F(TWheelNotches, DeltasAddUpToWholeNotchesAndCarryTheRest) {
  EXPECT_EQ(0, Steps({30, 30, 30}));
  EXPECT_EQ(1, Steps({30}));
  EXPECT_EQ(-1, Steps({-30, -30, -30, -30}));
  EXPECT_EQ(3, Steps({300, 60})); // the half notch left completes with the 60
  EXPECT_EQ(-1, Steps({-60, 0, -60}));
}

TEST_F(TWheelNotches, ReversalOrRestDropsWhatWasLeft) {
  EXPECT_EQ(-1, Steps({90, -30, -90}));
  EXPECT_EQ(1, Steps({60, 60}, WheelRestTime));
  EXPECT_EQ(0, Steps({60, 60}, WheelRestTime + 1));
}

// Turns in the middle are not the program's: they neither step nor add up. Every
// taken one is swallowed, also one of delta 0.
TEST_F(TWheelNotches, OnlyTakenTurnsAddUpAndEveryTakenOneIsSwallowed) {
  EXPECT_EQ(TMove::Nothing, Turn(400, 300, 60));
  EXPECT_EQ(TMove::Nothing, Turn(0, 300, 60));
  EXPECT_EQ(TMove::Nothing, Turn(0, 300, 0));
  EXPECT_EQ((std::vector<bool>{false, true, true}), Fake.HookAnswers);
}

using TWheelOverTrayIcon = TWheel;

// The icon's own mouse messages tell that the pointer is over it; Wine's shell gives no
// rectangle, as none before Windows 7 does.
TEST_F(TWheelOverTrayIcon, TurnsStepWhileThePointerStaysWhereTheIconLastSawIt) {
  Settings[EDGE_WHEEL] = 0;
  Fake.CursorPos = POINT{400, 300};
  Fake.TickCount = 1000;
  SendMessageA(MainWindow, WM_TRAYNOTIFY, 0, WM_MOUSEMOVE);
  EXPECT_EQ(TMove::Up, Turn(400, 300));
  *Fake.TickCount += 5000;
  EXPECT_EQ(TMove::Up, Turn(400, 300)) << "resting on the icon";
  EXPECT_EQ(TMove::Nothing, Turn(405, 300)) << "moved long after the last move over it";
  EXPECT_EQ(TMove::Nothing, Turn(400, 300)) << "back without a move over the icon";
  SendMessageA(MainWindow, WM_TRAYNOTIFY, 0, WM_MOUSEMOVE);
  EXPECT_EQ(TMove::Up, Turn(405, 300)) << "moving on the icon, its message yet to come";
  EXPECT_EQ(TMove::Nothing, Turn(400 + TrayImageSize, 300)) << "beside the icon";
  SendMessageA(MainWindow, WM_TRAYNOTIFY, 0, WM_MOUSEMOVE);
  Settings[TRAY_WHEEL] = 0;
  EXPECT_EQ(TMove::Nothing, Turn(400, 300));
}

TEST_F(TWheelDelta, OtherMouseMessagesAreIgnoredEvenWithShift) {
  for (bool Shift : {false, true}) {
    Fake.ShiftDown = Shift;
    for (UINT Message :
         std::initializer_list<UINT>{HorizontalWheel, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP,
                                     WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MBUTTONDOWN, WM_XBUTTONDOWN})
      EXPECT_EQ(TMove::Nothing, Turn(0, 300, WHEEL_DELTA, Message)) << Message;
  }
}

using TWheelHandOff = TWheel;

// The whole desktop's mouse waits while the hook reports: the mixer and the display
// are left for the posted step, in the order the turns came.
TEST_F(TWheelHandOff, HookOnlyDecidesAndTheStepsFollowInOrder) {
  FakeMixer.Values[VolumeId] = MidVolume;
  FakeMixer.Calls.clear();
  EXPECT_TRUE(HandleHookMouse(WM_MOUSEWHEEL, Vouch(Record(0, 300, WHEEL_DELTA))));
  EXPECT_TRUE(HandleHookMouse(WM_MOUSEWHEEL, Vouch(Record(0, 300, -WHEEL_DELTA))));
  EXPECT_TRUE(FakeMixer.Calls.empty());
  EXPECT_FALSE(IsWindowVisible(MainWindow));
  PumpMessages();
  EXPECT_EQ(2, VolumeWrites());
  EXPECT_EQ(MidVolume, FakeMixer.Values[VolumeId]);
  EXPECT_TRUE(IsWindowVisible(MainWindow));
}

TEST_F(TWheelHandOff, StepMessageNoTurnAskedForChangesNothing) {
  EXPECT_EQ(TMove::Up, Turn(0, 300));
  EXPECT_EQ(TMove::Nothing, Outcome([] {
              PostMessageA(MainWindow, WM_WHEELSTEP, WHEEL_STEP_UP, 0);
              SendMessageA(MainWindow, WM_WHEELSTEP, WHEEL_STEP_DOWN, 0);
            }));
}

// The hook stopped waiting before the answer: the turn has gone on to the window
// beneath, so it makes no step and leaves nothing to add up.
TEST_F(TWheelHandOff, AnswerTheHookNoLongerWaitsForActsOnNothing) {
  Fake.HookGaveUp = true;
  EXPECT_EQ(0, Steps({120, 60}));
  Fake.HookGaveUp = false;
  EXPECT_EQ(0, Steps({60}));
  EXPECT_TRUE(Fake.HookAnswers.size() == 1 && Fake.HookAnswers[0]);
}

using TForgedWheel = TWheel;

// The answer tells the hook library to swallow the turn: nonzero only for a turn the
// program acts on.
// The answer tells the hook library to swallow the turn: nonzero only for a turn the
// program acts on.
TEST_F(TForgedWheel, ReportFromTheHookReachesTheWindowProcedure) {
  const LPARAM Ticket = Vouch(Record(0, 300, WHEEL_DELTA));
  EXPECT_EQ(TMove::Up, Outcome([&] {
              EXPECT_NE(0, SendMessageA(MainWindow, WM_HOOKMOUSE, WM_MOUSEWHEEL, Ticket));
            }));
  EXPECT_EQ(0, SendMessageA(MainWindow, WM_HOOKMOUSE, WM_MOUSEWHEEL,
                            Vouch(Record(400, 300, WHEEL_DELTA))));
  EXPECT_EQ(0, SendMessageA(MainWindow, WM_HOOKMOUSE, WM_MOUSEMOVE, Vouch(Record(0, 300, 0))));
}

// The record is always the hook's own copy: the message's lParam is never read as one.
TEST_F(TForgedWheel, TicketTheHookDoesNotWaitOnIsIgnored) {
  const MSLLHOOKSTRUCT Event = Record(0, 300, WHEEL_DELTA);
  EXPECT_EQ(TMove::Nothing, Outcome([&] { HandleHookMouse(WM_MOUSEWHEEL, AddressOf(Event)); }));
  const LPARAM Ticket = Vouch(Event);
  EXPECT_EQ(TMove::Nothing, Outcome([&] { HandleHookMouse(WM_MOUSEWHEEL, Ticket + 1); }));
  EXPECT_EQ(TMove::Nothing, Outcome([&] { HandleHookMouse(WM_MOUSEWHEEL, 0); }));
}

TEST_F(TForgedWheel, TicketCountsOnlyOnce) {
  const LPARAM Ticket = Vouch(Record(0, 300, WHEEL_DELTA));
  EXPECT_EQ(TMove::Up, Outcome([&] { HandleHookMouse(WM_MOUSEWHEEL, Ticket); }));
  EXPECT_EQ(TMove::Nothing, Outcome([&] { HandleHookMouse(WM_MOUSEWHEEL, Ticket); }));
}

TEST_F(TForgedWheel, PostedOrSentMessageFromOutsideChangesNothing) {
  const MSLLHOOKSTRUCT Event = Record(0, 300, WHEEL_DELTA);
  EXPECT_EQ(TMove::Nothing, Outcome([&] {
              PostMessageA(MainWindow, WM_HOOKMOUSE, WM_MOUSEWHEEL, AddressOf(Event));
              PumpMessages();
            }));
  EXPECT_EQ(TMove::Nothing, Outcome([&] {
              EXPECT_EQ(0, SendMessageA(MainWindow, WM_HOOKMOUSE, WM_MOUSEWHEEL, AddressOf(Event)));
            }));
}

// A read of a forged address would otherwise stop in the crash dialog and leave the
// test program hanging: end it at once, failed, while the handler runs.
LONG CALLBACK EndOnForgedRead(EXCEPTION_POINTERS *Exception) {
  if (Exception->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
    return EXCEPTION_CONTINUE_SEARCH;
  std::fputs("HandleHookMouse read a forged record address\n", stderr);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 1);
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST_F(TForgedWheel, InvalidAddressIsNeverRead) {
  void *const Guard = AddVectoredExceptionHandler(1, EndOnForgedRead);
  for (LPARAM Address : {static_cast<LPARAM>(0x10), static_cast<LPARAM>(0xFFFFFFF0u)}) {
    EXPECT_EQ(TMove::Nothing, Outcome([&] { HandleHookMouse(WM_MOUSEWHEEL, Address); }));
    EXPECT_EQ(TMove::Nothing,
              Outcome([&] { SendMessageA(MainWindow, WM_HOOKMOUSE, WM_MOUSEWHEEL, Address); }));
  }
  RemoveVectoredExceptionHandler(Guard);
}

} // namespace
