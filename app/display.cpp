// The on-screen display: MainWindow itself, a 150x60 topmost popup that shows the
// volume as a green bar and the mute state as text.
#include "main.h"

#include <cmath>

HBRUSH BackgroundBrush;
HBRUSH BarBrush;
HPEN FramePen;
RECT BarRect;

namespace {

constexpr COLORREF BackgroundColour = RGB(20, 20, 140);
constexpr COLORREF BarColour = RGB(0, 255, 0);
constexpr COLORREF FrameColour = RGB(255, 255, 255);
constexpr COLORREF TextColour = RGB(255, 255, 255);
constexpr RECT BarBounds = {20, 30, 130, 40};
constexpr double FaderSpan = 65536.0;

constexpr char VolumeLabel[] = "Volume";
constexpr char MutedLabel[] = "Mute";
constexpr char UnmutedLabel[] = "ON";
constexpr POINT VolumeLabelAt = {10, 5};
constexpr POINT MutedLabelAt = {100, 5};
constexpr POINT UnmutedLabelAt = {110, 5};

template <int Size> void WriteLabel(HDC Dc, POINT At, const char (&Text)[Size]) {
  TextOutA(Dc, At.x, At.y, Text, Size - 1);
}

// The frame lies one pixel outside BarRect; its inside is filled with the default
// white brush, so the empty part of the bar is white.
void PaintBar(HDC Dc) {
  RECT Work = BarRect;
  Rectangle(Dc, Work.left - 1, Work.top - 1, Work.right + 1, Work.bottom + 1);
  if (!VolumeControl)
    return;
  const DWORD Volume = VolumeControl->GetValue();
  Work.right = Work.left + FilledBarWidth(Volume, Work.right - Work.left);
  FillRect(Dc, &Work, BarBrush);
}

void PaintLabels(HDC Dc) {
  SetBkMode(Dc, TRANSPARENT);
  SetTextColor(Dc, TextColour);
  WriteLabel(Dc, VolumeLabelAt, VolumeLabel);
  if (!MuteControl)
    return;
  if (MuteControl->GetValue() == Muted)
    WriteLabel(Dc, MutedLabelAt, MutedLabel);
  else
    WriteLabel(Dc, UnmutedLabelAt, UnmutedLabel);
}

} // namespace

void CreateDisplayObjects() {
  BackgroundBrush = CreateSolidBrush(BackgroundColour);
  BarBrush = CreateSolidBrush(BarColour);
  FramePen = CreatePen(PS_SOLID, 1, FrameColour);
}

void SetBarRect() { BarRect = BarBounds; }

// The width is clamped to the bar: a fader that reports more than 65535 must not
// paint over the frame or the text.
int FilledBarWidth(DWORD Volume, int BarWidth) {
  const double Filled = std::nearbyint(static_cast<double>(Volume) / (FaderSpan / BarWidth));
  if (Filled < 0)
    return 0;
  return Filled > BarWidth ? BarWidth : static_cast<int>(Filled);
}

// Shown without activation: the display must never take the keyboard focus from
// the window the user is typing in.
void ShowDisplay(TChangeKind Change) {
  if (IsWindowVisible(MainWindow)) {
    InvalidateRect(MainWindow, Change == CHANGE_VOLUME ? &BarRect : nullptr, TRUE);
  } else {
    ShowWindow(MainWindow, SW_SHOWNOACTIVATE);
    InvalidateRect(MainWindow, nullptr, TRUE);
  }
  // Paint now, before the caller returns, not whenever the queue gets to it.
  SendMessageA(MainWindow, WM_PAINT, 0, 0);
}

void PaintDisplay(HWND Window) {
  PAINTSTRUCT Paint = {};
  const HDC Dc = BeginPaint(Window, &Paint);
  SelectObject(Dc, FramePen);
  RECT Client = {};
  GetClientRect(Window, &Client);
  FillRect(Dc, &Client, BackgroundBrush);
  PaintBar(Dc);
  PaintLabels(Dc);
  EndPaint(Window, &Paint);
}

void HideDisplayWhenDue() {
  if (!IsWindowVisible(MainWindow))
    return;
  if (GetTickCount() - LastChangeTick > HideDelay) {
    Step = MinStep;
    ShowWindow(MainWindow, SW_HIDE);
  }
}
