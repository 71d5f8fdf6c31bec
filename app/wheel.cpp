// The mouse wheel at the outer edges of the desktop, or anywhere with Shift held.
// HandleHookMouse runs for every mouse event of the desktop while the hook is in
// place, and the whole desktop's mouse waits for it: it only decides, and hands the
// step itself to a posted message.
#include "main.h"

#include "morvaskint.h"

DWORD WheelStepsPending;

RECT OtherMonitors[MaxOtherMonitors];
int OtherMonitorCount;

static BOOL CALLBACK AddOtherMonitor(HMONITOR Monitor, HDC, LPRECT, LPARAM) {
  MONITORINFO Info = {};
  Info.cbSize = sizeof Info;
  if (GetMonitorInfoA(Monitor, &Info) && !(Info.dwFlags & MONITORINFOF_PRIMARY) &&
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
// messages, so the key state of its own thread never sees Shift go down.
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

// The message carries a raw address, and any process can send or post its number:
// the record is read only after the hook library has vouched for that address.
bool HandleHookMouse(WPARAM MouseMessage, LPARAM MouseRecord) {
  if (!ClaimHookRecord(MouseRecord))
    return false;
  HookReported = true;
  if (MouseMessage != WM_MOUSEWHEEL)
    return false;
  const auto &Event = *reinterpret_cast<const MSLLHOOKSTRUCT *>(MouseRecord);
  if (!IsAtScreenBorder(Event.pt.x, Event.pt.y) && !(GetAsyncKeyState(VK_SHIFT) & KeyDownBit))
    return false;
  const WPARAM Direction =
      GET_WHEEL_DELTA_WPARAM(Event.mouseData) > 0 ? WHEEL_STEP_UP : WHEEL_STEP_DOWN;
  // A full queue loses the step; the turn then goes on to the window under the
  // pointer as if the program had not been there.
  if (!PostMessageA(MainWindow, WM_WHEELSTEP, Direction, 0))
    return false;
  ++WheelStepsPending;
  return true;
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
