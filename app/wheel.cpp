// The mouse wheel at the edges of the primary screen, or anywhere with Shift held.
// HandleHookMouse runs for every mouse event of the desktop while the hook is in
// place: anything that is not a wheel turn must leave at the first test.
#include "main.h"

namespace {

constexpr SHORT KeyDownBit = static_cast<SHORT>(0x8000);

// MinGW's NtCurrentTeb reads fs:[0x18] through a null-based pointer, which GCC's
// bounds checker takes for an overrun.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif
const NT_TIB *ThreadInformation() { return reinterpret_cast<const NT_TIB *>(NtCurrentTeb()); }
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// Positions off the primary screen (another monitor around it) count as border.
bool IsAtScreenBorder(LONG X, LONG Y) {
  return X < BorderWidth || Y < BorderWidth || ScreenWidth - X < BorderWidth ||
         ScreenHeight - Y < BorderWidth;
}

// WM_HOOKMOUSE carries a raw address and any process may send or post that number.
// The hook library sends it from this very thread (low-level hooks run on the
// installing thread) with a copy of the event on its own stack, so anything sent
// from elsewhere, or pointing outside the live part of this thread's stack, is
// not ours and must not be read.
bool IsOwnHookRecord(LPARAM MouseRecord) {
  if (InSendMessage())
    return false;
  const NT_TIB *Tib = ThreadInformation();
  const auto Address = static_cast<ULONG_PTR>(MouseRecord);
  const auto LiveTop = reinterpret_cast<ULONG_PTR>(&Tib);
  const auto Base = reinterpret_cast<ULONG_PTR>(Tib->StackBase);
  return Address > LiveTop && Address <= Base - sizeof(MSLLHOOKSTRUCT);
}

} // namespace

void HandleHookMouse(WPARAM MouseMessage, LPARAM MouseRecord) {
  if (MouseMessage != WM_MOUSEWHEEL || !IsOwnHookRecord(MouseRecord))
    return;
  const auto &Event = *reinterpret_cast<const MSLLHOOKSTRUCT *>(MouseRecord);
  if (!IsAtScreenBorder(Event.pt.x, Event.pt.y) && !(GetKeyState(VK_SHIFT) & KeyDownBit))
    return;
  if (GET_WHEEL_DELTA_WPARAM(Event.mouseData) > 0)
    VolumeUp();
  else
    VolumeDown();
}
