// morvask.dll: the system-wide low-level mouse hook, on a thread of its own. A
// low-level hook runs on the thread that installed it, and the whole desktop's mouse
// waits for it: this thread does nothing else, so an event never waits for the
// program's thread longer than one bounded hand-off of a wheel turn.
//
// Windows removes a hook that was once too slow, without a word. The same thread
// also takes the mouse's raw input, which keeps coming whatever becomes of the hook:
// raw input that the hook does not see is the only sign that it is gone.
#include "morvaskint.h"

namespace {

// A turn the hook waits on is one slot word: its ticket, and in the low bits how far
// the program has got with it. Every change is one interlocked operation, so the
// hook and the program's thread can never both own the turn, and a claim of a ticket
// the hook no longer waits on fails.
constexpr LONG PhaseBits = 2;
constexpr LONG Waiting = 0;
constexpr LONG Claimed = 1;
constexpr LONG Swallowed = 2;
constexpr LONG PassedOn = 3;
constexpr LONG MaxTicket = MAXLONG >> PhaseBits;
constexpr LONG Empty = 0; // no ticket is 0

// Far below the system's own time-out for a low-level hook (at most one second),
// after which it would remove the hook without a word.
constexpr UINT HandOffTimeout = 50; // ms
// A claimed turn is answered within microseconds; the bound only matters for a
// program thread stopped between its claim and its answer.
constexpr DWORD AnswerWait = 50; // ms

// A hook that is in place sees each event that raw input reports, in either order:
// this many reports in a row without a hook event tell that it is gone.
constexpr LONG UnseenInputLimit = 4;
constexpr USHORT GenericDesktopPage = 1;
constexpr USHORT MouseUsage = 2;
constexpr char InputClassName[] = "MorvaskRawInput";
// The thread's procedures need a few hundred bytes; the program's default reservation
// would cost a couple of megabytes of address space and page tables.
constexpr SIZE_T HookThreadStack = 64 * 1024;

HINSTANCE Module;
HANDLE HookThread;
DWORD HookThreadId;
int HookKind;
HWND Target;
UINT TargetMessage;
HANDLE HookReady;
bool HookInstalled;

// Of the hook thread alone, but for the slot and the count.
HHOOK Hook;
MSLLHOOKSTRUCT Turn; // the turn of the slot's ticket, unchanged until the slot is closed
LONG LastTicket;
bool HandingOff;
HWND InputWindow; // the raw input's target, message-only
LONG EventsAtLastInput;

volatile LONG Slot;
volatile LONG EventCount;
volatile LONG UnseenInputs; // raw input reports in a row that the hook has not seen

LONG SlotWord(LPARAM Ticket, LONG Phase) { return static_cast<LONG>(Ticket) << PhaseBits | Phase; }

bool IsTicket(LPARAM Ticket) { return Ticket > 0 && Ticket <= MaxTicket; }

LONG NextTicket() {
  LastTicket = LastTicket == MaxTicket ? 1 : LastTicket + 1;
  return LastTicket;
}

// Whatever state the slot is in, one exchange ends it: a ticket still unclaimed, or
// claimed and not answered, is abandoned, and the program's later step on it fails.
bool CloseSlot(LONG Ticket) {
  const DWORD Start = GetTickCount();
  // Any pause at all, not Sleep(0): on XP that yields only to threads of this one's
  // priority, and the program's thread may run at a lower one.
  while (Slot == SlotWord(Ticket, Claimed) && GetTickCount() - Start < AnswerWait)
    Sleep(1);
  return InterlockedExchange(&Slot, Empty) == SlotWord(Ticket, Swallowed);
}

bool HandOff(const MSLLHOOKSTRUCT &Event) {
  HandingOff = true;
  Turn = Event;
  const LONG Ticket = NextTicket();
  InterlockedExchange(&Slot, SlotWord(Ticket, Waiting));
  DWORD_PTR Answer = 0;
  SendMessageTimeoutA(Target, TargetMessage, WM_MOUSEWHEEL, Ticket, SMTO_ABORTIFHUNG,
                      HandOffTimeout, &Answer);
  const bool Swallow = CloseSlot(Ticket);
  HandingOff = false;
  return Swallow;
}

// A turn that arrives while another is being handed off (the wait lets the thread
// take the system's next call) goes on: the slot holds one turn.
LRESULT CALLBACK ReportMouseEvent(int Code, WPARAM Message, LPARAM Event) {
  if (Code == HC_ACTION) {
    InterlockedIncrement(&EventCount);
    if (Message == WM_MOUSEWHEEL && !HandingOff &&
        HandOff(*reinterpret_cast<const MSLLHOOKSTRUCT *>(Event)))
      return 1;
  }
  return CallNextHookEx(Hook, Code, Message, Event);
}

// Without the window or the registration the hook runs on unwatched. A plain class
// of the library's own: a system control class here made the process megabytes
// larger under Wine. A later hook's thread finds it registered already.
void WatchRawInput() {
  WNDCLASSA Class = {};
  Class.lpfnWndProc = DefWindowProcA;
  Class.hInstance = Module;
  Class.lpszClassName = InputClassName;
  RegisterClassA(&Class);
  InputWindow = CreateWindowExA(0, InputClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                Module, nullptr);
  const RAWINPUTDEVICE Mouse = {GenericDesktopPage, MouseUsage, RIDEV_INPUTSINK, InputWindow};
  if (InputWindow != nullptr)
    RegisterRawInputDevices(&Mouse, 1, sizeof Mouse);
}

// The registration is the process's, not the window's: it must not outlive the window.
void EndRawInput() {
  const RAWINPUTDEVICE Mouse = {GenericDesktopPage, MouseUsage, RIDEV_REMOVE, nullptr};
  RegisterRawInputDevices(&Mouse, 1, sizeof Mouse);
  DestroyWindow(InputWindow);
  InputWindow = nullptr;
}

// The program is told once per run of unseen reports, and again while they go on, so
// that it can put the hook back as soon as its own limit on reinstalls allows.
void NoteRawInput() {
  const LONG Events = EventCount;
  UnseenInputs = Events == EventsAtLastInput ? UnseenInputs + 1 : 0;
  EventsAtLastInput = Events;
  if (UnseenInputs > 0 && UnseenInputs % UnseenInputLimit == 0)
    PostMessageA(Target, TargetMessage, WM_INPUT, 0);
}

DWORD WINAPI RunHook(LPVOID) {
  MSG Message;
  // The queue must exist before SetHook returns, or FreeHook's quit could be lost.
  PeekMessageA(&Message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  Hook = SetWindowsHookExA(HookKind, ReportMouseEvent, Module, 0);
  HookInstalled = Hook != nullptr;
  if (HookInstalled)
    WatchRawInput();
  SetEvent(HookReady);
  if (Hook == nullptr)
    return 0;
  // Only the quit ends the loop; the hook's calls come in while it waits. The
  // window's default handling frees each raw input.
  while (GetMessageA(&Message, nullptr, 0, 0) > 0) {
    if (Message.message == WM_INPUT)
      NoteRawInput();
    DispatchMessageA(&Message);
  }
  EndRawInput();
  UnhookWindowsHookEx(Hook);
  Hook = nullptr;
  return 0;
}

void EndHookThread() {
  WaitForSingleObject(HookThread, INFINITE);
  CloseHandle(HookThread);
  HookThread = nullptr;
}

} // namespace

BOOLEAN __cdecl SetHook(int Kind, HWND Window, UINT Message) {
  FreeHook();
  HookKind = Kind;
  Target = Window;
  TargetMessage = Message;
  HookReady = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (HookReady == nullptr)
    return FALSE;
  HookInstalled = false;
  UnseenInputs = 0;
  HookThread = CreateThread(nullptr, HookThreadStack, RunHook, nullptr,
                            STACK_SIZE_PARAM_IS_A_RESERVATION, &HookThreadId);
  if (HookThread != nullptr)
    WaitForSingleObject(HookReady, INFINITE);
  CloseHandle(HookReady);
  if (HookThread != nullptr && !HookInstalled)
    EndHookThread();
  return HookInstalled;
}

// The program's thread waits here without taking sent messages: a hand-off in
// flight runs into its time-out, and the thread then reads its quit.
void __cdecl FreeHook() {
  if (HookThread == nullptr)
    return;
  PostThreadMessageA(HookThreadId, WM_QUIT, 0, 0);
  EndHookThread();
  HookInstalled = false;
}

BOOLEAN __cdecl ClaimHookRecord(LPARAM Ticket, MSLLHOOKSTRUCT *Record) {
  if (!IsTicket(Ticket) ||
      InterlockedCompareExchange(&Slot, SlotWord(Ticket, Claimed), SlotWord(Ticket, Waiting)) !=
          SlotWord(Ticket, Waiting))
    return FALSE;
  *Record = Turn;
  return TRUE;
}

BOOLEAN __cdecl AnswerHookRecord(LPARAM Ticket, BOOLEAN Swallow) {
  const LONG Answer = SlotWord(Ticket, Swallow ? Swallowed : PassedOn);
  return IsTicket(Ticket) && InterlockedCompareExchange(&Slot, Answer, SlotWord(Ticket, Claimed)) ==
                                 SlotWord(Ticket, Claimed);
}

DWORD __cdecl HookEventCount() { return static_cast<DWORD>(EventCount); }

BOOLEAN __cdecl HookLost() { return HookInstalled && UnseenInputs >= UnseenInputLimit; }

// The library's entry in place of the C runtime's, which it does without: it keeps
// the module handle for SetWindowsHookExA and asks for no thread notifications.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE Instance, DWORD Reason, LPVOID) {
  if (Reason == DLL_PROCESS_ATTACH) {
    Module = Instance;
    DisableThreadLibraryCalls(Instance);
  }
  return TRUE;
}
