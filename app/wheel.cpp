// The mouse wheel at the outer edges of the desktop, or anywhere with the wheel's
// modifier (Shift unless set otherwise) held.
// HandleHookMouse runs for every wheel turn of the desktop while the hook is in
// place, and the turn waits for it: it only decides, and hands the steps themselves
// to posted messages.
#include "main.h"

#include "morvaskint.h"

DWORD WheelStepsPending;
int WheelRemainder;
DWORD WheelRemainderTime;

RECT OtherMonitors[MaxOtherMonitors];
int OtherMonitorCount;
POINT TrayPointer;
DWORD TrayPointerTick;
RECT TrayIconArea;

static BOOL CALLBACK AddOtherMonitor(HMONITOR Monitor, HDC, LPRECT, LPARAM) {
  MONITORINFO Info = {};
  Info.cbSize = sizeof Info;
  if (GetMonitorInfoW(Monitor, &Info) && !(Info.dwFlags & MONITORINFOF_PRIMARY) &&
      OtherMonitorCount < MaxOtherMonitors)
    OtherMonitors[OtherMonitorCount++] = Info.rcMonitor;
  return TRUE;
}

// Kept from one display change to the next, so that the border test makes no
// system call for the wheel events it sees.
void TakeMonitorLayout() {
  OtherMonitorCount = 0;
  EnumDisplayMonitors(nullptr, nullptr, AddOtherMonitor, 0);
}

namespace {

// Of the key as the user holds it: a background program reads no keyboard
// messages, so the key state of its own thread never sees the modifier go down.
constexpr SHORT KeyDownBit = static_cast<SHORT>(0x8000);

bool Contains(const RECT &Monitor, LONG X, LONG Y) {
  return X >= Monitor.left && X < Monitor.right && Y >= Monitor.top && Y < Monitor.bottom;
}

// The primary monitor's top-left corner is the origin of the desktop.
RECT PrimaryMonitor() { return RECT{0, 0, ScreenWidth, ScreenHeight}; }

const RECT *MonitorAt(LONG X, LONG Y, const RECT &Primary) {
  if (Contains(Primary, X, Y))
    return &Primary;
  for (int Index = 0; Index < OtherMonitorCount; ++Index)
    if (Contains(OtherMonitors[Index], X, Y))
      return &OtherMonitors[Index];
  return nullptr;
}

// An edge is outer where the pixel just beyond it lies on no monitor; an edge
// shared with a neighbour is not border. A position on no monitor at all counts
// as border, as everything off the one screen does on a single monitor. The
// comparisons are those of the one-screen bands: four pixels at the left and top,
// three at the right and bottom.
bool IsAtScreenBorder(LONG X, LONG Y) {
  const RECT Primary = PrimaryMonitor();
  const RECT *Monitor = MonitorAt(X, Y, Primary);
  if (Monitor == nullptr)
    return true;
  const auto Outer = [&](LONG OutX, LONG OutY) {
    return MonitorAt(OutX, OutY, Primary) == nullptr;
  };
  return (X - Monitor->left < BorderWidth && Outer(Monitor->left - 1, Y)) ||
         (Y - Monitor->top < BorderWidth && Outer(X, Monitor->top - 1)) ||
         (Monitor->right - X < BorderWidth && Outer(Monitor->right, Y)) ||
         (Monitor->bottom - Y < BorderWidth && Outer(X, Monitor->bottom));
}

} // namespace

namespace {

// NOTIFYICONIDENTIFIER of Windows 7, newer than the headers' target.
struct TNotifyIconIdentifier {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  GUID guidItem;
};
using TShellNotifyIconGetRect = HRESULT(WINAPI *)(const TNotifyIconIdentifier *, RECT *);
const auto ShellNotifyIconGetRect = reinterpret_cast<TShellNotifyIconGetRect>(
    NewerSystemFunction(L"shell32.dll", "Shell_NotifyIconGetRect"));

// Once a turn finds the pointer off the icon, the icon counts no more until the next
// move over it: an icon in an overflow flyout that has closed leaves nothing behind.
bool OverTrayIcon(const POINT &At) {
  const bool Over = Settings[TRAY_WHEEL] != 0 && Contains(TrayIconArea, At.x, At.y) &&
                    ((At.x == TrayPointer.x && At.y == TrayPointer.y) ||
                     GetTickCount() - TrayPointerTick <= TrayHoverTime);
  if (!Over)
    TrayIconArea = {};
  return Over;
}

bool TakesTurn(const MSLLHOOKSTRUCT &Event) {
  const int Modifier = static_cast<int>(Settings[WHEEL_MODIFIER]);
  return (Settings[EDGE_WHEEL] != 0 && IsAtScreenBorder(Event.pt.x, Event.pt.y)) ||
         OverTrayIcon(Event.pt) || (Modifier != 0 && (GetAsyncKeyState(Modifier) & KeyDownBit));
}

// Fine-grained wheels send a notch as several smaller turns: their deltas add up,
// and each whole WHEEL_DELTA is one step. A part left over waits for the next turn
// the same way; a reversal or a wheel at rest drops it.
int WholeNotches(int Delta, DWORD Time) {
  const bool Reversed = (WheelRemainder < 0) != (Delta < 0);
  if (Reversed || Time - WheelRemainderTime > WheelRestTime)
    WheelRemainder = 0;
  WheelRemainder += Delta;
  WheelRemainderTime = Time;
  const int Notches = WheelRemainder / WHEEL_DELTA;
  WheelRemainder %= WHEEL_DELTA;
  return Notches;
}

// A full queue loses the steps it has no room for; the turn is swallowed all the same.
void PostWheelSteps(int Notches) {
  const WPARAM Direction = Notches > 0 ? WHEEL_STEP_UP : WHEEL_STEP_DOWN;
  for (int Left = Notches > 0 ? Notches : -Notches; Left > 0; --Left) {
    if (!PostMessageW(MainWindow, WM_WHEELSTEP, Direction, 0))
      return;
    ++WheelStepsPending;
  }
}

} // namespace

// The message carries a ticket, and any process can send or post its number: the
// turn is read from the hook library, and acted on only once the library has taken
// the answer, that is, only for a turn it really swallows. A turn of delta 0 is
// swallowed where the program takes turns, and changes nothing.
bool HandleHookMouse(WPARAM MouseMessage, LPARAM Ticket) {
  // The library's report of mouse input that its hook has not seen.
  if (MouseMessage == WM_INPUT) {
    WatchHook();
    return false;
  }
  MSLLHOOKSTRUCT Event = {};
  if (!ClaimHookRecord(Ticket, &Event))
    return false;
  const bool Take = MouseMessage == WM_MOUSEWHEEL && TakesTurn(Event);
  if (!AnswerHookRecord(Ticket, Take) || !Take)
    return false;
  const int Turn = GET_WHEEL_DELTA_WPARAM(Event.mouseData);
  const int Delta = Settings[REVERSE_WHEEL] != 0 ? -Turn : Turn;
  if (Delta != 0)
    PostWheelSteps(WholeNotches(Delta, Event.time));
  return true;
}

// The message of a move tells no position: the pointer is read as it is handled. The
// shell's rectangle counts only where it holds the pointer: it describes the icon on
// the main taskbar, not one on another monitor's. Without it the icon is taken to
// reach as far as its size around the pointer: moves within it keep coming, but their
// messages may reach the program after a turn that followed them.
void FollowTrayPointer() {
  POINT &At = TrayPointer;
  GetCursorPos(&At);
  TrayPointerTick = GetTickCount();
  const TNotifyIconIdentifier Icon = {sizeof Icon, MainWindow, TrayIconData.uID, {}};
  if (ShellNotifyIconGetRect == nullptr || FAILED(ShellNotifyIconGetRect(&Icon, &TrayIconArea)) ||
      !Contains(TrayIconArea, At.x, At.y))
    TrayIconArea = {At.x - TrayImageSize, At.y - TrayImageSize, At.x + TrayImageSize,
                    At.y + TrayImageSize};
}

void TakeWheelStep(WPARAM Direction) {
  if (WheelStepsPending == 0)
    return;
  --WheelStepsPending;
  if (Direction == WHEEL_STEP_UP)
    VolumeUp();
  else if (Direction == WHEEL_STEP_DOWN)
    VolumeDown();
}
