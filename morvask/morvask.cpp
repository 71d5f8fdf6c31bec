// morvask.dll: the system-wide low-level mouse hook, on a thread of its own. A
// low-level hook runs on the thread that installed it, and the whole desktop's mouse
// waits for it: this thread does nothing else, so an event never waits for the
// program's thread longer than one bounded hand-off of a wheel turn.
//
// Windows removes a hook that was once too slow, without a word. A second thread
// takes the mouse's raw input, which keeps coming whatever becomes of the hook: wheel
// turns that raw input reports and the hook does not see are the sign that it is gone.
// Not the hook's own thread: raw input is queued ahead of the hook's call, and a
// thread it wakes after a rest of some seconds passes for hung when the call comes,
// so the system would skip the hook for that very turn.
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

// A hook that is in place sees each turn that raw input reports, in either order:
// this many reports in a row without a turn seen by the hook tell that it is gone.
// Only turns count: the hook exists for them, and a warp or a move that another
// program injects or keeps from the hook is no sign of anything.
constexpr LONG UnseenTurnLimit = 4;
constexpr DWORD ReportInterval = 1000; // ms at least between two reports
constexpr USHORT GenericDesktopPage = 1;
constexpr USHORT MouseUsage = 2;
constexpr UINT WM_PAUSEWATCH = WM_APP;
// With the code: the library's only constant would otherwise take a section, and a
// page of the file, of its own. Other compilers place it as they will.
#ifdef __GNUC__
[[gnu::section(".text")]]
#endif
constexpr char InputClassName[] = "MorvaskRawInput";

struct TLibraryThread {
  HANDLE Handle;
  DWORD Id;
};

HINSTANCE Module;
int HookKind;
HWND Target;
UINT TargetMessage;
TLibraryThread HookThread; // the newest hook's, which alone acts on a turn
TLibraryThread WatchThread;

// Of the acting hook's thread alone, but for the slot and the counts.
MSLLHOOKSTRUCT Turn; // the turn of the slot's ticket, unchanged until the slot is closed
LONG LastTicket;
volatile LONG HandingOff;

// Of the watching thread alone, but for the count the program reads.
HWND InputWindow; // the raw input's target, message-only
LONG TurnsAtLastReport;
DWORD LastReportTick;

volatile DWORD ActingHookThreadId;
volatile LONG Slot;
volatile LONG EventCount;
volatile LONG TurnCount;
volatile LONG UnseenTurns; // raw wheel reports in a row that the hook has not seen

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
  HandingOff = TRUE;
  Turn = Event;
  const LONG Ticket = NextTicket();
  InterlockedExchange(&Slot, SlotWord(Ticket, Waiting));
  DWORD_PTR Answer = 0;
  SendMessageTimeoutA(Target, TargetMessage, WM_MOUSEWHEEL, Ticket, SMTO_ABORTIFHUNG,
                      HandOffTimeout, &Answer);
  const bool Swallow = CloseSlot(Ticket);
  HandingOff = FALSE;
  return Swallow;
}

// A turn that arrives while another is being handed off (the wait lets the thread
// take the system's next call) goes on: the slot holds one turn. While a new hook
// replaces an old one both are in place, and the old one passes everything on.
LRESULT CALLBACK ReportMouseEvent(int Code, WPARAM Message, LPARAM Event) {
  if (Code == HC_ACTION && GetCurrentThreadId() == ActingHookThreadId) {
    InterlockedIncrement(&EventCount);
    if (Message == WM_MOUSEWHEEL) {
      InterlockedIncrement(&TurnCount);
      if (!HandingOff && HandOff(*reinterpret_cast<const MSLLHOOKSTRUCT *>(Event)))
        return 1;
    }
  }
  return CallNextHookEx(nullptr, Code, Message, Event);
}

// While the program's own window is the foreground, its raw input comes as the
// foreground's, and a process that takes raw input there may get no calls of its own
// low-level hook: the registration is dropped until another program has the foreground.
void WatchRawInput(bool Watch) {
  const RAWINPUTDEVICE Mouse = {GenericDesktopPage, MouseUsage,
                                static_cast<DWORD>(Watch ? RIDEV_INPUTSINK : RIDEV_REMOVE),
                                Watch ? InputWindow : nullptr};
  RegisterRawInputDevices(&Mouse, 1, sizeof Mouse);
  UnseenTurns = 0;
}

// Without the window the hook runs on unwatched. A plain class of the library's own:
// a system control class here made the process megabytes larger under Wine. A later
// watching thread finds it registered already.
void OpenInputWindow() {
  WNDCLASSA Class = {};
  Class.lpfnWndProc = DefWindowProcA;
  Class.hInstance = Module;
  Class.lpszClassName = InputClassName;
  RegisterClassA(&Class);
  InputWindow = CreateWindowExA(0, InputClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                Module, nullptr);
  if (InputWindow != nullptr)
    WatchRawInput(true);
}

bool IsBackgroundTurn(const MSG &Message) {
  RAWINPUT Input = {};
  UINT Size = sizeof Input;
  return GET_RAWINPUT_CODE_WPARAM(Message.wParam) == RIM_INPUTSINK &&
         GetRawInputData(reinterpret_cast<HRAWINPUT>(Message.lParam), RID_INPUT, &Input, &Size,
                         sizeof Input.header) != static_cast<UINT>(-1) &&
         Input.header.dwType == RIM_TYPEMOUSE && (Input.data.mouse.usButtonFlags & RI_MOUSE_WHEEL);
}

// The program is told at most once a second while turns go unseen, so that it can put
// the hook back as soon as its own limit on reinstalls allows.
void NoteRawInput(const MSG &Message) {
  if (!IsBackgroundTurn(Message))
    return;
  const LONG Turns = TurnCount;
  UnseenTurns = Turns == TurnsAtLastReport ? UnseenTurns + 1 : 0;
  TurnsAtLastReport = Turns;
  const DWORD Now = GetTickCount();
  if (UnseenTurns >= UnseenTurnLimit && Now - LastReportTick >= ReportInterval) {
    LastReportTick = Now;
    PostMessageA(Target, TargetMessage, WM_INPUT, 0);
  }
}

// Each thread's queue must exist before its start returns, or the quit that ends
// it could be lost.
void MakeQueue() {
  MSG Message;
  PeekMessageA(&Message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

// Only the quit ends the loop; the window's default handling frees each raw input.
DWORD WINAPI RunWatch(LPVOID Ready) {
  MakeQueue();
  OpenInputWindow();
  SetEvent(Ready);
  MSG Message;
  while (GetMessageA(&Message, nullptr, 0, 0) > 0) {
    if (Message.message == WM_INPUT)
      NoteRawInput(Message);
    else if (Message.message == WM_PAUSEWATCH && InputWindow != nullptr)
      WatchRawInput(Message.wParam == FALSE);
    DispatchMessageA(&Message);
  }
  WatchRawInput(false);
  DestroyWindow(InputWindow);
  InputWindow = nullptr;
  return 0;
}

// Only the quit ends the loop; the hook's calls come in while it waits.
DWORD WINAPI RunHook(LPVOID Ready) {
  MakeQueue();
  const HHOOK Hook = SetWindowsHookExA(HookKind, ReportMouseEvent, Module, 0);
  if (Hook != nullptr)
    ActingHookThreadId = GetCurrentThreadId();
  SetEvent(Ready);
  if (Hook == nullptr)
    return 0;
  MSG Message;
  while (GetMessageA(&Message, nullptr, 0, 0) > 0)
    DispatchMessageA(&Message);
  UnhookWindowsHookEx(Hook);
  return 0;
}

TLibraryThread StartThread(LPTHREAD_START_ROUTINE Run) {
  TLibraryThread Thread = {};
  const HANDLE Ready = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (Ready == nullptr)
    return Thread;
  Thread.Handle = CreateThread(nullptr, 0, Run, Ready, 0, &Thread.Id);
  if (Thread.Handle != nullptr)
    WaitForSingleObject(Ready, INFINITE);
  CloseHandle(Ready);
  return Thread;
}

void EndThread(TLibraryThread &Thread) {
  if (Thread.Handle == nullptr)
    return;
  PostThreadMessageA(Thread.Id, WM_QUIT, 0, 0);
  WaitForSingleObject(Thread.Handle, INFINITE);
  CloseHandle(Thread.Handle);
  Thread = {};
}

} // namespace

// The new hook is in place before the old one goes, so that a turn during a
// reinstall meets one of them, and the watch goes on across it.
BOOLEAN __cdecl SetHook(int Kind, HWND Window, UINT Message) {
  HookKind = Kind;
  Target = Window;
  TargetMessage = Message;
  TLibraryThread Old = HookThread;
  HookThread = StartThread(RunHook);
  EndThread(Old);
  if (HookThread.Handle == nullptr || ActingHookThreadId != HookThread.Id) {
    FreeHook();
    return FALSE;
  }
  UnseenTurns = 0;
  if (WatchThread.Handle == nullptr)
    WatchThread = StartThread(RunWatch);
  return TRUE;
}

// The program's thread waits here without taking sent messages: a hand-off in
// flight runs into its time-out, and the thread then reads its quit.
void __cdecl FreeHook() {
  EndThread(HookThread);
  EndThread(WatchThread);
  ActingHookThreadId = 0;
}

void __cdecl PauseHookWatch(BOOLEAN Pause) {
  if (WatchThread.Handle != nullptr)
    PostThreadMessageA(WatchThread.Id, WM_PAUSEWATCH, Pause, 0);
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

BOOLEAN __cdecl HookLost() {
  return HookThread.Handle != nullptr && UnseenTurns >= UnseenTurnLimit;
}

// The library's entry in place of the C runtime's, which it does without: it keeps
// the module handle for SetWindowsHookExA and asks for no thread notifications.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE Instance, DWORD Reason, LPVOID) {
  if (Reason == DLL_PROCESS_ATTACH) {
    Module = Instance;
    DisableThreadLibraryCalls(Instance);
  }
  return TRUE;
}
