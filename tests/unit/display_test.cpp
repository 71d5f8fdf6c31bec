// The on-screen display: the bar's geometry, the picture read back from the window's
// own pixels, showing without stealing activation, and the hide timer.
#include "fakes.h"
#include "main.h"
#include "program.h"

#include <vector>

namespace {

constexpr DWORD VolumeId = 1; // the fake mixer's control ids
constexpr DWORD MuteId = 2;
constexpr COLORREF Background = RGB(20, 20, 140);
constexpr COLORREF Green = RGB(0, 255, 0);
constexpr COLORREF White = RGB(255, 255, 255);
constexpr RECT Bar = {20, 30, 130, 40}; // inside the frame

// The window's pixels as they are on screen, copied through its own device context.
class TPicture {
public:
  TPicture() : Width(WindowSize().right), Height(WindowSize().bottom), Pixels(Width * Height) {
    BITMAPINFO Info = {};
    Info.bmiHeader.biSize = sizeof Info.bmiHeader;
    Info.bmiHeader.biWidth = Width;
    Info.bmiHeader.biHeight = -Height; // top-down rows
    Info.bmiHeader.biPlanes = 1;
    Info.bmiHeader.biBitCount = 32;
    Info.bmiHeader.biCompression = BI_RGB;
    const HDC Window = GetDC(MainWindow);
    const HDC Memory = CreateCompatibleDC(Window);
    void *Bits = nullptr;
    const HBITMAP Bitmap = CreateDIBSection(Window, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
    const HGDIOBJ Old = SelectObject(Memory, Bitmap);
    BitBlt(Memory, 0, 0, Width, Height, Window, 0, 0, SRCCOPY);
    GdiFlush();
    const DWORD *Source = static_cast<const DWORD *>(Bits);
    Pixels.assign(Source, Source + Width * Height);
    SelectObject(Memory, Old);
    DeleteObject(Bitmap);
    DeleteDC(Memory);
    ReleaseDC(MainWindow, Window);
  }

  COLORREF At(int X, int Y) const {
    const DWORD Pixel = Pixels[static_cast<size_t>(Y * Width + X)];
    return RGB(static_cast<BYTE>(Pixel >> 16), static_cast<BYTE>(Pixel >> 8),
               static_cast<BYTE>(Pixel));
  }

  // Pixels of Colour in the columns Left..Right and rows Top..Bottom, all inclusive.
  int Count(COLORREF Colour, int Left, int Top, int Right, int Bottom) const {
    int Found = 0;
    for (int Y = Top; Y <= Bottom; ++Y)
      for (int X = Left; X <= Right; ++X)
        Found += At(X, Y) == Colour ? 1 : 0;
    return Found;
  }

  // White in the columns only "Mute" reaches (it starts 10 pixels left of "ON").
  bool ShowsMute() const { return Count(White, 100, 5, 109, 18) > 0; }
  bool ShowsOn() const { return !ShowsMute() && Count(White, 110, 5, 130, 18) > 0; }

  const int Width;
  const int Height;

private:
  static RECT WindowSize() {
    RECT Client = {};
    GetClientRect(MainWindow, &Client);
    return Client;
  }

  std::vector<DWORD> Pixels;
};

class TDisplay : public TProgramTest {
protected:
  void SetUp() override {
    TProgramTest::SetUp();
    PumpMessages();
    // A fixed clock keeps the running hide timer from hiding the display under a test.
    Fake.TickCount = LastChangeTick = 100000;
  }

  static void ShowAt(DWORD Volume, DWORD Mute, TChangeKind Change = CHANGE_MUTE) {
    FakeMixer.Values[VolumeId] = Volume;
    FakeMixer.Values[MuteId] = Mute;
    ShowDisplay(Change);
  }

  // Every row of the bar: green up to the filled width, white after it.
  static void ExpectBar(const TPicture &Picture, int Filled) {
    for (int Y = Bar.top; Y < Bar.bottom; ++Y)
      for (int X = Bar.left; X < Bar.right; ++X)
        ASSERT_EQ(X < Bar.left + Filled ? Green : White, Picture.At(X, Y))
            << "at " << X << "," << Y;
  }
};

TEST(TFilledBarWidth, RoundsToNearestWithTiesToEven) {
  const std::pair<DWORD, int> Cases[] = {{0, 0},      {297, 0},    {298, 1},    {32768, 55},
                                         {16384, 28}, {49152, 82}, {65535, 110}};
  for (const auto &[Volume, Filled] : Cases)
    EXPECT_EQ(Filled, FilledBarWidth(Volume, 110)) << Volume;
}

TEST(TFilledBarWidth, NeverExceedsTheBarWhateverTheFaderReports) {
  for (const DWORD Volume : {65536ul, 70000ul, 0x7FFFFFFFul, 0xFFFFFFFFul})
    EXPECT_EQ(110, FilledBarWidth(Volume, 110)) << Volume;
}

TEST_F(TDisplay, PaintsBackgroundFrameAndBar) {
  ShowAt(32768, 0);
  const TPicture Picture;
  for (const POINT &P : {POINT{0, 0}, POINT{149, 59}, POINT{5, 50}, POINT{140, 25}})
    EXPECT_EQ(Background, Picture.At(P.x, P.y)) << P.x << "," << P.y;
  // The white frame lies one pixel outside BarRect, the background one further out.
  for (int X = 18; X <= 131; ++X) {
    const COLORREF Frame = X == 18 || X == 131 ? Background : White;
    EXPECT_EQ(Frame, Picture.At(X, 29)) << X;
    EXPECT_EQ(Frame, Picture.At(X, 40)) << X;
    EXPECT_EQ(Background, Picture.At(X, 28)) << X;
    EXPECT_EQ(Background, Picture.At(X, 41)) << X;
  }
  for (int Y = 30; Y <= 39; ++Y) {
    EXPECT_EQ(White, Picture.At(19, Y)) << Y;
    EXPECT_EQ(White, Picture.At(130, Y)) << Y;
    EXPECT_EQ(Background, Picture.At(18, Y)) << Y;
    EXPECT_EQ(Background, Picture.At(131, Y)) << Y;
  }
  ExpectBar(Picture, 55);
  EXPECT_GT(Picture.Count(White, 10, 5, 60, 18), 0); // "Volume"
}

TEST_F(TDisplay, WritesMuteOrOnFromTheMuteValue) {
  ShowAt(0, 1);
  EXPECT_TRUE(TPicture().ShowsMute());
  ShowAt(0, 0);
  EXPECT_TRUE(TPicture().ShowsOn());
  ShowAt(0, 7); // only 1 means muted
  EXPECT_TRUE(TPicture().ShowsOn());
}

TEST_F(TDisplay, FullOrOverfullFaderFillsTheBarAndNoMore) {
  ShowAt(65535, 0);
  ExpectBar(TPicture(), 110);
  ShowAt(0xFFFFFFFF, 0);
  const TPicture Picture;
  ExpectBar(Picture, 110);
  EXPECT_EQ(White, Picture.At(130, 35));
  EXPECT_EQ(Background, Picture.At(131, 35));
}

TEST_F(TDisplay, AbsentControlsLeaveBarWhiteAndNoMuteText) {
  VolumeControl.reset();
  MuteControl.reset();
  ShowDisplay(CHANGE_MUTE);
  const TPicture Picture;
  ExpectBar(Picture, 0);
  EXPECT_EQ(0, Picture.Count(White, 100, 5, 140, 18));
  EXPECT_GT(Picture.Count(White, 10, 5, 60, 18), 0);
}

// The mute text is out of date by the time the display comes back for a volume step.
TEST_F(TDisplay, HiddenDisplayIsShownAndPaintedWholeEvenForVolume) {
  ShowAt(65535, 1);
  Fake.TickCount = LastChangeTick + 5000;
  HideDisplayWhenDue();
  ASSERT_FALSE(IsWindowVisible(MainWindow));
  ShowAt(16384, 0, CHANGE_VOLUME);
  EXPECT_TRUE(IsWindowVisible(MainWindow));
  const TPicture Picture;
  EXPECT_EQ(Background, Picture.At(5, 50));
  ExpectBar(Picture, 28);
  EXPECT_TRUE(Picture.ShowsOn());
}

TEST_F(TDisplay, VisibleVolumeChangeRepaintsOnlyTheBar) {
  ShowAt(65535, 1);
  ShowAt(0, 0, CHANGE_VOLUME);
  const TPicture AfterVolume;
  ExpectBar(AfterVolume, 0);
  EXPECT_TRUE(AfterVolume.ShowsMute()); // drawn before, not repainted
  ShowAt(0, 0, CHANGE_MUTE);
  EXPECT_TRUE(TPicture().ShowsOn());
}

TEST_F(TDisplay, ShowingLeavesTheUsersWindowActive) {
  const HWND User = CreateWindowExA(0, "STATIC", "user", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400, 300,
                                    200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, User);
  SetForegroundWindow(User);
  SetActiveWindow(User);
  PumpMessages();
  ASSERT_EQ(User, GetForegroundWindow());
  ASSERT_EQ(User, GetActiveWindow());
  ShowAt(32768, 0, CHANGE_VOLUME);
  PumpMessages();
  EXPECT_TRUE(IsWindowVisible(MainWindow));
  EXPECT_EQ(User, GetForegroundWindow());
  EXPECT_EQ(User, GetActiveWindow());
  DestroyWindow(User);
}

// Ticks arrive as WM_TIMER, whatever the timer id. Hiding leaves the step to the
// next action, which measures the pause itself.
TEST_F(TDisplay, HidesOnlyWhenMoreThanTheDelayHasPassed) {
  ShowAt(32768, 0);
  Step = 2500;
  Fake.TickCount = LastChangeTick + 1800;
  SendMessageA(MainWindow, WM_TIMER, HIDE_TIMER_ID, 0);
  EXPECT_TRUE(IsWindowVisible(MainWindow));
  Fake.TickCount = LastChangeTick + 1801;
  SendMessageA(MainWindow, WM_TIMER, 77, 0);
  EXPECT_FALSE(IsWindowVisible(MainWindow));
  EXPECT_EQ(2500, Step);
}

TEST_F(TDisplay, TickWhileHiddenChangesNothing) {
  Step = 1500;
  Fake.TickCount = LastChangeTick + 100000;
  HideDisplayWhenDue();
  EXPECT_FALSE(IsWindowVisible(MainWindow));
  EXPECT_EQ(1500, Step);
}

TEST_F(TDisplay, ChangeJustBeforeTheTickCounterWrapsStillHides) {
  LastChangeTick = 0xFFFFFF00;
  ShowAt(32768, 0);
  Fake.TickCount = LastChangeTick + 1800; // past 2^32: 0x608
  HideDisplayWhenDue();
  EXPECT_TRUE(IsWindowVisible(MainWindow));
  Fake.TickCount = LastChangeTick + 1801;
  HideDisplayWhenDue();
  EXPECT_FALSE(IsWindowVisible(MainWindow));
}

// The display at each common scaling: window, bar, frame and text all scale by
// Dpi / 96, rounded half away from zero, and the bar stays proportional.
struct TScaledLayout {
  UINT Dpi;
  RECT Window;
  RECT Bar;
  int Frame;
  int HalfFilled; // green pixels for the fader at 32768
};

constexpr TScaledLayout Layouts[] = {{96, {0, 0, 150, 60}, {20, 30, 130, 40}, 1, 55},
                                     {120, {0, 0, 188, 75}, {25, 38, 163, 50}, 1, 69},
                                     {144, {0, 0, 225, 90}, {30, 45, 195, 60}, 2, 82},
                                     {192, {0, 0, 300, 120}, {40, 60, 260, 80}, 2, 110}};

// Rows above Bottom that hold white in the columns Left..Right, from the first to
// the last.
int TextHeight(const TPicture &Picture, int Left, int Right, int Bottom) {
  int First = -1;
  int Last = -1;
  for (int Y = 0; Y < Bottom; ++Y)
    if (Picture.Count(White, Left, Y, Right, Y) > 0) {
      First = First < 0 ? Y : First;
      Last = Y;
    }
  return First < 0 ? 0 : Last - First + 1;
}

TEST_F(TDisplay, EverySizeScalesWithTheDpi) {
  int TextAt96 = 0;
  for (const TScaledLayout &Layout : Layouts) {
    SetDisplayDpi(Layout.Dpi);
    ShowAt(32768, 0);
    RECT Window = {};
    GetWindowRect(MainWindow, &Window);
    EXPECT_EQ(Layout.Window, Window) << Layout.Dpi;
    EXPECT_EQ(Layout.Bar, BarRect) << Layout.Dpi;
    const TPicture Picture;
    const RECT &B = Layout.Bar;
    const int Middle = (B.top + B.bottom) / 2;
    EXPECT_EQ(Layout.HalfFilled, Picture.Count(Green, B.left, Middle, B.right - 1, Middle));
    EXPECT_EQ(Green, Picture.At(B.left, B.top));
    EXPECT_EQ(Green, Picture.At(B.left + Layout.HalfFilled - 1, B.bottom - 1));
    EXPECT_EQ(White, Picture.At(B.left + Layout.HalfFilled, B.bottom - 1));
    // The frame: white for Frame pixels around the bar, the background beyond.
    EXPECT_EQ(White, Picture.At(B.left - Layout.Frame, Middle)) << Layout.Dpi;
    EXPECT_EQ(Background, Picture.At(B.left - Layout.Frame - 1, Middle)) << Layout.Dpi;
    EXPECT_EQ(White, Picture.At(B.right + Layout.Frame - 1, Middle)) << Layout.Dpi;
    EXPECT_EQ(Background, Picture.At(B.right + Layout.Frame, Middle)) << Layout.Dpi;
    EXPECT_EQ(White, Picture.At(B.left + 1, B.top - Layout.Frame)) << Layout.Dpi;
    EXPECT_EQ(Background, Picture.At(B.left + 1, B.top - Layout.Frame - 1)) << Layout.Dpi;
    EXPECT_EQ(White, Picture.At(B.left + 1, B.bottom + Layout.Frame - 1)) << Layout.Dpi;
    EXPECT_EQ(Background, Picture.At(B.left + 1, B.bottom + Layout.Frame)) << Layout.Dpi;
    EXPECT_EQ(Background, Picture.At(Window.right - 1, Window.bottom - 1)) << Layout.Dpi;
    // "Volume" starts at the scaled (10, 5), "ON" at (110, 5), and the text grows.
    const int VolumeX = B.left / 2;
    const int OnX = B.right - B.left / 2 - B.left / 2; // 110 of 150 at 96 DPI
    const int TextBottom = B.top - Layout.Frame - 1;   // the row above the frame
    EXPECT_EQ(0, Picture.Count(White, 0, 0, VolumeX - 1, TextBottom)) << Layout.Dpi;
    EXPECT_GT(Picture.Count(White, VolumeX, 0, VolumeX + B.left, B.top - 1), 0) << Layout.Dpi;
    EXPECT_EQ(0, Picture.Count(White, VolumeX * 10, 0, OnX - 1, TextBottom)) << Layout.Dpi;
    EXPECT_GT(Picture.Count(White, OnX, 0, Window.right - 1, B.top - 1), 0) << Layout.Dpi;
    const int Text = TextHeight(Picture, VolumeX, OnX - 1, TextBottom);
    if (Layout.Dpi == 96)
      TextAt96 = Text;
    EXPECT_GE(Text * 96, TextAt96 * static_cast<int>(Layout.Dpi) * 3 / 4) << Layout.Dpi;
    EXPECT_LE(Text * 96, TextAt96 * static_cast<int>(Layout.Dpi) * 5 / 4) << Layout.Dpi;
  }
}

TEST_F(TDisplay, FollowsTheScalingOfThePrimaryMonitor) {
  const UINT Primary = PrimaryMonitorDpi();
  const UINT DpiChanged = 0x02E0; // WM_DPICHANGED
  for (const UINT Message :
       {DpiChanged, static_cast<UINT>(WM_SETTINGCHANGE), static_cast<UINT>(WM_DISPLAYCHANGE)}) {
    SetDisplayDpi(Primary * 2);
    TrayDpi = Primary * 2; // as before the primary monitor changed its scaling
    Fake.TrayCalls.clear();
    const LPARAM Size = MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(0, SendMessageA(MainWindow, Message, 0, Message == WM_DISPLAYCHANGE ? Size : 0));
    EXPECT_EQ(Primary, DisplayDpi) << Message;
    RECT Window = {};
    GetWindowRect(MainWindow, &Window);
    EXPECT_EQ((RECT{0, 0, ScaleForDpi(150), ScaleForDpi(60)}), Window) << Message;
    // The tray icon follows too, loaded again at the small-icon size.
    ASSERT_EQ(1u, Fake.TrayCalls.size()) << Message;
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), Fake.TrayCalls[0].first);
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), IconSize(Fake.TrayCalls[0].second.hIcon));
  }
}

// A window that is made topmost after the display, as a video player or a taskbar
// at the top of the screen would be, must not hide the volume.
TEST_F(TDisplay, EachChangeRaisesTheDisplayAboveLaterTopmostWindows) {
  ShowAt(32768, 0);
  const HWND Later =
      CreateWindowExA(WS_EX_TOPMOST | WS_EX_NOACTIVATE, "STATIC", "later", WS_POPUP | WS_VISIBLE, 0,
                      0, 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, Later);
  const auto Above = [](HWND Upper, HWND Lower) {
    for (HWND Window = GetWindow(Upper, GW_HWNDNEXT); Window;
         Window = GetWindow(Window, GW_HWNDNEXT))
      if (Window == Lower)
        return true;
    return false;
  };
  ASSERT_TRUE(Above(Later, MainWindow));
  ShowAt(30000, 0, CHANGE_VOLUME);
  EXPECT_TRUE(Above(MainWindow, Later));
  EXPECT_EQ(Green, TPicture().At(20, 35));
  SetWindowPos(Later, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ASSERT_TRUE(Above(Later, MainWindow));
  ShowAt(30000, 1, CHANGE_MUTE);
  EXPECT_TRUE(Above(MainWindow, Later));
  DestroyWindow(Later);
}

// A screen reader takes the window's text for the display's name.
TEST_F(TDisplay, TextTellsTheWholePercentageAndTheMuteState) {
  const std::tuple<DWORD, DWORD, const char *> Cases[] = {
      {0, 0, "Volume 0%"},      {327, 0, "Volume 0%"},     {328, 0, "Volume 1%"},
      {29491, 0, "Volume 45%"}, {70000, 0, "Volume 100%"}, {29491, 1, "Volume 45%, muted"}};
  for (const auto &[Volume, Mute, Expected] : Cases) {
    char Text[32] = {};
    ShowAt(Volume, Mute);
    SendMessageA(MainWindow, WM_TIMER, ANNOUNCE_TIMER_ID, 0);
    GetWindowTextA(MainWindow, Text, sizeof Text);
    EXPECT_STREQ(Expected, Text);
  }
}

TEST_F(TDisplay, BurstIsToldOnceWhenItHasSettled) {
  for (const DWORD Volume : {1000ul, 20000ul, 29491ul})
    ShowAt(Volume, 0, CHANGE_VOLUME);
  EXPECT_TRUE(Fake.WinEvents.empty());
  const TTimerCall &Armed = Fake.TimersSet.back(); // anew by the last change
  EXPECT_EQ((std::tuple(ANNOUNCE_TIMER_ID, 300u)), std::tuple(Armed.Id, Armed.Period));
  SendMessageA(MainWindow, WM_TIMER, ANNOUNCE_TIMER_ID, 0);
  EXPECT_EQ(std::vector{std::tuple(DWORD{EVENT_OBJECT_LIVEREGIONCHANGED}, MainWindow, OBJID_CLIENT,
                                   LONG{CHILDID_SELF})},
            Fake.WinEvents);
  EXPECT_FALSE(KillTimer(MainWindow, ANNOUNCE_TIMER_ID)); // one-shot
}

TEST_F(TDisplay, PaintsWithTheSystemColoursWhileHighContrastIsOn) {
  Fake.HighContrast = true;
  SendMessageA(MainWindow, WM_SYSCOLORCHANGE, 0, 0);
  ShowAt(32768, 0);
  const TPicture Picture;
  EXPECT_EQ(GetSysColor(COLOR_WINDOW), Picture.At(5, 50));
  EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), Picture.At(20, 35));
  EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), Picture.At(19, 29));
  EXPECT_GT(Picture.Count(GetSysColor(COLOR_WINDOWTEXT), 10, 5, 60, 18), 0); // "Volume"
  Fake.HighContrast = false;
  SendMessageA(MainWindow, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  ShowAt(32768, 0);
  EXPECT_EQ(Background, TPicture().At(5, 50));
}

} // namespace
