// morvask.dll: the system-wide low-level mouse hook, on a thread of its own. A
// low-level hook runs on the thread that installed it, and the whole desktop's mouse
// waits for it: this thread does nothing else, so an event never waits for the
// program's thread longer than one bounded hand-off of a wheel turn.
//
// Windows removes a hook whose call once took too long, without a word. A hook that
// another program installs later and that swallows the wheel keeps the turns from
// this one too, and must keep them: only a removal leaves a mark of its own, a call
// of this hook that came late or ran long. After such a call alone a second thread
// takes the mouse's raw input, which keeps coming whatever becomes of the hook: the
// hook's next call shows it in place and the raw input is dropped again, while wheel
// turns that raw input reports and the hook does not see show it gone. Not the
// hook's own thread: raw input is queued ahead of the hook's call, and a thread it
// wakes after a rest of some seconds passes for hung when the call comes, so the
// system would skip the hook for that very turn.
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
// A call that returns this long after its event may have outlasted the system's
// time-out, which lies above the hook's own bounds by design: twice those bounds, so
// that neither a busy program nor a loaded machine's usual delays make a call
// suspect, only a thread that stalled, and the raw input that follows stays rare.
constexpr LONG SuspectTime = 2 * (HandOffTimeout + AnswerWait); // ms

// While the raw input is watched, this many more wheel turns reported than the hook
// has seen since tell that it is gone. Only turns count: the hook exists for them,
// and a warp or a move that another program injects or keeps from the hook is no
// sign of anything. A deficit, not a run of reports without a new turn: a watcher
// that reads a batch of reports late has seen the hook's turns come first.
constexpr LONG UnseenTurnLimit = 4;
constexpr DWORD ReportInterval = 1000; // ms at least between two reports
constexpr USHORT GenericDesktopPage = 1;
constexpr USHORT MouseUsage = 2;
// To the watching thread: the suspicion or the pause has changed.
constexpr UINT WM_FOLLOWWATCH = WM_APP;
// Both threads only wait for messages, but a thread that takes messages runs other
// programs' message hooks (input methods, accessibility tools), written for the
// 1 MiB a thread commonly gets: a quarter of that is still several times what such
// hooks use.
constexpr SIZE_T WaitingThreadStack = 256 * 1024;
// With the code: the library's only constant would otherwise take a section, and a
// page of the file, of its own. Other compilers place it as they will.
#ifdef __GNUC__
[[gnu::section(".text")]]
#endif
constexpr wchar_t InputClassName[] = L"MorvaskRawInput";

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

// Of the hook thread that holds HandingOff alone.
MSLLHOOKSTRUCT Turn; // the turn of the slot's ticket, unchanged until the slot is closed
LONG LastTicket;
// Two hooks overlap during a reinstall, each on its thread: one test-and-set lets
// only one of them hand a turn off.
volatile LONG HandingOff;

// Of the watching thread alone, but for the count the program reads.
HWND InputWindow;  // the raw input's target, message-only
bool Watching;     // the raw input is registered
LONG WatchedTurns; // raw wheel reports since the registration
LONG TurnsAtWatch; // the hook's turns at the registration
DWORD LastReportTick;

volatile DWORD ActingHookThreadId;
volatile LONG Slot;
volatile LONG EventCount;
volatile LONG TurnCount;
volatile LONG Suspected;   // a call came late or ran long, and none has come since
volatile LONG WatchPaused; // kept while no watching thread exists
volatile LONG UnseenTurns; // the deficit of turns at the last raw report

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

// A turn that arrives while another is being handed off (the wait lets the thread
// take the system's next call) goes on: the slot holds one turn.
bool HandOff(const MSLLHOOKSTRUCT &Event) {
  if (InterlockedCompareExchange(&HandingOff, TRUE, FALSE) != FALSE)
    return false;
  Turn = Event;
  const LONG Ticket = NextTicket();
  InterlockedExchange(&Slot, SlotWord(Ticket, Waiting));
  DWORD_PTR Answer = 0;
  SendMessageTimeoutW(Target, TargetMessage, WM_MOUSEWHEEL, Ticket, SMTO_ABORTIFHUNG,
                      HandOffTimeout, &Answer);
  const bool Swallow = CloseSlot(Ticket);
  InterlockedExchange(&HandingOff, FALSE);
  return Swallow;
}

void FollowWatchLater() {
  if (WatchThread.Handle != nullptr)
    PostThreadMessageW(WatchThread.Id, WM_FOLLOWWATCH, 0, 0);
}

// The system times its call from the event at the earliest: a call that returned
// soon after it cannot have been given up. Any call at all shows the hook still in
// place after an earlier one. Time stamps are the sender's: one from the future is
// no sign of anything.
// Nearly every call changes nothing: only a change is written, with a locked exchange.
void FollowCallTime(const MSLLHOOKSTRUCT &Event) {
  const LONG Late = static_cast<LONG>(GetTickCount() - Event.time) >= SuspectTime;
  if (Suspected != Late && InterlockedExchange(&Suspected, Late) != Late)
    FollowWatchLater();
}

// While a new hook replaces an old one both are in place, and the old one passes
// everything on.
LRESULT CALLBACK ReportMouseEvent(int Code, WPARAM Message, LPARAM Event) {
  if (Code == HC_ACTION && GetCurrentThreadId() == ActingHookThreadId) {
    const auto &Record = *reinterpret_cast<const MSLLHOOKSTRUCT *>(Event);
    InterlockedIncrement(&EventCount);
    bool Swallow = false;
    if (Message == WM_MOUSEWHEEL) {
      InterlockedIncrement(&TurnCount);
      Swallow = HandOff(Record);
    }
    FollowCallTime(Record);
    if (Swallow)
      return 1;
  }
  return CallNextHookEx(nullptr, Code, Message, Event);
}

// While the program's own window is the foreground, its raw input comes as the
// foreground's, and a process that takes raw input there may get no calls of its own
// low-level hook: the watch pauses until another program has the foreground.
void FollowWatch() {
  const bool Watch = Suspected && !WatchPaused && InputWindow != nullptr;
  if (Watch == Watching)
    return;
  const RAWINPUTDEVICE Mouse = {GenericDesktopPage, MouseUsage,
                                static_cast<DWORD>(Watch ? RIDEV_INPUTSINK : RIDEV_REMOVE),
                                Watch ? InputWindow : nullptr};
  RegisterRawInputDevices(&Mouse, 1, sizeof Mouse);
  Watching = Watch;
  WatchedTurns = 0;
  TurnsAtWatch = TurnCount;
  UnseenTurns = 0;
}

// Without the window the hook runs on unwatched. A plain class of the library's own:
// a system control class here made the process megabytes larger under Wine. A later
// watching thread finds it registered already.
void OpenInputWindow() {
  WNDCLASSW Class = {};
  Class.lpfnWndProc = DefWindowProcW;
  Class.hInstance = Module;
  Class.lpszClassName = InputClassName;
  RegisterClassW(&Class);
  InputWindow = CreateWindowExW(0, InputClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                Module, nullptr);
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
// the hook back as soon as its own limit on reinstalls allows. A report read after
// the registration was dropped counts for nothing.
void NoteRawInput(const MSG &Message) {
  if (!Watching || !IsBackgroundTurn(Message))
    return;
  UnseenTurns = ++WatchedTurns - (TurnCount - TurnsAtWatch);
  const DWORD Now = GetTickCount();
  if (UnseenTurns >= UnseenTurnLimit && Now - LastReportTick >= ReportInterval) {
    LastReportTick = Now;
    PostMessageW(Target, TargetMessage, WM_INPUT, 0);
  }
}

// Each thread's queue must exist before its start returns, or the quit that ends
// it could be lost.
void MakeQueue() {
  MSG Message;
  PeekMessageW(&Message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

// Only the quit ends the loop; the window's default handling frees each raw input.
DWORD WINAPI RunWatch(LPVOID Ready) {
  MakeQueue();
  OpenInputWindow();
  FollowWatch();
  SetEvent(Ready);
  MSG Message;
  while (GetMessageW(&Message, nullptr, 0, 0) > 0) {
    if (Message.message == WM_INPUT)
      NoteRawInput(Message);
    else if (Message.message == WM_FOLLOWWATCH)
      FollowWatch();
    DispatchMessageW(&Message);
  }
  DestroyWindow(InputWindow);
  InputWindow = nullptr;
  FollowWatch(); // drops the registration with its window
  return 0;
}

// Only the quit ends the loop; the hook's calls come in while it waits.
DWORD WINAPI RunHook(LPVOID Ready) {
  MakeQueue();
  const HHOOK Hook = SetWindowsHookExW(HookKind, ReportMouseEvent, Module, 0);
  if (Hook != nullptr)
    ActingHookThreadId = GetCurrentThreadId();
  SetEvent(Ready);
  if (Hook == nullptr)
    return 0;
  MSG Message;
  while (GetMessageW(&Message, nullptr, 0, 0) > 0)
    DispatchMessageW(&Message);
  UnhookWindowsHookEx(Hook);
  return 0;
}

TLibraryThread StartThread(LPTHREAD_START_ROUTINE Run) {
  TLibraryThread Thread = {};
  const HANDLE Ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (Ready == nullptr)
    return Thread;
  Thread.Handle = CreateThread(nullptr, WaitingThreadStack, Run, Ready,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, &Thread.Id);
  if (Thread.Handle != nullptr)
    WaitForSingleObject(Ready, INFINITE);
  CloseHandle(Ready);
  return Thread;
}

void EndThread(TLibraryThread &Thread) {
  if (Thread.Handle == nullptr)
    return;
  PostThreadMessageW(Thread.Id, WM_QUIT, 0, 0);
  WaitForSingleObject(Thread.Handle, INFINITE);
  CloseHandle(Thread.Handle);
  Thread = {};
}

} // namespace

// The new hook is in place before the old one goes, so that a turn during a
// reinstall meets one of them. A hook put back is in place: the watch ends with it.
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
  InterlockedExchange(&Suspected, FALSE);
  FollowWatchLater();
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
  InterlockedExchange(&WatchPaused, Pause != FALSE);
  FollowWatchLater();
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
  return HookThread.Handle != nullptr && Suspected && UnseenTurns >= UnseenTurnLimit;
}

// The library's entry in place of the C runtime's, which it does without: it keeps
// the module handle for SetWindowsHookExW and asks for no thread notifications.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE Instance, DWORD Reason, LPVOID) {
  if (Reason == DLL_PROCESS_ATTACH) {
    Module = Instance;
    DisableThreadLibraryCalls(Instance);
  }
  return TRUE;
}
