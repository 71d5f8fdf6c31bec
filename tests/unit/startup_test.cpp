// Start-up, the window, the second-instance rule, the message loop, the dispatch and
// the shutdown, run for real against the fakes.
#include "fakes.h"
#include "main.h"
#include "program.h"
#include "resource.h"

namespace {

using TNames = std::vector<std::string>;

constexpr wchar_t ClassName[] = L"Tsonalto";
constexpr DWORD MuteId = 2; // the fake mixer's mute control

class TStartUp : public TProgramTest {
protected:
  static void Restart(const std::function<void()> &ArrangeFakes) {
    StopProgram();
    StartProgram(ArrangeFakes);
  }
};

int WindowsOfClass() {
  int Count = 0;
  for (HWND Window = nullptr; (Window = FindWindowExW(nullptr, Window, ClassName, nullptr));)
    ++Count;
  return Count;
}

TEST_F(TStartUp, RegistersAPlainClassWithoutIconOrCursor) {
  WNDCLASSW Class = {};
  ASSERT_TRUE(GetClassInfoW(GetModuleHandleW(nullptr), ClassName, &Class));
  EXPECT_EQ(0u, Class.style);
  EXPECT_EQ(&MainWindowProc, Class.lpfnWndProc);
  EXPECT_EQ(0, Class.cbClsExtra + Class.cbWndExtra);
  EXPECT_EQ(nullptr, Class.hIcon);
  EXPECT_EQ(nullptr, Class.hCursor);
  EXPECT_EQ(nullptr, Class.lpszMenuName);
  EXPECT_EQ(static_cast<DWORD>(COLOR_BTNFACE + 1), GetClassLongA(MainWindow, GCL_HBRBACKGROUND));
  EXPECT_EQ(reinterpret_cast<DWORD>(GetModuleHandleA(nullptr)),
            GetClassLongA(MainWindow, GCL_HMODULE));
}

TEST_F(TStartUp, CreatesHiddenNonActivatingTopmostPopupInTheCorner) {
  ASSERT_NE(nullptr, MainWindow);
  EXPECT_FALSE(IsWindowVisible(MainWindow));
  RECT Bounds = {}, Client = {};
  GetWindowRect(MainWindow, &Bounds);
  GetClientRect(MainWindow, &Client);
  EXPECT_EQ((RECT{0, 0, 150, 60}), Bounds);
  EXPECT_EQ((RECT{0, 0, 150, 60}), Client);
  const DWORD Style = GetWindowLongA(MainWindow, GWL_STYLE);
  EXPECT_EQ(WS_POPUP, Style & (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME | WS_BORDER));
  EXPECT_EQ(WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW,
            GetWindowLongA(MainWindow, GWL_EXSTYLE));
  char Title[8] = {};
  EXPECT_EQ(1, GetWindowTextA(MainWindow, Title, sizeof Title));
  EXPECT_STREQ(" ", Title);
  EXPECT_EQ(nullptr, GetWindow(MainWindow, GW_OWNER));
}

TEST_F(TStartUp, OpensMixerThenAddsIconThenSetsTipThenRegistersShiftPause) {
  const TNames Expected = {"mixerOpen",         "mixerOpen",      "Shell_NotifyIconW",
                           "Shell_NotifyIconW", "RegisterHotKey", "SetHook"};
  ASSERT_LE(Expected.size(), Fake.Sequence.size());
  EXPECT_EQ(Expected, TNames(Fake.Sequence.begin(), Fake.Sequence.begin() + 6));
}

// The image tells the mute control was already read: an absent one would show DIMUTEON.
TEST_F(TStartUp, IconIsFirstAddedDisabledWithEmptyTipThenTipIsSetTwice) {
  ASSERT_LE(2u, Fake.TrayCalls.size());
  const auto &[Action, Added] = Fake.TrayCalls[0];
  EXPECT_EQ(static_cast<DWORD>(NIM_ADD), Action);
  EXPECT_EQ(MainWindow, Added.hWnd);
  EXPECT_EQ(IDI_DIMUTEOFF, ImageName(Added.hIcon));
  EXPECT_STREQ(L"", Added.szTip);
  EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), Fake.TrayCalls[1].first);
  EXPECT_STREQ(L"Sonalto (by Brelin)", Fake.TrayCalls[1].second.szTip);
  Fake.TrayCalls.clear();
  PumpMessages(); // the posted WM_REFRESHTIP
  ASSERT_EQ(1u, Fake.TrayCalls.size());
  EXPECT_STREQ(L"Sonalto (by Brelin)", Fake.TrayCalls[0].second.szTip);

  Restart([] { FakeMixer.Values[MuteId] = 1; });
  EXPECT_EQ(IDI_DIMUTEON, ImageName(Fake.TrayCalls.at(0).second.hIcon));
}

TEST_F(TStartUp, OpensTheMixerForVolumeThenMuteWithTheWindowAsCallback) {
  EXPECT_EQ(2, FakeMixer.Count("mixerOpen"));
  EXPECT_EQ(2, FakeMixer.OpenHandles);
  DWORD Types[2] = {};
  int Controls = 0;
  for (const TMixerCall &Call : FakeMixer.Calls) {
    if (Call.Function == "mixerOpen") {
      EXPECT_EQ(reinterpret_cast<DWORD_PTR>(MainWindow), Call.Callback);
      EXPECT_EQ(static_cast<DWORD>(CALLBACK_WINDOW), Call.Flags);
    } else if (Call.Function == "mixerGetLineControlsW" && Controls < 2) {
      Types[Controls++] = Call.ControlType;
    }
  }
  EXPECT_EQ(static_cast<DWORD>(MIXERCONTROL_CONTROLTYPE_VOLUME), Types[0]);
  EXPECT_EQ(static_cast<DWORD>(MIXERCONTROL_CONTROLTYPE_MUTE), Types[1]);
}

TEST_F(TStartUp, RegistersShiftPauseFirstThenTheVolumeKeysUnderTheNamedAtoms) {
  EXPECT_EQ(MuteHotKeyId, GlobalFindAtomA("sonalHKMute"));
  EXPECT_EQ(VolumeUpHotKeyId, GlobalFindAtomA("sonalHKVolUp"));
  EXPECT_EQ(VolumeDownHotKeyId, GlobalFindAtomA("sonalHKVolDown"));
  EXPECT_EQ(EnableHotKeyId, GlobalFindAtomA("sonalHKEnabDis"));
  ASSERT_EQ(4u, Fake.Registered.size());
  const THotKeyCall &Enable = Fake.Registered[0];
  EXPECT_EQ(MainWindow, Enable.Window);
  EXPECT_EQ(static_cast<int>(EnableHotKeyId), Enable.Id);
  EXPECT_EQ(static_cast<UINT>(MOD_SHIFT | MOD_NOREPEAT), Enable.Modifiers);
  EXPECT_EQ(static_cast<UINT>(VK_PAUSE), Enable.Key);
  const DWORD Ids[] = {MuteHotKeyId, VolumeUpHotKeyId, VolumeDownHotKeyId};
  for (size_t I = 0; I < 3; ++I)
    EXPECT_EQ(static_cast<int>(Ids[I]), Fake.Registered[I + 1].Id) << I;
}

TEST_F(TStartUp, RefusedShiftPauseWarnsOnceAndStartUpGoesOn) {
  Restart([] { Fake.RefusedKeys = {VK_PAUSE}; });
  ASSERT_EQ(1u, Fake.Boxes.size());
  const TMessageBoxCall &Box = Fake.Boxes[0];
  EXPECT_EQ(L"HotKey for Enable/Disable not registered", Box.Text);
  EXPECT_TRUE(Box.HasCaption);
  EXPECT_EQ(L"", Box.Caption);
  EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONWARNING), Box.Style);
  EXPECT_EQ(nullptr, Box.Owner);
  EXPECT_EQ(4u, Fake.Registered.size());
  EXPECT_TRUE(Enabled);
}

// The first copy's window, hidden and whatever its title, stands for a running instance.
TEST_F(TStartUp, SecondStartWarnsQuitsAndCreatesNothing) {
  PumpMessages();
  const HWND First = MainWindow;
  SetWindowTextA(First, "renamed");
  Fake = TFakePlatform();
  FakeMixer.Calls.clear();
  Step = 1234;
  StartApplication();
  ASSERT_EQ(1u, Fake.Boxes.size());
  const TMessageBoxCall &Box = Fake.Boxes[0];
  EXPECT_EQ(L"Sonalto is already running", Box.Text);
  EXPECT_EQ(L"Exit", Box.Caption);
  EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONWARNING), Box.Style);
  EXPECT_EQ(nullptr, Box.Owner);
  EXPECT_EQ(TNames{"MessageBoxW"}, Fake.Sequence);
  EXPECT_TRUE(FakeMixer.Calls.empty());
  EXPECT_EQ(1, WindowsOfClass());
  EXPECT_EQ(First, MainWindow);
  EXPECT_EQ(1234, Step);
  EXPECT_EQ(2, FakeMixer.OpenHandles);
  EXPECT_EQ(0, PumpMessages());
}

TEST_F(TStartUp, WithoutItsWindowStartUpQuitsBeforeTouchingAnythingElse) {
  Restart([] { Fake.RefuseWindowCreation = true; });
  EXPECT_EQ(nullptr, MainWindow);
  EXPECT_FALSE(VolumeControl);
  EXPECT_EQ(0, FakeMixer.Count("mixerOpen"));
  EXPECT_TRUE(Fake.Sequence.empty());
  EXPECT_EQ(ExitCodeNoWindow, PumpMessages());
}

TEST_F(TStartUp, LoopRunsUntilQuitAndEndsWhenGetMessageFails) {
  PumpMessages();
  Fake.TrayCalls.clear();
  PostMessageA(MainWindow, WM_REFRESHTIP, 0, 0);
  PostQuitMessage(0);
  EXPECT_EQ(0, RunMessageLoop());
  EXPECT_EQ(1u, Fake.TrayCalls.size());
  // A loop that went on past the failure would find this quit and end with 0.
  PostQuitMessage(0);
  Fake.FailGetMessage = 1;
  EXPECT_EQ(ExitCodeLoopFailed, RunMessageLoop());
  EXPECT_EQ(0, PumpMessages());
}

TEST_F(TStartUp, QuitPostedByAnotherProcessDoesNotChooseTheExitCode) {
  PumpMessages();
  PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 7, 0);
  EXPECT_EQ(0, RunMessageLoop());
}

// Any process can post WM_TIMER with an address in lParam, which DispatchMessageA
// would call as a timer procedure.
bool ForgedTimerProcCalled;
void CALLBACK ForgedTimerProc(HWND, UINT, UINT_PTR, DWORD) { ForgedTimerProcCalled = true; }

TEST_F(TStartUp, NoLoopCallsAnAddressPostedWithATimerMessage) {
  PumpMessages();
  ForgedTimerProcCalled = false;
  const LPARAM Forged = reinterpret_cast<LPARAM>(&ForgedTimerProc);
  PostMessageA(MainWindow, WM_TIMER, HIDE_TIMER_ID, Forged);
  PostQuitMessage(0);
  EXPECT_EQ(0, RunMessageLoop());
  // Any other loop of the thread, as a message box's or the menu's would be.
  PostMessageA(MainWindow, WM_TIMER, HIDE_TIMER_ID, Forged);
  PumpMessages();
  EXPECT_FALSE(ForgedTimerProcCalled);
}

using TDispatch = TStartUp;

TEST_F(TDispatch, NullMessageIsNeverTakenForTaskbarCreated) {
  Fake.TrayCalls.clear();
  const UINT Registered = TaskbarCreatedMessage;
  TaskbarCreatedMessage = 0; // as before start-up has registered it
  EXPECT_EQ(0, MainWindowProc(MainWindow, WM_NULL, 0, 0));
  TaskbarCreatedMessage = Registered;
  EXPECT_EQ(0, MainWindowProc(MainWindow, WM_NULL, 0, 0));
  EXPECT_TRUE(Fake.TrayCalls.empty());
}

TEST_F(TDispatch, TaskbarCreatedDeletesThenAddsTheIcon) {
  ASSERT_NE(0u, TaskbarCreatedMessage);
  EXPECT_EQ(RegisterWindowMessageA("TaskbarCreated"), TaskbarCreatedMessage);
  Fake.TrayCalls.clear();
  EXPECT_EQ(0, SendMessageA(MainWindow, TaskbarCreatedMessage, 0, 0));
  ASSERT_EQ(2u, Fake.TrayCalls.size());
  EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), Fake.TrayCalls[0].first);
  EXPECT_EQ(static_cast<DWORD>(NIM_ADD), Fake.TrayCalls[1].first);
}

TEST_F(TDispatch, DisplayChangeTakesTheSizeUnsignedAndLeavesTheWindow) {
  EXPECT_EQ(0, SendMessageA(MainWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(0xFFFF, 0x8000)));
  EXPECT_EQ(65535, ScreenWidth);
  EXPECT_EQ(32768, ScreenHeight);
  RECT Bounds = {};
  GetWindowRect(MainWindow, &Bounds);
  EXPECT_EQ((RECT{0, 0, 150, 60}), Bounds);
}

TEST_F(TDispatch, CloseShutsDownInOrderAndQuitsWithZero) {
  PumpMessages();
  Fake.Sequence.clear();
  Fake.Unregistered.clear();
  SendMessageA(MainWindow, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(MainWindow));
  const TNames Expected = {"KillTimer",        "FreeHook",         "UnregisterHotKey",
                           "UnregisterHotKey", "UnregisterHotKey", "Shell_NotifyIconW",
                           "ModifyMenuW",      "UnregisterHotKey", "mixerClose",
                           "mixerClose",       "KillTimer",        "Shell_NotifyIconW"};
  EXPECT_EQ(Expected, Fake.Sequence);
  EXPECT_EQ(
      (std::vector<int>{static_cast<int>(MuteHotKeyId), static_cast<int>(VolumeUpHotKeyId),
                        static_cast<int>(VolumeDownHotKeyId), static_cast<int>(EnableHotKeyId)}),
      Fake.Unregistered);
  EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), Fake.TrayCalls.back().first);
  EXPECT_EQ(0, FakeMixer.OpenHandles);
  EXPECT_FALSE(VolumeControl);
  EXPECT_FALSE(MuteControl);
  EXPECT_FALSE(Enabled);
  EXPECT_EQ(0, PumpMessages());
}

} // namespace
