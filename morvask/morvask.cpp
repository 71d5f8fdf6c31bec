// morvask.dll: the system-wide low-level mouse hook. A low-level hook runs on the
// thread that installed it, so every report is a same-thread SendMessage that the
// program answers before the event goes on. The whole desktop's mouse waits for that
// answer, so the program only decides there and acts later.
#include "morvaskint.h"

namespace {

HHOOK Hook;
HWND Target;
UINT TargetMessage;
LPARAM Unclaimed; // the record being reported, until the program claims it

LRESULT CALLBACK ReportMouseEvent(int Code, WPARAM Message, LPARAM Event) {
  if (Code == HC_ACTION) {
    // Restored afterwards, in case the program's handling lets a nested event in.
    const LPARAM Outer = Unclaimed;
    Unclaimed = Event;
    const LRESULT Acted = SendMessageA(Target, TargetMessage, Message, Event);
    Unclaimed = Outer;
    // A turn that changed the volume must not also scroll the window under the
    // pointer; every other event goes on to the rest of the desktop.
    if (Acted != 0)
      return Acted;
  }
  return CallNextHookEx(Hook, Code, Message, Event);
}

HINSTANCE ThisModule() {
  HMODULE Module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ReportMouseEvent), &Module);
  return Module;
}

} // namespace

BOOLEAN __cdecl SetHook(int Kind, HWND Window, UINT Message) {
  FreeHook();
  Target = Window;
  TargetMessage = Message;
  Hook = SetWindowsHookExA(Kind, ReportMouseEvent, ThisModule(), 0);
  return Hook != nullptr;
}

void __cdecl FreeHook() {
  if (Hook != nullptr)
    UnhookWindowsHookEx(Hook);
  Hook = nullptr;
}

BOOLEAN __cdecl ClaimHookRecord(LPARAM Record) {
  if (Record == 0 || Record != Unclaimed)
    return FALSE;
  Unclaimed = 0;
  return TRUE;
}
