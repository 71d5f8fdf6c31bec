// The mouse wheel at the edges of the primary screen, or anywhere with Shift held.
// HandleHookMouse runs for every mouse event of the desktop while the hook is in
// place, and the whole desktop's mouse waits for it: it only decides, and hands the
// step itself to a posted message.
#include "main.h"

#include "morvaskint.h"

DWORD WheelStepsPending;

namespace {

constexpr SHORT KeyDownBit = static_cast<SHORT>(0x8000);

// Positions off the primary screen (another monitor around it) count as border.
bool IsAtScreenBorder(LONG X, LONG Y) {
  return X < BorderWidth || Y < BorderWidth || ScreenWidth - X < BorderWidth ||
         ScreenHeight - Y < BorderWidth;
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
  if (!IsAtScreenBorder(Event.pt.x, Event.pt.y) && !(GetKeyState(VK_SHIFT) & KeyDownBit))
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
