// The on-screen display: MainWindow itself, a 150x60 topmost popup (at 96 DPI) that
// shows the volume as a green bar and the mute state as text.
#include "main.h"

#include <oleacc.h>

#include <cmath>

#include "comPtr.h"
#include "resource.h"

HBRUSH BackgroundBrush;
HBRUSH BarBrush;
HPEN FramePen;
RECT BarRect;
UINT DisplayDpi;
HFONT LabelFont;
TDisplayPalette DisplayPalette;
HPEN HighContrastPen;

namespace {

constexpr COLORREF BackgroundColour = RGB(20, 20, 140);
constexpr COLORREF BarColour = RGB(0, 255, 0);
constexpr COLORREF FrameColour = RGB(255, 255, 255);
constexpr COLORREF TextColour = RGB(255, 255, 255);
constexpr RECT BarBounds = {20, 30, 130, 40};
constexpr double FaderSpan = 65536.0;
constexpr UINT HideTimerPeriod = 400; // ms
constexpr DWORD FullPercent = 100;

constexpr wchar_t VolumeLabel[] = L"Volume";
constexpr wchar_t MutedLabel[] = L"Mute";
constexpr wchar_t UnmutedLabel[] = L"ON";
constexpr POINT VolumeLabelAt = {10, 5};
constexpr POINT MutedLabelAt = {100, 5};
constexpr POINT UnmutedLabelAt = {110, 5};
constexpr int FrameWidth = 1;
// The height of the platform's default font at 96 DPI, and a face that every
// Windows maps to an outline font, so the text stays crisp at any size.
constexpr int LabelFontHeight = 16;
constexpr wchar_t LabelFontFace[] = L"MS Shell Dlg";

constexpr UINT SettleDelay = 300; // ms after the last change of a burst

// Defined by value: the headers declare the first two without a definition to link,
// and the UI Automation property not at all.
constexpr GUID AccPropServicesClass = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr GUID AccPropServicesInterface = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID LiveSettingProperty = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
// A reader need not finish its last sentence before it tells a change the user has
// just made.
constexpr LONG AssertiveLiveSetting = 2;

constexpr int MDT_EFFECTIVE_DPI = 0;
using TGetDpiForMonitor = HRESULT(WINAPI *)(HMONITOR, int, UINT *, UINT *);
const auto GetDpiForMonitor =
    reinterpret_cast<TGetDpiForMonitor>(NewerSystemFunction(L"shcore.dll", "GetDpiForMonitor"));

template <int Size> void WriteLabel(HDC Dc, POINT At, const wchar_t (&Text)[Size]) {
  TextOutW(Dc, ScaleForDpi(At.x), ScaleForDpi(At.y), Text, Size - 1);
}

// The frame lies outside BarRect; its inside is filled with the default white
// brush, so the empty part of the bar is white. A frame wider than the pen's one
// pixel looks the same, as the pen is white too.
void PaintBar(HDC Dc) {
  RECT Work = BarRect;
  const int Frame = ScaleForDpi(FrameWidth);
  Rectangle(Dc, Work.left - Frame, Work.top - Frame, Work.right + Frame, Work.bottom + Frame);
  if (!VolumeControl)
    return;
  const DWORD Volume = VolumeControl->GetValue();
  Work.right = Work.left + FilledBarWidth(Volume, Work.right - Work.left);
  FillRect(Dc, &Work, DisplayPalette.Bar);
}

void PaintLabels(HDC Dc) {
  if (LabelFont != nullptr)
    SelectObject(Dc, LabelFont);
  SetBkMode(Dc, TRANSPARENT);
  SetTextColor(Dc, DisplayPalette.Text);
  WriteLabel(Dc, VolumeLabelAt, VolumeLabel);
  if (!MuteControl)
    return;
  if (MuteControl->GetValue() == Muted)
    WriteLabel(Dc, MutedLabelAt, MutedLabel);
  else
    WriteLabel(Dc, UnmutedLabelAt, UnmutedLabel);
}

// The label font for DisplayDpi; the one it replaces is selected in no device
// context, since painting selects it only between BeginPaint and EndPaint.
void SetLabelFont() {
  if (LabelFont != nullptr)
    DeleteObject(LabelFont);
  LabelFont = nullptr;
  if (DisplayDpi == DefaultDpi)
    return;
  LOGFONTW Font = {};
  Font.lfHeight = ScaleForDpi(LabelFontHeight);
  Font.lfWeight = FW_BOLD;
  Font.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(Font.lfFaceName, LabelFontFace, LF_FACESIZE);
  LabelFont = CreateFontIndirectW(&Font);
}

// Above every topmost window that appeared after it, without taking the focus. A
// raise is a round trip to the display server on every change, so it is left out
// while no window at all lies above the display.
void RaiseDisplay() {
  if (GetTopWindow(nullptr) == MainWindow)
    return;
  SetWindowPos(MainWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
}

// The whole percentage of the fader, rounded; no value of it lies halfway between
// two. A fader that reports more than its top counts as full, as the bar does.
UINT LevelPercent(DWORD Volume) {
  const DWORD Top = FaderMax;
  return static_cast<UINT>(((Volume < Top ? Volume : Top) * FullPercent + Top / 2) / Top);
}

void DescribeDisplay() {
  const DWORD Volume = VolumeControl ? VolumeControl->GetValue() : 0;
  const bool IsMuted = MuteControl && MuteControl->GetValue() == Muted;
  TResourceString Text = {};
  wsprintfW(Text.Text, LoadResourceString(IsMuted ? IDS_LEVEL_MUTED : IDS_LEVEL),
            LevelPercent(Volume));
  SetWindowTextW(MainWindow, Text);
}

bool HighContrastOn() {
  HIGHCONTRASTW Contrast = {};
  Contrast.cbSize = sizeof Contrast;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof Contrast, &Contrast, 0) &&
         (Contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

// The empty bar takes the window's colour under high contrast; otherwise it is the
// white of the device context's default brush, selected by name.
void ChooseDisplayPalette() {
  if (HighContrastPen != nullptr)
    DeleteObject(HighContrastPen);
  HighContrastPen = nullptr;
  if (!HighContrastOn()) {
    DisplayPalette = {BackgroundBrush, BarBrush, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)),
                      FramePen, TextColour};
    return;
  }
  const COLORREF Text = GetSysColor(COLOR_WINDOWTEXT);
  HighContrastPen = CreatePen(PS_SOLID, 1, Text);
  DisplayPalette = {GetSysColorBrush(COLOR_WINDOW), GetSysColorBrush(COLOR_HIGHLIGHT),
                    GetSysColorBrush(COLOR_WINDOW), HighContrastPen, Text};
}

// The effective DPI of a monitor from Windows 8.1 on; before, the one DPI of the
// whole system.
UINT MonitorDpi(HMONITOR Monitor) {
  UINT DpiX = 0;
  UINT DpiY = 0;
  if (GetDpiForMonitor != nullptr &&
      SUCCEEDED(GetDpiForMonitor(Monitor, MDT_EFFECTIVE_DPI, &DpiX, &DpiY)))
    return DpiX;
  const HDC Screen = GetDC(nullptr);
  const int Dpi = GetDeviceCaps(Screen, LOGPIXELSX);
  ReleaseDC(nullptr, Screen);
  return Dpi > 0 ? static_cast<UINT>(Dpi) : DefaultDpi;
}

// The monitor the display goes to and its DPI; Area is the whole monitor for the
// top-left corner and its work area for the others, so the taskbar stays visible.
UINT DisplayArea(RECT &Area) {
  POINT Pointer = {0, 0};
  if (Settings[DISPLAY_MONITOR] != 0)
    GetCursorPos(&Pointer);
  const HMONITOR Monitor = MonitorFromPoint(Pointer, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO Info = {};
  Info.cbSize = sizeof Info;
  GetMonitorInfoW(Monitor, &Info);
  Area = Settings[DISPLAY_CORNER] == TOP_LEFT ? Info.rcMonitor : Info.rcWork;
  return MonitorDpi(Monitor);
}

} // namespace

void CreateDisplayObjects() {
  BackgroundBrush = CreateSolidBrush(BackgroundColour);
  BarBrush = CreateSolidBrush(BarColour);
  FramePen = CreatePen(PS_SOLID, 1, FrameColour);
  ChooseDisplayPalette();
}

void SetBarRect() {
  BarRect = RECT{ScaleForDpi(BarBounds.left), ScaleForDpi(BarBounds.top),
                 ScaleForDpi(BarBounds.right), ScaleForDpi(BarBounds.bottom)};
}

UINT PrimaryMonitorDpi() {
  return MonitorDpi(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
}

// The default place is the primary screen's top-left corner, the desktop's origin,
// whatever the monitors report.
void PlaceDisplay() {
  RECT Area = {};
  const UINT Dpi = Settings[DISPLAY_MONITOR] == 0 && Settings[DISPLAY_CORNER] == TOP_LEFT
                       ? PrimaryMonitorDpi()
                       : DisplayArea(Area);
  if (Dpi != DisplayDpi)
    SetDisplayDpi(Dpi);
  const DWORD Corner = Settings[DISPLAY_CORNER];
  const int X = Corner == TOP_RIGHT || Corner == BOTTOM_RIGHT
                    ? Area.right - ScaleForDpi(DisplayWidth)
                    : Area.left;
  const int Y = Corner >= BOTTOM_LEFT ? Area.bottom - ScaleForDpi(DisplayHeight) : Area.top;
  SetWindowPos(MainWindow, nullptr, X, Y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The window keeps its place and only changes its size.
void SetDisplayDpi(UINT Dpi) {
  DisplayDpi = Dpi;
  SetBarRect();
  SetLabelFont();
  SetWindowPos(MainWindow, nullptr, 0, 0, ScaleForDpi(DisplayWidth), ScaleForDpi(DisplayHeight),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(MainWindow, nullptr, TRUE);
}

// Rounded half away from zero, the same way for every size and position.
int ScaleForDpi(int Pixels) {
  return MulDiv(Pixels, static_cast<int>(DisplayDpi), static_cast<int>(DefaultDpi));
}

// The width is clamped to the bar: a fader that reports more than 65535 must not
// paint over the frame or the text.
int FilledBarWidth(DWORD Volume, int BarWidth) {
  const double Filled = std::nearbyint(static_cast<double>(Volume) / (FaderSpan / BarWidth));
  if (Filled < 0)
    return 0;
  return Filled > BarWidth ? BarWidth : static_cast<int>(Filled);
}

// Shown without activation: the display must never take the keyboard focus from
// the window the user is typing in. A display time of 0 keeps it hidden, and only a
// screen reader is told.
void ShowDisplay(TChangeKind Change) {
  if (IsWindowVisible(MainWindow)) {
    InvalidateRect(MainWindow, Change == CHANGE_VOLUME ? &BarRect : nullptr, TRUE);
  } else if (HideDelay != 0) {
    if (Settings[DISPLAY_MONITOR] != 0)
      PlaceDisplay();
    ShowWindow(MainWindow, SW_SHOWNOACTIVATE);
    InvalidateRect(MainWindow, nullptr, TRUE);
    StartHideTimer();
  }
  if (HideDelay != 0) {
    RaiseDisplay();
    // Paint now, before the caller returns, not whenever the queue gets to it.
    SendMessageW(MainWindow, WM_PAINT, 0, 0);
  }
  // The words wait for the burst to settle as well: a step reads no control twice.
  SetTimer(MainWindow, ANNOUNCE_TIMER_ID, SettleDelay, nullptr);
}

// While the controls are off the display stays until they are on again.
void StartHideTimer() {
  if (Enabled && IsWindowVisible(MainWindow))
    SetTimer(MainWindow, HIDE_TIMER_ID, HideTimerPeriod, nullptr);
}

void PaintDisplay(HWND Window) {
  PAINTSTRUCT Paint = {};
  const HDC Dc = BeginPaint(Window, &Paint);
  SelectObject(Dc, DisplayPalette.Frame);
  SelectObject(Dc, DisplayPalette.EmptyBar);
  RECT Client = {};
  GetClientRect(Window, &Client);
  FillRect(Dc, &Client, DisplayPalette.Background);
  PaintBar(Dc);
  PaintLabels(Dc);
  EndPaint(Window, &Paint);
}

// A display hidden some other way needs the timer no more than one hidden here.
void HideDisplayWhenDue() {
  const bool Visible = IsWindowVisible(MainWindow);
  if (Visible && GetTickCount() - LastChangeTick <= HideDelay)
    return;
  KillTimer(MainWindow, HIDE_TIMER_ID);
  if (Visible)
    ShowWindow(MainWindow, SW_HIDE);
}

// Called whenever a setting or the system's colours change: high contrast may have
// been switched on or off.
void FollowSystemColours() {
  ChooseDisplayPalette();
  InvalidateRect(MainWindow, nullptr, TRUE);
}

void AnnounceChange() {
  KillTimer(MainWindow, ANNOUNCE_TIMER_ID);
  DescribeDisplay();
  NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, MainWindow, OBJID_CLIENT, CHILDID_SELF);
}

// Narrator reads a live region's name when told it changed. The property is
// Windows 8's: an older system, or one without the service, refuses it, and the
// display is then read by readers that follow the event alone.
void MarkDisplayLive() {
  if (!ComStarted)
    return;
  TComPtr<IAccPropServices> Services;
  if (FAILED(CoCreateInstance(AccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER,
                              AccPropServicesInterface, Services.OutVoid())))
    return;
  VARIANT Setting = {};
  Setting.vt = VT_I4;
  Setting.lVal = AssertiveLiveSetting;
  Services->SetHwndProp(MainWindow, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                        LiveSettingProperty, Setting);
}
