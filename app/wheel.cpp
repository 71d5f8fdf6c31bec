// The mouse wheel at the edges of the primary screen, or anywhere with Shift held.
// HandleHookMouse runs for every mouse event of the desktop while the hook is in
// place: anything that is not a wheel turn must leave at the first test.
#include "main.h"

#include "morvaskint.h"

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
void HandleHookMouse(WPARAM MouseMessage, LPARAM MouseRecord) {
  if (MouseMessage != WM_MOUSEWHEEL || !ClaimHookRecord(MouseRecord))
    return;
  const auto &Event = *reinterpret_cast<const MSLLHOOKSTRUCT *>(MouseRecord);
  if (!IsAtScreenBorder(Event.pt.x, Event.pt.y) && !(GetKeyState(VK_SHIFT) & KeyDownBit))
    return;
  if (GET_WHEEL_DELTA_WPARAM(Event.mouseData) > 0)
    VolumeUp();
  else
    VolumeDown();
}
