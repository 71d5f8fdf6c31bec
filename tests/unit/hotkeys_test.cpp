#include "fakes.h"
#include "main.h"
#include "program.h"
#include "resource.h"

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

// Found by the vector's comparison through the record's own (global) namespace.
static bool operator==(const THotKeyCall &A, const THotKeyCall &B) {
  return A.Window == B.Window && A.Id == B.Id && A.Modifiers == B.Modifiers && A.Key == B.Key;
}

namespace {

const DWORD VolumeId = 1;
const DWORD MuteId = 2;
const DWORD MidVolume = 30000;

std::string SwitchItemText() {
  char Text[32] = {};
  GetMenuStringA(TrayMenu, CMD_TOGGLE_ENABLE, Text, sizeof Text, MF_BYCOMMAND);
  return Text;
}

// KillTimer answers whether the timer existed; it is set again as the program had it.
bool HideTimerRuns() {
  if (!KillTimer(MainWindow, HIDE_TIMER_ID))
    return false;
  SetTimer(MainWindow, HIDE_TIMER_ID, 400, nullptr);
  return true;
}

std::vector<THotKeyCall> VolumeKeys() {
  return {{MainWindow, static_cast<int>(MuteHotKeyId), MOD_CONTROL | MOD_ALT | MOD_NOREPEAT, 'M'},
          {MainWindow, static_cast<int>(VolumeUpHotKeyId), MOD_CONTROL | MOD_ALT, VK_PRIOR},
          {MainWindow, static_cast<int>(VolumeDownHotKeyId), MOD_CONTROL | MOD_ALT, VK_NEXT}};
}

class THotKeys : public TProgramTest {
protected:
  void SetUp() override {
    TProgramTest::SetUp();
    FakeMixer.Values[VolumeId] = MidVolume;
  }
  void Restart(const std::function<void()> &ArrangeFakes) {
    StopProgram();
    StartProgram(ArrangeFakes);
    FakeMixer.Values[VolumeId] = MidVolume;
  }
  // A press and its release: the next press of a toggle is a new one.
  static LRESULT Press(WPARAM Id) {
    const LRESULT Result = SendMessageA(MainWindow, WM_HOTKEY, Id, 0);
    WatchToggleKey();
    return Result;
  }
  // Ticks of the timer that watches a held toggle key, enough to see it let go.
  static void WatchToggleKey(int Ticks = ToggleKeyReleaseTicks) {
    for (int Tick = 0; Tick < Ticks; ++Tick)
      SendMessageA(MainWindow, WM_TIMER, TOGGLE_KEY_TIMER_ID, 0);
  }
};

using THotKeysAtStartUp = THotKeys;

TEST_F(THotKeysAtStartUp, IdsAreTheGlobalAtomsOfTheFourNames) {
  EXPECT_EQ(GlobalFindAtomA("sonalHKMute"), MuteHotKeyId);
  EXPECT_EQ(GlobalFindAtomA("sonalHKVolUp"), VolumeUpHotKeyId);
  EXPECT_EQ(GlobalFindAtomA("sonalHKVolDown"), VolumeDownHotKeyId);
  EXPECT_EQ(GlobalFindAtomA("sonalHKEnabDis"), EnableHotKeyId);
  EXPECT_NE(0u, MuteHotKeyId);
}

TEST_F(THotKeysAtStartUp, RegistersShiftPauseThenTheVolumeKeysForTheMainWindow) {
  std::vector<THotKeyCall> Expected = {
      {MainWindow, static_cast<int>(EnableHotKeyId), MOD_SHIFT | MOD_NOREPEAT, VK_PAUSE}};
  for (const THotKeyCall &Key : VolumeKeys())
    Expected.push_back(Key);
  EXPECT_EQ(Expected, Fake.Registered);
  EXPECT_TRUE(Fake.Boxes.empty());
}

// Vista refuses the flag that stops repeats: the toggles are then registered without it.
TEST_F(THotKeysAtStartUp, TogglesRegisterWithoutTheNoRepeatFlagWhereItIsRefused) {
  Restart([] { Fake.RefusesNoRepeat = true; });
  EXPECT_TRUE(Fake.Boxes.empty());
  EXPECT_EQ(4u, Fake.HotKeysHeld.size());
  EXPECT_EQ(static_cast<UINT>(MOD_SHIFT), Fake.Registered[1].Modifiers);
}

TEST_F(THotKeysAtStartUp, HooksOnceThenRegistersKeysThenTrayThenMenuThenTimer) {
  ASSERT_EQ(1u, Fake.SetHookCalls.size());
  EXPECT_EQ(WH_MOUSE_LL, Fake.SetHookCalls[0].Kind);
  EXPECT_EQ(MainWindow, Fake.SetHookCalls[0].Window);
  EXPECT_EQ(WM_HOOKMOUSE, Fake.SetHookCalls[0].Message);
  EXPECT_EQ(0, Fake.FreeHookCount);
  const std::vector<std::string> Expected = {
      "RegisterHotKey", "SetHook",           "RegisterHotKey", "RegisterHotKey",
      "RegisterHotKey", "Shell_NotifyIconW", "ModifyMenuW"};
  ASSERT_LE(Expected.size(), Fake.Sequence.size());
  EXPECT_EQ(Expected, std::vector<std::string>(Fake.Sequence.end() - 7, Fake.Sequence.end()));
}

// At rest nothing runs: the hide timer ticks only while the display is shown.
TEST_F(THotKeysAtStartUp, EnabledShowsEnImageDisableItemAndTimesOnlyTheShownDisplay) {
  EXPECT_TRUE(Enabled);
  EXPECT_EQ(IDI_ENMUTEOFF, TrayImage());
  EXPECT_EQ("Disable", SwitchItemText());
  EXPECT_TRUE(Fake.TimersSet.empty());
  Fake.TickCount = 100000;
  Press(VolumeUpHotKeyId);
  ASSERT_EQ(2u, Fake.TimersSet.size()); // and the one-shot announcement's
  EXPECT_EQ(MainWindow, Fake.TimersSet[0].Window);
  EXPECT_EQ(HIDE_TIMER_ID, Fake.TimersSet[0].Id);
  EXPECT_EQ(400u, Fake.TimersSet[0].Period);
  EXPECT_FALSE(Fake.TimersSet[0].HasProcedure);
  Fake.TickCount = LastChangeTick + 1801;
  SendMessageA(MainWindow, WM_TIMER, HIDE_TIMER_ID, 0);
  EXPECT_FALSE(IsWindowVisible(MainWindow));
  EXPECT_FALSE(HideTimerRuns());
}

class THotKeysWithoutHook : public THotKeys {
protected:
  void SetUp() override {
    THotKeys::SetUp();
    Restart([] { Fake.SetHookResult = FALSE; });
  }
};

// Without a hook the program is disabled as a whole, so that the next enable finds
// no key of its own still registered.
TEST_F(THotKeysWithoutHook, ShowsDisabledWithoutVolumeKeysOrHideTimer) {
  EXPECT_FALSE(Enabled);
  EXPECT_EQ(IDI_DIMUTEOFF, TrayImage());
  EXPECT_EQ("Enable", SwitchItemText());
  EXPECT_EQ(std::set<int>{static_cast<int>(EnableHotKeyId)}, Fake.HotKeysHeld);
  EXPECT_FALSE(HideTimerRuns());
  EXPECT_TRUE(Fake.Boxes.empty());
}

TEST_F(THotKeysWithoutHook, VolumeAndMuteKeysActOnceAnEnableGetsTheHook) {
  Fake.SetHookResult = TRUE;
  Press(EnableHotKeyId);
  Press(VolumeUpHotKeyId);
  EXPECT_GT(FakeMixer.Values[VolumeId], MidVolume);
  FakeMixer.Values[VolumeId] = MidVolume;
  Press(VolumeDownHotKeyId);
  EXPECT_LT(FakeMixer.Values[VolumeId], MidVolume);
  Press(MuteHotKeyId);
  EXPECT_EQ(1u, FakeMixer.Values[MuteId]);
}

TEST_F(THotKeysWithoutHook, ToggleStillWithoutHookRegistersNothingAndShowsNoBox) {
  Fake.Registered.clear();
  Press(EnableHotKeyId);
  EXPECT_EQ(2u, Fake.SetHookCalls.size());
  EXPECT_TRUE(Fake.Registered.empty());
  EXPECT_TRUE(Fake.Boxes.empty());
  EXPECT_FALSE(Enabled);
  EXPECT_FALSE(HideTimerRuns());
  EXPECT_EQ("Enable", SwitchItemText());
}

TEST_F(THotKeysWithoutHook, ToggleThatGetsTheHookEnables) {
  Fake.SetHookResult = TRUE;
  Fake.Registered.clear();
  Press(EnableHotKeyId);
  EXPECT_TRUE(Enabled);
  EXPECT_EQ(IDI_ENMUTEOFF, TrayImage());
  EXPECT_EQ("Disable", SwitchItemText());
  EXPECT_EQ(VolumeKeys(), Fake.Registered);
  EXPECT_TRUE(Fake.Boxes.empty());
}

struct TRefusal {
  UINT Key;
  const wchar_t *Text;
  UINT Style;
};

class TRefusedHotKey : public THotKeys, public testing::WithParamInterface<TRefusal> {};

TEST_P(TRefusedHotKey, ShowsOnlyItsOwnBoxRightAfterItsRegistrationAndStaysEnabled) {
  const UINT Key = GetParam().Key;
  Restart([Key] { Fake.RefusedKeys = {Key}; });
  ASSERT_EQ(1u, Fake.Boxes.size());
  EXPECT_EQ(nullptr, Fake.Boxes[0].Owner);
  EXPECT_EQ(GetParam().Text, Fake.Boxes[0].Text);
  EXPECT_TRUE(Fake.Boxes[0].HasCaption);
  EXPECT_EQ(L"", Fake.Boxes[0].Caption);
  EXPECT_EQ(GetParam().Style, Fake.Boxes[0].Style);
  EXPECT_TRUE(Enabled);
  EXPECT_EQ(4u, Fake.Registered.size());
  // The box belongs to the registration just before it, the refused one.
  const auto Box = std::find(Fake.Sequence.begin(), Fake.Sequence.end(), "MessageBoxW");
  const auto Refused = std::find_if(Fake.Registered.begin(), Fake.Registered.end(),
                                    [Key](const THotKeyCall &Call) { return Call.Key == Key; });
  EXPECT_EQ(Refused - Fake.Registered.begin() + 1,
            std::count(Fake.Sequence.begin(), Box, "RegisterHotKey"));
}

INSTANTIATE_TEST_SUITE_P(
    EachKey, TRefusedHotKey,
    testing::Values(TRefusal{VK_PAUSE, L"HotKey for Enable/Disable not registered",
                             MB_OK | MB_ICONWARNING},
                    TRefusal{'M', L"HotKey for Mute not registered", MB_OK},
                    TRefusal{VK_PRIOR, L"HotKey for Volume up not registered", MB_OK},
                    TRefusal{VK_NEXT, L"HotKey for Volume down not registered", MB_OK}));

using TDisabling = THotKeys;

TEST_F(TDisabling, StopsTimerBeforeFreeingHookThenUnregistersAndShowsDisabled) {
  Fake.Sequence.clear();
  Fake.Unregistered.clear();
  Press(EnableHotKeyId);
  EXPECT_FALSE(Enabled);
  EXPECT_EQ(
      (std::vector<std::string>{"KillTimer", "FreeHook", "UnregisterHotKey", "UnregisterHotKey",
                                "UnregisterHotKey", "Shell_NotifyIconW", "ModifyMenuW"}),
      Fake.Sequence);
  EXPECT_EQ((std::vector<int>{static_cast<int>(MuteHotKeyId), static_cast<int>(VolumeUpHotKeyId),
                              static_cast<int>(VolumeDownHotKeyId)}),
            Fake.Unregistered);
  EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), Fake.TrayCalls.back().first);
  EXPECT_EQ(IDI_DIMUTEOFF, TrayImage());
  EXPECT_EQ("Enable", SwitchItemText());
  EXPECT_FALSE(HideTimerRuns());
}

TEST_F(TDisabling, ToggleAgainRestoresHookKeysImageItemAndTimer) {
  Press(EnableHotKeyId);
  Fake.Registered.clear();
  Press(EnableHotKeyId);
  EXPECT_TRUE(Enabled);
  EXPECT_EQ(2u, Fake.SetHookCalls.size());
  EXPECT_EQ(VolumeKeys(), Fake.Registered);
  EXPECT_EQ(IDI_ENMUTEOFF, TrayImage());
  EXPECT_EQ("Disable", SwitchItemText());
}

TEST_F(TDisabling, DisplayShownStaysUntilEnabledAgain) {
  Press(VolumeUpHotKeyId);
  ASSERT_TRUE(IsWindowVisible(MainWindow));
  Press(EnableHotKeyId);
  EXPECT_TRUE(IsWindowVisible(MainWindow));
  EXPECT_FALSE(HideTimerRuns());
  Press(EnableHotKeyId);
  EXPECT_TRUE(HideTimerRuns());
  // Hidden some other way, the display needs no timer either.
  ShowWindow(MainWindow, SW_HIDE);
  SendMessageA(MainWindow, WM_TIMER, HIDE_TIMER_ID, 0);
  EXPECT_FALSE(HideTimerRuns());
}

TEST_F(TDisabling, ExitWhileDisabledDisablesOnceMoreHarmlessly) {
  Press(EnableHotKeyId);
  Fake.FreeHookCount = 0;
  Fake.Unregistered.clear();
  PostMessageA(MainWindow, WM_DESTROY, 0, 0);
  EXPECT_EQ(0, PumpMessages());
  EXPECT_EQ(1, Fake.FreeHookCount);
  EXPECT_EQ(
      (std::vector<int>{static_cast<int>(MuteHotKeyId), static_cast<int>(VolumeUpHotKeyId),
                        static_cast<int>(VolumeDownHotKeyId), static_cast<int>(EnableHotKeyId)}),
      Fake.Unregistered);
  EXPECT_EQ(1u, Fake.SetHookCalls.size());
  EXPECT_TRUE(Fake.Boxes.empty());
}

// With every wheel gesture off no turn of the desktop waits on the program: there is
// no hook, the keys work, and the hook comes back with the first gesture switched on.
TEST_F(THotKeysAtStartUp, NoWheelGestureMeansNoHookUntilOneIsSwitchedOn) {
  Settings[EDGE_WHEEL] = Settings[WHEEL_MODIFIER] = Settings[TRAY_WHEEL] = 0;
  UnregisterAllHotKeys(); // as the settings dialog does while it is open
  RegisterHotKeysAsSet();
  Press(EnableHotKeyId);
  Press(EnableHotKeyId);
  EXPECT_TRUE(Enabled);
  EXPECT_FALSE(Fake.HookInstalled);
  EXPECT_EQ(1u, Fake.SetHookCalls.size());
  Press(VolumeUpHotKeyId);
  EXPECT_GT(FakeMixer.Values[VolumeId], MidVolume);
  Settings[TRAY_WHEEL] = 1;
  UnregisterAllHotKeys();
  RegisterHotKeysAsSet();
  EXPECT_TRUE(Fake.HookInstalled);
  EXPECT_EQ(2u, Fake.SetHookCalls.size());
}

using THotKeyMessage = THotKeys;

TEST_F(THotKeyMessage, MuteKeyTogglesMuteAndAnswersZero) {
  EXPECT_EQ(0, Press(MuteHotKeyId));
  EXPECT_EQ(1u, FakeMixer.Values[MuteId]);
  Press(MuteHotKeyId);
  EXPECT_EQ(0u, FakeMixer.Values[MuteId]);
}

void Repeat(DWORD Id) { SendMessageA(MainWindow, WM_HOTKEY, Id, 0); }

// Where the system drops a held key's repeats, a quick second press is a press.
TEST_F(THotKeyMessage, QuickSecondPressTogglesBackWhereTheSystemDropsRepeats) {
  Fake.KeysHeld = {'M'};
  Repeat(MuteHotKeyId);
  Repeat(MuteHotKeyId);
  EXPECT_EQ(0u, FakeMixer.Values[MuteId]);
}

// Where a held key repeats its hotkey (Vista refuses the flag, Wine ignores it), a
// toggle acts again only once the key was let go, while the volume keys sweep on.
TEST_F(THotKeyMessage, HeldTogglesActOncePerPressWhereTheSystemRepeatsThem) {
  for (const auto Repeating : {+[] { Fake.RefusesNoRepeat = true; }, +[] { Fake.OnWine = true; }}) {
    Restart(Repeating);
    Fake.KeysHeld = {'M'};
    Repeat(MuteHotKeyId);
    Repeat(MuteHotKeyId);
    WatchToggleKey();
    // A repeat that comes as a release and a press: up at one tick only.
    Fake.KeysHeld.clear();
    WatchToggleKey(1);
    Fake.KeysHeld = {'M'};
    WatchToggleKey();
    Repeat(MuteHotKeyId);
    EXPECT_EQ(1u, FakeMixer.Values[MuteId]);
    // Presses that come while the key is up each act, with or without ticks between.
    Fake.KeysHeld.clear();
    Repeat(MuteHotKeyId);
    EXPECT_EQ(0u, FakeMixer.Values[MuteId]);
    Repeat(MuteHotKeyId);
    Fake.KeysHeld = {VK_PAUSE};
    WatchToggleKey();
    Repeat(MuteHotKeyId);
    EXPECT_EQ(0u, FakeMixer.Values[MuteId]);
    Repeat(EnableHotKeyId);
    Repeat(EnableHotKeyId);
    EXPECT_FALSE(Enabled);
    Fake.KeysHeld.clear();
    Repeat(VolumeUpHotKeyId);
    Repeat(VolumeUpHotKeyId);
    EXPECT_EQ(MidVolume + 1000 + 500, FakeMixer.Values[VolumeId]);
    // A release never seen (let go on the secure desktop) ends the watch in two seconds;
    // then only a hotkey after a pause no key repeat makes is a press.
    Fake.KeysHeld = {'M'};
    Fake.TickCount = 5000;
    Repeat(MuteHotKeyId);
    WatchToggleKey(2000 / 30);
    EXPECT_FALSE(KillTimer(MainWindow, TOGGLE_KEY_TIMER_ID));
    Repeat(MuteHotKeyId);
    EXPECT_EQ(1u, FakeMixer.Values[MuteId]);
    *Fake.TickCount += 500;
    Repeat(MuteHotKeyId);
    EXPECT_EQ(0u, FakeMixer.Values[MuteId]);
    Fake.KeysHeld.clear();
    WatchToggleKey();
  }
}

// The system never sends the hotkey of a toggle set to no key: one of its id came
// from another process, and neither toggles nor starts a watch that would never end.
TEST_F(THotKeyMessage, ToggleSetToNoKeyIgnoresItsHotKeyAndStartsNoWatch) {
  Restart([] { Fake.OnWine = true; });
  Settings[MUTE_KEY] = 0;
  Settings[SWITCH_KEY] = 0;
  Repeat(MuteHotKeyId);
  Repeat(EnableHotKeyId);
  EXPECT_FALSE(KillTimer(MainWindow, TOGGLE_KEY_TIMER_ID));
  EXPECT_EQ(0u, FakeMixer.Values[MuteId]);
  EXPECT_TRUE(Enabled);
}

TEST_F(THotKeyMessage, MuteKeyWithoutMuteControlDoesNothing) {
  MuteControl.reset();
  FakeMixer.Calls.clear();
  EXPECT_EQ(0, Press(MuteHotKeyId));
  EXPECT_TRUE(FakeMixer.Calls.empty());
  EXPECT_FALSE(IsWindowVisible(MainWindow));
  EXPECT_TRUE(Enabled);
}

TEST_F(THotKeyMessage, UnknownIdIsIgnoredAndAnsweredZero) {
  FakeMixer.Calls.clear();
  Fake.Sequence.clear();
  EXPECT_EQ(0, Press(0x7FFF));
  // Only the whole 32-bit id names a hotkey, not its low word.
  EXPECT_EQ(0, Press(VolumeUpHotKeyId | 0x10000));
  EXPECT_EQ(0, Press(EnableHotKeyId | 0x10000));
  EXPECT_TRUE(FakeMixer.Calls.empty());
  EXPECT_TRUE(Fake.Sequence.empty());
  EXPECT_TRUE(Enabled);
}

} // namespace

namespace {

// ---- Switching inside the nested loops of the boxes ----

class TNestedSwitch : public THotKeys {
protected:
  // Starts with Ctrl+Alt+PgDn taken, so that every enable opens a box; the actions
  // run one per box, inside it.
  void StartWithBoxActions(std::vector<std::function<void()>> Actions) {
    Restart([&] {
      Fake.RefusedKeys = {VK_NEXT};
      Fake.DuringBoxes = std::move(Actions);
    });
  }
  static void ShiftPause() { Press(EnableHotKeyId); }
  static void ChooseExit() { PostMessageA(MainWindow, WM_DESTROY, 0, 0); }

  // The icon, the menu text, the hook, the volume hotkeys and the timer all agree.
  void ExpectWhole(bool On) {
    EXPECT_EQ(On, Enabled);
    EXPECT_EQ(On ? IDI_ENMUTEOFF : IDI_DIMUTEOFF, TrayImage());
    EXPECT_EQ(On ? "Disable" : "Enable", SwitchItemText());
    EXPECT_EQ(On, Fake.HookInstalled);
    EXPECT_EQ(On ? 2u : 0u, Fake.HotKeysHeld.size() - Fake.HotKeysHeld.count(EnableHotKeyId));
    ShowDisplay(CHANGE_MUTE);
    EXPECT_EQ(On, HideTimerRuns());
  }
  // Exit ran inside a box: the loop ends with 0 and the last word to the shell was
  // the delete.
  void ExpectExitedCleanly() {
    EXPECT_EQ(0, RunMessageLoop());
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), Fake.TrayCalls.back().first);
    EXPECT_FALSE(Fake.TrayIconShown);
    EXPECT_FALSE(Fake.HookInstalled);
    EXPECT_TRUE(Fake.HotKeysHeld.empty());
    EXPECT_FALSE(HideTimerRuns());
  }
};

TEST_F(TNestedSwitch, DisablingWhileAnEnableShowsItsBoxLeavesAllDisabled) {
  StartWithBoxActions({ShiftPause});
  ExpectWhole(false);
}

TEST_F(TNestedSwitch, DisablingAndEnablingAgainInsideTheBoxLeavesAllEnabled) {
  StartWithBoxActions({[] {
    ShiftPause();
    ShiftPause();
  }});
  EXPECT_EQ(2u, Fake.Boxes.size());
  ExpectWhole(true);
}

TEST_F(TNestedSwitch, ExitWhileAnEnableShowsItsBoxEndsWithZeroAndNoIcon) {
  StartWithBoxActions({ChooseExit});
  ExpectExitedCleanly();
}

TEST_F(TNestedSwitch, ExitWhileTheEnableKeyBoxIsOpenEnablesNothing) {
  Restart([] {
    Fake.RefusedKeys = {VK_PAUSE};
    Fake.DuringBoxes = {ChooseExit};
  });
  EXPECT_TRUE(Fake.SetHookCalls.empty());
  ExpectExitedCleanly();
}

TEST_F(TNestedSwitch, ExitFromTheHelpBoxEndsWithZeroAndNoIcon) {
  Fake.MenuChoice = CMD_CONTROLS;
  Fake.DuringBoxes = {ChooseExit};
  ShowTrayMenu();
  ExpectExitedCleanly();
}

// ---- The hook's watchdog ----

class THookWatch : public THotKeys {
protected:
  void SetUp() override {
    THotKeys::SetUp();
    Restart([] { Fake.TickCount = 100000; });
  }
  // The library's report of mouse input its hook did not see; any process can send it.
  static void Report() { SendMessageA(MainWindow, WM_HOOKMOUSE, WM_INPUT, 0); }
  static void Later(DWORD Milliseconds) { *Fake.TickCount += Milliseconds; }
};

TEST_F(THookWatch, LostHookIsReinstalledOnlyWhenTheLibrarySaysSoAndLessOftenWhileReportsGoOn) {
  Later(10000);
  Report();
  EXPECT_EQ(1u, Fake.SetHookCalls.size());
  Fake.HookLost = true;
  Report();
  ASSERT_EQ(2u, Fake.SetHookCalls.size());
  EXPECT_EQ(WH_MOUSE_LL, Fake.SetHookCalls[1].Kind);
  EXPECT_EQ(MainWindow, Fake.SetHookCalls[1].Window);
  EXPECT_EQ(WM_HOOKMOUSE, Fake.SetHookCalls[1].Message);
  Later(4999);
  Report();
  EXPECT_EQ(2u, Fake.SetHookCalls.size());
  Later(1);
  Report();
  EXPECT_EQ(3u, Fake.SetHookCalls.size());
  // Lost again soon after it was put back (a thread starved again): the wait doubles.
  Later(9999);
  Report();
  EXPECT_EQ(3u, Fake.SetHookCalls.size());
  Later(1);
  Report();
  EXPECT_EQ(4u, Fake.SetHookCalls.size());
  EXPECT_TRUE(Enabled);
  EXPECT_EQ(IDI_ENMUTEOFF, TrayImage());
}

TEST_F(THookWatch, FailingReinstallDisablesWhollyAndTheNextEnableWorks) {
  Fake.SetHookResult = FALSE;
  Fake.HookLost = true;
  Later(10000);
  Report();
  EXPECT_EQ(2u, Fake.SetHookCalls.size());
  EXPECT_FALSE(Enabled);
  EXPECT_EQ(IDI_DIMUTEOFF, TrayImage());
  EXPECT_EQ("Enable", SwitchItemText());
  EXPECT_EQ(std::set<int>{static_cast<int>(EnableHotKeyId)}, Fake.HotKeysHeld);
  EXPECT_FALSE(HideTimerRuns());
  // No more attempts until the user enables again; that enable shows no box.
  Later(10000);
  Report();
  EXPECT_EQ(2u, Fake.SetHookCalls.size());
  Fake.SetHookResult = TRUE;
  Press(EnableHotKeyId);
  EXPECT_TRUE(Enabled);
  EXPECT_TRUE(Fake.Boxes.empty());
  EXPECT_EQ(4u, Fake.HotKeysHeld.size());
}

} // namespace
