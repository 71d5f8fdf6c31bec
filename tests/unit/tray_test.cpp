// The notification-area icon as the shell receives it: the record, the image chosen
// by Enabled and the mute state, the tip, and the icon's life across start-up,
// mixer notifications and a taskbar restart.
#include "fakes.h"
#include "main.h"
#include "program.h"

#include <cwchar>
#include <set>
#include <string>

namespace {

constexpr DWORD MuteId = 2; // the fake mixer's mute control
constexpr DWORD RecordSize = 936;
constexpr UINT RecordFlags = 7;                 // NIF_MESSAGE | NIF_ICON | NIF_TIP
constexpr UINT CallbackMessage = WM_USER + 1;   // 1025
constexpr UINT RefreshTipMessage = WM_USER + 2; // 1026
constexpr wchar_t ProgramTip[] = L"Sonalto (by Brelin)";

HICON Image(const char *Name) { return LoadIconA(GetModuleHandleA(nullptr), Name); }

// The tip up to its zero byte, never read past the field.
std::wstring TipOf(const NOTIFYICONDATAW &Record) {
  return std::wstring(Record.szTip, wcsnlen(Record.szTip, ARRAYSIZE(Record.szTip)));
}

bool RefreshTipQueued() {
  MSG Message = {};
  return PeekMessageA(&Message, MainWindow, RefreshTipMessage, RefreshTipMessage, PM_NOREMOVE) !=
         FALSE;
}

void ExpectRecord(const NOTIFYICONDATAW &Record, const char *ImageName, const std::wstring &Tip) {
  EXPECT_EQ(RecordSize, Record.cbSize);
  EXPECT_EQ(MainWindow, Record.hWnd);
  EXPECT_EQ(0u, Record.uID);
  EXPECT_EQ(RecordFlags, Record.uFlags);
  EXPECT_EQ(CallbackMessage, Record.uCallbackMessage);
  EXPECT_EQ(ImageName, ::ImageName(Record.hIcon));
  EXPECT_EQ(Tip, TipOf(Record));
}

using TTrayTest = TProgramTest;

const NOTIFYICONDATAW &LastRecord() { return Fake.TrayCalls.back().second; }
DWORD LastAction() { return Fake.TrayCalls.back().first; }

TEST(TTrayImages, FourImagesLoadAsDistinctIcons) {
  const HICON Images[] = {Image("ENMUTEON"), Image("ENMUTEOFF"), Image("DIMUTEON"),
                          Image("DIMUTEOFF")};
  for (int First = 0; First < 4; ++First) {
    EXPECT_NE(nullptr, Images[First]);
    for (int Second = First + 1; Second < 4; ++Second)
      EXPECT_NE(Images[First], Images[Second]);
  }
}

// Drawn for each small-icon size of the common scalings, so no size is a shrunk or
// stretched copy of another.
TEST(TTrayImages, EachImageCarriesTheSmallIconSizeOfEveryCommonScaling) {
  for (const char *Name : {"ENMUTEON", "ENMUTEOFF", "DIMUTEON", "DIMUTEOFF"}) {
    const HMODULE Program = GetModuleHandleA(nullptr);
    const HRSRC Group = FindResourceA(Program, Name, MAKEINTRESOURCEA(14)); // RT_GROUP_ICON
    ASSERT_NE(nullptr, Group) << Name;
    const auto *Directory = static_cast<const BYTE *>(LockResource(LoadResource(Program, Group)));
    const WORD Count = *reinterpret_cast<const WORD *>(Directory + 4);
    std::set<int> Sizes;
    for (WORD Entry = 0; Entry < Count; ++Entry)
      Sizes.insert(Directory[6 + 14 * Entry]); // each entry is 14 bytes, its width first
    EXPECT_EQ((std::set<int>{16, 20, 24, 32}), Sizes) << Name;
  }
}

using TTrayLife = TTrayTest;

TEST_F(TTrayLife, IconIsLoadedAtTheSmallIconSizeOfTheTraysDpiOnceForEachSize) {
  HICON Previous = nullptr;
  for (const auto &[Dpi, Size] : {std::pair<UINT, int>{120, 20}, {144, 24}, {192, 32}, {96, 16}}) {
    TrayDpi = Dpi;
    ModifyTrayIcon();
    const HICON Shown = LastRecord().hIcon;
    EXPECT_EQ(Size, IconSize(Shown)) << Dpi;
    EXPECT_EQ("ENMUTEOFF", ImageName(Shown)) << Dpi;
    ICONINFO Info = {};
    EXPECT_TRUE(Previous != Shown && !GetIconInfo(Previous, &Info))
        << "the image of the old size lives on at " << Dpi;
    ModifyTrayIcon();
    EXPECT_EQ(Shown, LastRecord().hIcon) << "loaded again at " << Dpi;
    Previous = Shown;
  }
}

// On monitors of mixed scaling the display goes where it is set to go; the icon stays
// on the taskbar at the primary monitor's size, with its images kept, and follows only
// that monitor's own scaling.
TEST_F(TTrayLife, IconKeepsThePrimaryMonitorsSizeWhereverTheDisplayGoes) {
  const HICON Shown = LastRecord().hIcon;
  for (const UINT Dpi : {192u, 120u, 96u}) {
    SetDisplayDpi(Dpi);
    ModifyTrayIcon();
    EXPECT_EQ(Shown, LastRecord().hIcon) << Dpi;
  }
  const UINT Primary = TrayDpi;
  const size_t Calls = Fake.TrayCalls.size();
  TrayDpi = Primary * 2;
  SendMessageA(MainWindow, WM_SETTINGCHANGE, 0, 0);
  SendMessageA(MainWindow, WM_SETTINGCHANGE, 0, 0);
  EXPECT_EQ(Primary, TrayDpi);
  EXPECT_EQ(Calls + 1, Fake.TrayCalls.size());
}

TEST_F(TTrayLife, StartUpAddsADisabledIconWithoutTipThenSetsTipAndEnabledImage) {
  ASSERT_EQ(3u, Fake.TrayCalls.size());
  EXPECT_EQ(static_cast<DWORD>(NIM_ADD), Fake.TrayCalls[0].first);
  ExpectRecord(Fake.TrayCalls[0].second, "DIMUTEOFF", L"");
  EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), Fake.TrayCalls[1].first);
  ExpectRecord(Fake.TrayCalls[1].second, "DIMUTEOFF", ProgramTip);
  EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), Fake.TrayCalls[2].first);
  ExpectRecord(Fake.TrayCalls[2].second, "ENMUTEOFF", ProgramTip);
  EXPECT_TRUE(RefreshTipQueued());
}

TEST_F(TTrayLife, PostedRefreshTipSetsTheTipFromTheStringTable) {
  SetTipText(L"");
  Fake.TrayCalls.clear();
  ASSERT_TRUE(RefreshTipQueued());
  PumpMessages();
  ASSERT_EQ(1u, Fake.TrayCalls.size());
  EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), LastAction());
  ExpectRecord(LastRecord(), "ENMUTEOFF", ProgramTip);
}

TEST_F(TTrayLife, TaskbarRestartDeletesAndAddsTheIconWithCurrentImageAndTip) {
  PumpMessages();
  FakeMixer.Values[MuteId] = 1;
  Fake.TrayCalls.clear();
  SendMessageA(MainWindow, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  ASSERT_EQ(2u, Fake.TrayCalls.size());
  EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), Fake.TrayCalls[0].first);
  EXPECT_EQ(MainWindow, Fake.TrayCalls[0].second.hWnd);
  EXPECT_EQ(0u, Fake.TrayCalls[0].second.uID);
  EXPECT_EQ(static_cast<DWORD>(NIM_ADD), Fake.TrayCalls[1].first);
  ExpectRecord(Fake.TrayCalls[1].second, "ENMUTEON", ProgramTip);
  EXPECT_FALSE(RefreshTipQueued());
}

TEST_F(TTrayLife, MixerNotificationModifiesTheImageToTheMuteStateOfTheMoment) {
  PumpMessages();
  Fake.TrayCalls.clear();
  FakeMixer.Values[MuteId] = 1; // muted by another program
  SendMessageA(MainWindow, MM_MIXM_CONTROL_CHANGE, 0, 0);
  ASSERT_EQ(1u, Fake.TrayCalls.size());
  EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), LastAction());
  ExpectRecord(LastRecord(), "ENMUTEON", ProgramTip);

  FakeMixer.Values[MuteId] = 0;
  SendMessageA(MainWindow, MM_MIXM_CONTROL_CHANGE, 0, 0);
  ASSERT_EQ(2u, Fake.TrayCalls.size());
  ExpectRecord(LastRecord(), "ENMUTEOFF", ProgramTip);
}

// The mixer objects are freed before the icon is deleted; filling the record again
// would take the freed mute control for muted.
TEST_F(TTrayLife, ShutdownDeletesTheIconWithTheRecordAsLastFilled) {
  DestroyWindow(MainWindow);
  ASSERT_FALSE(Fake.TrayCalls.empty());
  EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), LastAction());
  ExpectRecord(LastRecord(), "DIMUTEOFF", ProgramTip);
}

using TTipText = TTrayTest;

TEST_F(TTipText, ShorterTextReplacesTheTipWithItsTerminatingZero) {
  SetTipText(L"abc");
  EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), LastAction());
  EXPECT_EQ(0, std::wmemcmp(L"abc", LastRecord().szTip, 4));
}

TEST_F(TTipText, EmptyTextGivesAnEmptyTipAndAsksForNoRefresh) {
  PumpMessages();
  SetTipText(L"");
  EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), LastAction());
  EXPECT_EQ(L'\0', LastRecord().szTip[0]);
  EXPECT_FALSE(RefreshTipQueued());
}

// A tip in a script outside any ANSI code page reaches the shell letter for letter.
TEST_F(TTipText, TextOutsideTheAnsiCodePageReachesTheShellUnchanged) {
  const std::wstring Text = L"Громкость Ωμέγα 音量";
  SetTipText(Text.c_str());
  EXPECT_EQ(Text, TipOf(LastRecord()));
}

TEST_F(TTipText, TextOfExactly127CharactersFitsWhole) {
  const std::wstring Text(127, L'y');
  SetTipText(Text.c_str());
  EXPECT_EQ(Text, TipOf(LastRecord()));
}

TEST_F(TTipText, LongerTextIsCutTo127CharactersAndNeverWritesPastTheTipField) {
  SetTipText(std::wstring(300, L'x').c_str());
  const NOTIFYICONDATAW &Record = LastRecord();
  EXPECT_EQ(std::wstring(127, L'x'), std::wstring(Record.szTip, 127));
  EXPECT_EQ(L'\0', Record.szTip[127]);
  EXPECT_EQ(0u, Record.dwState);
  EXPECT_EQ(0u, Record.dwStateMask);
  EXPECT_EQ(0u, wcsnlen(Record.szInfo, ARRAYSIZE(Record.szInfo)));
}

// Which image the icon shows for each Enabled and mute state.
enum class TMute { Absent, NoDevice, Off, On, Other };

struct TImageCase {
  const char *Name;
  bool Enabled;
  TMute Mute;
  const char *Image;
};

class TTrayImage : public testing::TestWithParam<TImageCase> {
protected:
  void SetUp() override {
    ForgetTray();
    ResetFakes();
    Fake.SetHookResult = GetParam().Enabled;
    const TMute Mute = GetParam().Mute;
    if (Mute == TMute::NoDevice)
      FakeMixer.Devices = 0;
    FakeMixer.Values[MuteId] = Mute == TMute::On ? 1 : Mute == TMute::Other ? 2 : 0;
    StartApplication();
    if (Mute == TMute::Absent)
      MuteControl.reset();
  }
  void TearDown() override { StopProgram(); }
};

TEST_P(TTrayImage, MixerNotificationShowsTheImageForEnabledAndMuteState) {
  ASSERT_EQ(GetParam().Enabled, Enabled);
  Fake.TrayCalls.clear();
  SendMessageA(MainWindow, MM_MIXM_CONTROL_CHANGE, 0, 0);
  ASSERT_EQ(1u, Fake.TrayCalls.size());
  EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), LastAction());
  ExpectRecord(LastRecord(), GetParam().Image, ProgramTip);
}

INSTANTIATE_TEST_SUITE_P(
    States, TTrayImage,
    testing::Values(TImageCase{"EnabledMuteAbsent", true, TMute::Absent, "ENMUTEON"},
                    TImageCase{"EnabledNoMixerDevice", true, TMute::NoDevice, "ENMUTEOFF"},
                    TImageCase{"EnabledUnmuted", true, TMute::Off, "ENMUTEOFF"},
                    TImageCase{"EnabledMuted", true, TMute::On, "ENMUTEON"},
                    TImageCase{"EnabledOtherMuteValue", true, TMute::Other, "ENMUTEOFF"},
                    TImageCase{"DisabledMuteAbsent", false, TMute::Absent, "DIMUTEON"},
                    TImageCase{"DisabledNoMixerDevice", false, TMute::NoDevice, "DIMUTEOFF"},
                    TImageCase{"DisabledUnmuted", false, TMute::Off, "DIMUTEOFF"},
                    TImageCase{"DisabledMuted", false, TMute::On, "DIMUTEON"},
                    TImageCase{"DisabledOtherMuteValue", false, TMute::Other, "DIMUTEOFF"}),
    [](const testing::TestParamInfo<TImageCase> &Info) { return std::string(Info.param.Name); });

} // namespace

namespace {

// ---- A shell that does not take the icon at once, as at logon ----

class TTrayRetry : public TTrayTest {
protected:
  void SetUp() override {} // each test starts with its own shell
  static void RetryTick() { SendMessageA(MainWindow, WM_TIMER, TRAY_RETRY_TIMER_ID, 0); }
  static int Adds() {
    int Count = 0;
    for (const auto &Call : Fake.TrayCalls)
      Count += Call.first == static_cast<DWORD>(NIM_ADD);
    return Count;
  }
  // KillTimer answers whether the timer ran.
  static bool RetryRuns() { return KillTimer(MainWindow, TRAY_RETRY_TIMER_ID) != FALSE; }
};

TEST_F(TTrayRetry, RefusedAddIsAskedAgainLessAndLessOftenUntilTheShellTakesIt) {
  StartProgram([] { Fake.RefusedTrayAdds = 2; });
  ASSERT_FALSE(Fake.TimersSet.empty());
  EXPECT_EQ(TRAY_RETRY_TIMER_ID, Fake.TimersSet[0].Id);
  EXPECT_EQ(2000u, Fake.TimersSet[0].Period);
  RetryTick();
  EXPECT_FALSE(Fake.TrayIconShown);
  EXPECT_EQ(4000u, Fake.TimersSet.back().Period);
  EXPECT_EQ(400u, Fake.Tolerances.back());
  RetryTick();
  EXPECT_TRUE(Fake.TrayIconShown);
  EXPECT_EQ(3, Adds());
  ExpectRecord(LastRecord(), "ENMUTEOFF", ProgramTip);
  EXPECT_FALSE(RetryRuns());
}

TEST_F(TTrayRetry, IconTheShellTookDespiteARefusalIsNotAddedTwice) {
  StartProgram([] { Fake.RefusedTrayAdds = 1; });
  Fake.TrayIconShown = true; // the shell timed out, yet shows the icon
  RetryTick();
  EXPECT_EQ(1, Adds());
  EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), LastAction());
  EXPECT_FALSE(RetryRuns());
}

TEST_F(TTrayRetry, ShutdownStopsAskingAndAddsNothingMore) {
  StartProgram([] { Fake.RefusedTrayAdds = 1000; });
  PostMessageA(MainWindow, WM_DESTROY, 0, 0);
  EXPECT_EQ(0, PumpMessages());
  EXPECT_FALSE(RetryRuns());
  RetryTick();
  SendMessageA(MainWindow, TaskbarCreatedMessage, 0, 0);
  EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), LastAction());
}

TEST_F(TTrayRetry, TaskbarCreatedStillAddsTheIcon) {
  StartProgram();
  EXPECT_TRUE(Fake.TimersSet.empty());
  SendMessageA(MainWindow, TaskbarCreatedMessage, 0, 0);
  EXPECT_EQ(2, Adds());
  EXPECT_TRUE(Fake.TrayIconShown);
}

} // namespace
