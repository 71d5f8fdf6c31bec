// The hot paths of the running program, timed in-process: the start-up of the
// library that ships runs for real (real window, real mixer, real hook library),
// then each path is timed side by side with the least work the platform itself
// needs for the same effect, batches of both taken in turn. Rows named "part."
// break the paths down, to show where their time goes.
#include "bench.h"
#include "main.h"
#include "mixerControl.h"
#include "morvaskint.h"

namespace {

// The hook library hands out only the turn its own hook waits on. The bench
// delivers its turns itself, so it answers for them in the library's place, at
// about the same cost: a comparison, a store and the record's copy.
const MSLLHOOKSTRUCT *Delivering;
LPARAM DeliveringTicket;

BOOLEAN __cdecl ClaimDelivered(LPARAM Ticket, MSLLHOOKSTRUCT *Record) {
  if (Ticket == 0 || Ticket != DeliveringTicket)
    return FALSE;
  DeliveringTicket = 0;
  *Record = *Delivering;
  return TRUE;
}

BOOLEAN __cdecl AnswerDelivered(LPARAM Ticket, BOOLEAN) { return Ticket != 0; }

// The slots of the two mixer value calls hold winmm's own functions, so the timed
// runs call winmm exactly as the program does; only the counting pass routes them
// through a counter first.
using TDetailsCall = MMRESULT(WINAPI *)(HMIXEROBJ, LPMIXERCONTROLDETAILS, DWORD);

TDetailsCall WinmmFunction(const char *Name) {
  return reinterpret_cast<TDetailsCall>(
      reinterpret_cast<void *>(GetProcAddress(LoadLibraryA("winmm.dll"), Name)));
}

const TDetailsCall RealGetDetails = WinmmFunction("mixerGetControlDetailsA");
const TDetailsCall RealSetDetails = WinmmFunction("mixerSetControlDetails");

} // namespace

extern "C" {
extern decltype(&ClaimDelivered) ClaimHookRecordSlot __asm__("__imp__ClaimHookRecord");
decltype(&ClaimDelivered) ClaimHookRecordSlot = &ClaimDelivered;
extern decltype(&AnswerDelivered) AnswerHookRecordSlot __asm__("__imp__AnswerHookRecord");
decltype(&AnswerDelivered) AnswerHookRecordSlot = &AnswerDelivered;
extern TDetailsCall GetDetailsSlot __asm__("__imp__mixerGetControlDetailsA@12");
TDetailsCall GetDetailsSlot = RealGetDetails;
extern TDetailsCall SetDetailsSlot __asm__("__imp__mixerSetControlDetails@12");
TDetailsCall SetDetailsSlot = RealSetDetails;
}

namespace {

constexpr int MouseBatch = 10000;
constexpr int MouseRepeats = 41;
constexpr int HoldBatch = 1000; // turns whose posted steps wait in the queue at once
constexpr int StepBatch = 20;   // wheel steps, forward and back in turn
constexpr int StepRepeats = 101;
constexpr int PaintBatch = 50;
constexpr int PaintRepeats = 101;
constexpr int MixerReadBatch = 500;
constexpr int MixerWriteBatch = 100;
constexpr int SendBatch = 500;
constexpr int PartRepeats = 31;
constexpr DWORD NotificationWait = 50; // ms
constexpr DWORD PaintPause = 300;      // ms
constexpr int PaintPauseRepeats = 11;

constexpr POINT AwayFromBorder = {500, 400};
constexpr POINT AtLeftBorder = {0, 300};
constexpr SHORT WheelNotch = WHEEL_DELTA;
constexpr DWORD FaderMiddle = 32768;
constexpr DWORD FaderStep = 4000; // where the program's accelerating step settles
constexpr COLORREF BarColour = RGB(0, 255, 0);
constexpr COLORREF EmptyBarColour = RGB(255, 255, 255);
constexpr int BenchWindowWidth = 150;
constexpr int BenchWindowHeight = 60;
constexpr int BarOnlyWindowX = 200; // beside the display, not over it

HWND EmptyWindow;    // the bare receiver of the mouse-event baseline
HWND BarOnlyWindow;  // paints the volume bar and nothing else
DWORD BarOnlyVolume; // what BarOnlyWindow shows
HWND ReceiverWindow; // on a thread of its own

LRESULT CALLBACK EmptyWindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_HOOKMOUSE)
    return 0;
  return DefWindowProcA(Window, Message, WParam, LParam);
}

// The bar as the program draws it, without the frame, the background or the text.
LRESULT CALLBACK BarOnlyWindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message != WM_PAINT)
    return DefWindowProcA(Window, Message, WParam, LParam);
  static const HBRUSH Filled = CreateSolidBrush(BarColour);
  static const HBRUSH Empty = CreateSolidBrush(EmptyBarColour);
  PAINTSTRUCT Paint = {};
  const HDC Dc = BeginPaint(Window, &Paint);
  RECT Part = BarRect;
  Part.right = Part.left + FilledBarWidth(BarOnlyVolume, BarRect.right - BarRect.left);
  FillRect(Dc, &Part, Filled);
  Part.left = Part.right;
  Part.right = BarRect.right;
  FillRect(Dc, &Part, Empty);
  EndPaint(Window, &Paint);
  return 0;
}

HWND CreateBenchWindow(const char *ClassName, WNDPROC Procedure, int X) {
  WNDCLASSA Class = {};
  Class.lpfnWndProc = Procedure;
  Class.hInstance = GetModuleHandleA(nullptr);
  Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  Class.lpszClassName = ClassName;
  RegisterClassA(&Class);
  return CreateWindowExA(WS_EX_NOACTIVATE | WS_EX_TOPMOST, ClassName, " ", WS_POPUP, X, 0,
                         BenchWindowWidth, BenchWindowHeight, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

DWORD WINAPI RunReceiver(LPVOID Ready) {
  ReceiverWindow = CreateBenchWindow("SonaltoBenchReceiver", EmptyWindowProc, 0);
  SetEvent(static_cast<HANDLE>(Ready));
  MSG Message = {};
  while (GetMessageA(&Message, nullptr, 0, 0) > 0)
    DispatchMessageA(&Message);
  return 0;
}

void StartReceiver() {
  const HANDLE Ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(CreateThread(nullptr, 0, RunReceiver, Ready, 0, nullptr));
  WaitForSingleObject(Ready, INFINITE);
  CloseHandle(Ready);
}

// ---- Raw mixer calls on the program's own handle and controls ----

MIXERCONTROLDETAILS ValueRequest(const TnsMixerControl &Control, DWORD &Value) {
  MIXERCONTROLDETAILS Request = {};
  Request.cbStruct = sizeof Request;
  Request.dwControlID = Control.ControlId;
  Request.cChannels = Control.ChannelCount;
  Request.cbDetails = sizeof Value;
  Request.paDetails = &Value;
  return Request;
}

DWORD ReadControl(const TnsMixerControl &Control) {
  DWORD Value = 0;
  MIXERCONTROLDETAILS Request = ValueRequest(Control, Value);
  mixerGetControlDetailsA(reinterpret_cast<HMIXEROBJ>(Control.MixerHandle), &Request,
                          MIXER_GETCONTROLDETAILSF_VALUE);
  return Value;
}

void WriteControl(const TnsMixerControl &Control, DWORD Value) {
  MIXERCONTROLDETAILS Request = ValueRequest(Control, Value);
  mixerSetControlDetails(reinterpret_cast<HMIXEROBJ>(Control.MixerHandle), &Request,
                         MIXER_SETCONTROLDETAILSF_VALUE);
}

// Under Wine the program always works on the mixer: Wine's endpoint refuses to set.
TnsMixerControl &Mixer(const std::unique_ptr<TAudioControl> &Control) {
  return static_cast<TnsMixerControl &>(*Control);
}

// ---- How the measurements are taken ----

// Two batches per round, their order swapped every round, so that drift in the
// machine's load falls on both sides alike. Between rounds the queue is
// dispatched, as the program's loop would between events.
template <typename TProgram, typename TBaseline>
void TimeSideBySide(const char *Key, int Repeats, TProgram Program, TBaseline Baseline) {
  std::vector<double> ProgramTimes, BaselineTimes;
  for (int Round = 0; Round < Repeats; ++Round) {
    if (Round % 2 == 0) {
      ProgramTimes.push_back(Program());
      BaselineTimes.push_back(Baseline());
    } else {
      BaselineTimes.push_back(Baseline());
      ProgramTimes.push_back(Program());
    }
    DispatchPending();
  }
  char Name[128];
  std::snprintf(Name, sizeof Name, "%s.program", Key);
  ReportRow(Name, Summarise(ProgramTimes), "us");
  std::snprintf(Name, sizeof Name, "%s.baseline", Key);
  ReportRow(Name, Summarise(BaselineTimes), "us");
}

template <typename TBody> void TimeAlone(const char *Key, int Repeats, TBody Body) {
  std::vector<double> Times;
  for (int Round = 0; Round < Repeats; ++Round) {
    Times.push_back(Body());
    DispatchPending();
  }
  ReportRow(Key, Summarise(Times), "us");
}

// The display hides 1800 ms after the last change, at a timer tick that the
// dispatch between batches lets in.
void KeepDisplayShown() {
  LastChangeTick = GetTickCount();
  if (!IsWindowVisible(MainWindow))
    ShowDisplay(CHANGE_MUTE);
}

void SetWheelDelta(MSLLHOOKSTRUCT &Wheel, bool Forward) {
  Wheel.mouseData = static_cast<DWORD>(static_cast<WORD>(Forward ? WheelNotch : -WheelNotch)) << 16;
}

// The hook's report alone: what the mouse waits for.
void ReportWheel(MSLLHOOKSTRUCT &Wheel) {
  Delivering = &Wheel;
  DeliveringTicket = reinterpret_cast<LPARAM>(&Wheel);
  SendMessageA(MainWindow, WM_HOOKMOUSE, WM_MOUSEWHEEL, DeliveringTicket);
}

// A whole turn: the report, then the step it posted, as the loop dispatches it next.
void DeliverWheel(MSLLHOOKSTRUCT &Wheel, bool Forward) {
  SetWheelDelta(Wheel, Forward);
  ReportWheel(Wheel);
  MSG Step = {};
  if (PeekMessageA(&Step, MainWindow, WM_WHEELSTEP, WM_WHEELSTEP, PM_REMOVE))
    DispatchMessageA(&Step);
}

void PaintBarAlone(DWORD Volume) {
  BarOnlyVolume = Volume;
  InvalidateRect(BarOnlyWindow, &BarRect, TRUE);
  SendMessageA(BarOnlyWindow, WM_PAINT, 0, 0);
}

// ---- The real hook thread, driven by injected events ----

// The hook library's bound on a hand-off (morvask.cpp), for the baseline's own send.
constexpr UINT HandOffBound = 50;  // ms
constexpr DWORD SlowHookTime = 20; // ms: the probe hook that shows whether SendInput waits
constexpr DWORD BusyTime = 1000;   // ms the program's thread is held
constexpr DWORD BusyLead = 20;     // ms for the thread to be inside its busy second
constexpr int InjectBatch = 50;
constexpr int InjectRepeats = 21;
constexpr int BusyNotches = 8; // per busy second, each held up to the bound
constexpr int BusyRepeats = 5;
constexpr UINT WM_BENCHBUSY = WM_APP + 1; // a thread message: the program's thread sleeps

DWORD MainThreadId;
int StepsPosted; // steps the program posted for the turns it swallowed

LRESULT CALLBACK PassOn(int Code, WPARAM Message, LPARAM Event) {
  return CallNextHookEx(nullptr, Code, Message, Event);
}

LRESULT CALLBACK SlowPassOn(int Code, WPARAM Message, LPARAM Event) {
  Sleep(SlowHookTime);
  return PassOn(Code, Message, Event);
}

// What the decision and the hand-off cannot avoid for a turn at the border, made
// directly: the border test on the record and one PostMessage. Shift is not read
// at the border, by the program either.
bool AtBorderDirect(const MSLLHOOKSTRUCT &Event) {
  return Event.pt.x < BorderWidth || Event.pt.y < BorderWidth ||
         ScreenWidth - Event.pt.x < BorderWidth || ScreenHeight - Event.pt.y < BorderWidth;
}

// The floor of a consumed turn: one bounded send to a window that answers at once,
// the border test and one PostMessage, then the turn swallowed.
LRESULT CALLBACK BoundedHandOff(int Code, WPARAM Message, LPARAM Event) {
  if (Code != HC_ACTION || Message != WM_MOUSEWHEEL)
    return PassOn(Code, Message, Event);
  DWORD_PTR Answer = 0;
  SendMessageTimeoutA(ReceiverWindow, WM_HOOKMOUSE, WM_MOUSEWHEEL, 0, SMTO_ABORTIFHUNG,
                      HandOffBound, &Answer);
  if (AtBorderDirect(*reinterpret_cast<const MSLLHOOKSTRUCT *>(Event)))
    PostMessageA(EmptyWindow, WM_WHEELSTEP, WHEEL_STEP_UP, 0);
  return 1;
}

DWORD WINAPI RunBenchHook(LPVOID Parameter) {
  auto *Procedure = static_cast<HOOKPROC *>(Parameter);
  MSG Message;
  PeekMessageA(&Message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  const HHOOK Hook = SetWindowsHookExA(WH_MOUSE_LL, *Procedure, GetModuleHandleA(nullptr), 0);
  *Procedure = nullptr; // the sign that the hook is in place
  while (GetMessageA(&Message, nullptr, 0, 0) > 0) {
  }
  UnhookWindowsHookEx(Hook);
  return 0;
}

// A baseline hook on a thread of its own, as the library's is, alone in the chain
// while Body runs: the program's hook is out for that time.
template <typename TBody> double WithBenchHook(HOOKPROC Procedure, TBody Body) {
  FreeHook();
  volatile HOOKPROC Handed = Procedure;
  DWORD ThreadId = 0;
  const HANDLE Thread =
      CreateThread(nullptr, 0, RunBenchHook, const_cast<HOOKPROC *>(&Handed), 0, &ThreadId);
  while (Handed != nullptr)
    Sleep(1);
  const double Time = Body();
  PostThreadMessageA(ThreadId, WM_QUIT, 0, 0);
  WaitForSingleObject(Thread, INFINITE);
  CloseHandle(Thread);
  SetHook(WH_MOUSE_LL, MainWindow, WM_HOOKMOUSE);
  return Time;
}

void InjectMove(int Run) { InjectMouse(MOUSEEVENTF_MOVE, Run % 2 == 0 ? 1 : -1, 0); }

void InjectNotch(int) { InjectMouse(MOUSEEVENTF_WHEEL, 0, WheelNotch); }

template <typename TInject> double TimeInjected(POINT At, TInject Inject) {
  SetCursorPos(At.x, At.y);
  return TimePerRun(InjectBatch, Inject);
}

// Whether SendInput returns only once the low-level hooks have run: with a hook
// that sleeps, it then takes at least that long.
void ProbeSendInput() {
  const double Time =
      WithBenchHook(SlowPassOn, [] { return TimeInjected(AwayFromBorder, InjectMove); });
  ReportInfo("sendinput.slow_hook_ms", SlowHookTime);
  ReportInfo("sendinput.with_slow_hook_ms", Time / 1000);
  ReportInfo("sendinput.waits_for_hooks", Time / 1000 >= SlowHookTime ? "yes" : "no");
}

void TimeMouseMove() {
  const DWORD Before = HookEventCount();
  TimeSideBySide(
      "mouse_move", InjectRepeats, [] { return TimeInjected(AwayFromBorder, InjectMove); },
      [] {
        return WithBenchHook(PassOn, [] { return TimeInjected(AwayFromBorder, InjectMove); });
      });
  ReportInfo("mouse_move.hook_events", static_cast<double>(HookEventCount() - Before));
}

void TimeWheelHold() {
  const int StepsBefore = StepsPosted;
  TimeSideBySide(
      "wheel_hold", InjectRepeats, [] { return TimeInjected(AtLeftBorder, InjectNotch); },
      [] {
        return WithBenchHook(BoundedHandOff,
                             [] { return TimeInjected(AtLeftBorder, InjectNotch); });
      });
  ReportInfo("wheel_hold.program_steps", StepsPosted - StepsBefore);
}

// Each notch timed alone while the program's thread sleeps through its second.
void TimeWheelWhileBusy() {
  std::vector<double> Times;
  const int StepsBefore = StepsPosted;
  SetCursorPos(AtLeftBorder.x, AtLeftBorder.y);
  for (int Round = 0; Round < BusyRepeats; ++Round) {
    PostThreadMessageA(MainThreadId, WM_BENCHBUSY, 0, 0);
    Sleep(BusyLead);
    for (int Notch = 0; Notch < BusyNotches; ++Notch) {
      const LONGLONG Begin = PerformanceCount();
      InjectNotch(Notch);
      Times.push_back(MicrosecondsBetween(Begin, PerformanceCount()));
    }
    Sleep(BusyTime); // the thread wakes and reads the hand-offs it missed
  }
  ReportRow("wheel_busy.program", Summarise(Times), "us");
  ReportInfo("wheel_busy.bound_ms", HandOffBound);
  ReportInfo("wheel_busy.late_steps", StepsPosted - StepsBefore);
}

DWORD WINAPI RunInjected(LPVOID) {
  ProbeSendInput();
  TimeMouseMove();
  TimeWheelHold();
  TimeWheelWhileBusy();
  return 0;
}

// The program's thread as its own loop runs it, but steps are dropped: here only
// the time the mouse is held counts, and a step would hold the next hand-off. Its
// timer ticks are held back too: the hook's watchdog would put the hook back into
// the chain while a baseline batch has it out.
void HandleBenchMessage(const MSG &Message) {
  switch (Message.message) {
  case WM_BENCHBUSY:
    Sleep(BusyTime);
    break;
  case WM_WHEELSTEP:
    StepsPosted += Message.hwnd == MainWindow;
    WheelStepsPending = 0;
    break;
  case WM_TIMER:
    break;
  default:
    DispatchMessageA(&Message);
  }
}

// The real library's claim and answer, in the slots, while the injected events run.
void TimeRealHook() {
  const HMODULE Library = GetModuleHandleA("morvask.dll");
  ClaimHookRecordSlot = reinterpret_cast<decltype(&ClaimDelivered)>(
      reinterpret_cast<void *>(GetProcAddress(Library, "ClaimHookRecord")));
  AnswerHookRecordSlot = reinterpret_cast<decltype(&AnswerDelivered)>(
      reinterpret_cast<void *>(GetProcAddress(Library, "AnswerHookRecord")));
  MainThreadId = GetCurrentThreadId();
  const HANDLE Injector = CreateThread(nullptr, 0, RunInjected, nullptr, 0, nullptr);
  while (MsgWaitForMultipleObjects(1, &Injector, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG Message = {};
    while (PeekMessageA(&Message, nullptr, 0, 0, PM_REMOVE))
      HandleBenchMessage(Message);
  }
  CloseHandle(Injector);
  ClaimHookRecordSlot = &ClaimDelivered;
  AnswerHookRecordSlot = &AnswerDelivered;
}

// ---- A wheel step at the border ----

// What a step needs of the mixer and the screen: the fader read and written
// through the mixer object, the bar repainted.
void ControlStep(int Run) {
  const DWORD Volume = VolumeControl->GetValue();
  const DWORD Next = Run % 2 == 0 ? Volume + FaderStep : Volume - FaderStep;
  VolumeControl->SetValue(Next);
  PaintBarAlone(Next);
}

// The least any step needs: one raw read and one raw write of the fader.
void RawStep(int Run) {
  const DWORD Volume = ReadControl(Mixer(VolumeControl));
  const DWORD Next = Run % 2 == 0 ? Volume + FaderStep : Volume - FaderStep;
  WriteControl(Mixer(VolumeControl), Next);
  PaintBarAlone(Next);
}

// Every mixer call the program makes for a step, made directly, and the bar
// repainted alone: what is left of the program's time beyond this is its own.
void ReplicaStep(int Run) {
  const bool Forward = Run % 2 == 0;
  if (Forward) {
    MuteControl->GetValue();
    MuteControl->SetValue(Unmuted);
  }
  const DWORD Volume = VolumeControl->GetValue();
  VolumeControl->SetValue(Forward ? Volume + FaderStep : Volume - FaderStep);
  const DWORD Shown = VolumeControl->GetValue();
  MuteControl->GetValue();
  PaintBarAlone(Shown);
}

void TimeWheelStep() {
  MSLLHOOKSTRUCT Wheel = {};
  Wheel.pt = AtLeftBorder;
  const auto ProgramSteps = [&] {
    return TimePerRun(StepBatch, [&](int Run) { DeliverWheel(Wheel, Run % 2 == 0); });
  };
  // The first steps show the display and bring the step to its top; from then on
  // every step moves the fader by the same amount, forward and back in turn.
  ProgramSteps();
  DispatchPending();
  TimeSideBySide("wheel_step", StepRepeats, ProgramSteps,
                 [&] { return TimePerRun(StepBatch, ReplicaStep); });
  ReportInfo("wheel_step.display_visible", IsWindowVisible(MainWindow) ? "yes" : "no");
  ReportInfo("wheel_step.step_reached", Step);
  TimeSideBySide("part.wheel_step_raw", PartRepeats, ProgramSteps,
                 [&] { return TimePerRun(StepBatch, RawStep); });
  TimeSideBySide("part.wheel_step_fader", PartRepeats, ProgramSteps,
                 [&] { return TimePerRun(StepBatch, ControlStep); });

  // Each direction alone, step by step: a forward step also unmutes.
  std::vector<double> Forward, Back;
  for (int Round = 0; Round < PartRepeats; ++Round) {
    for (int Run = 0; Run < StepBatch; ++Run) {
      const LONGLONG Begin = PerformanceCount();
      DeliverWheel(Wheel, Run % 2 == 0);
      (Run % 2 == 0 ? Forward : Back).push_back(MicrosecondsBetween(Begin, PerformanceCount()));
    }
    DispatchPending();
  }
  ReportRow("part.step_forward", Summarise(Forward), "us");
  ReportRow("part.step_back", Summarise(Back), "us");
}

// ---- Where the time of a step goes ----

void TimeMixerCalls() {
  const DWORD Start = ReadControl(Mixer(VolumeControl));
  TimeAlone("part.mixer_read", PartRepeats, [&] {
    return TimePerRun(MixerReadBatch, [&](int) { ReadControl(Mixer(VolumeControl)); });
  });
  TimeAlone("part.mixer_write", PartRepeats, [&] {
    return TimePerRun(MixerWriteBatch, [&](int Run) {
      WriteControl(Mixer(VolumeControl), Run % 2 == 0 ? Start + FaderStep : Start);
    });
  });
  TimeAlone("part.control_get", PartRepeats,
            [&] { return TimePerRun(MixerReadBatch, [&](int) { VolumeControl->GetValue(); }); });
  TimeAlone("part.control_set", PartRepeats, [&] {
    return TimePerRun(MixerWriteBatch, [&](int Run) {
      VolumeControl->SetValue(Run % 2 == 0 ? Start + FaderStep : Start);
    });
  });
  // What Wine's winmm does for every mixer call: it hands the call to its own
  // device thread with a SendMessage.
  TimeAlone("part.cross_thread_send", PartRepeats, [&] {
    return TimePerRun(SendBatch,
                      [&](int) { SendMessageA(ReceiverWindow, WM_HOOKMOUSE, WM_MOUSEMOVE, 0); });
  });
  WriteControl(Mixer(VolumeControl), FaderMiddle);
}

void TimePaints() {
  TimeAlone("part.bar_paint_alone", PartRepeats,
            [&] { return TimePerRun(PaintBatch, [&](int) { PaintBarAlone(FaderMiddle); }); });
  // The same paint, each batch after the thread has slept: Wine then paints fast.
  TimeAlone("part.bar_paint_after_pause", PaintPauseRepeats, [&] {
    Sleep(PaintPause);
    return TimePerRun(PaintBatch, [&](int) { PaintBarAlone(FaderMiddle); });
  });
  KeepDisplayShown();
  TimeAlone("part.program_bar_paint", PartRepeats, [&] {
    return TimePerRun(PaintBatch, [&](int) {
      InvalidateRect(MainWindow, &BarRect, TRUE);
      SendMessageA(MainWindow, WM_PAINT, 0, 0);
    });
  });
  // The platform's own cost of a paint, by the size of the region: the bar-only
  // window repainting its bar, and the same window repainted whole.
  TimeSideBySide(
      "part.platform_paint", PartRepeats,
      [&] { return TimePerRun(PaintBatch, [&](int) { PaintBarAlone(FaderMiddle); }); },
      [&] {
        return TimePerRun(PaintBatch, [&](int) {
          InvalidateRect(BarOnlyWindow, nullptr, TRUE);
          SendMessageA(BarOnlyWindow, WM_PAINT, 0, 0);
        });
      });
}

// Counts the mixer calls of one step or repaint, and the change notifications the
// mixer queues for it.
int MixerReads, MixerWrites;

MMRESULT WINAPI CountedGetDetails(HMIXEROBJ Mixer, LPMIXERCONTROLDETAILS Details, DWORD Flags) {
  ++MixerReads;
  return RealGetDetails(Mixer, Details, Flags);
}

MMRESULT WINAPI CountedSetDetails(HMIXEROBJ Mixer, LPMIXERCONTROLDETAILS Details, DWORD Flags) {
  ++MixerWrites;
  return RealSetDetails(Mixer, Details, Flags);
}

template <typename TAction> void CountMixerCalls(const char *Key, TAction Action) {
  DispatchPending();
  GetDetailsSlot = CountedGetDetails;
  SetDetailsSlot = CountedSetDetails;
  MixerReads = MixerWrites = 0;
  Action();
  GetDetailsSlot = RealGetDetails;
  SetDetailsSlot = RealSetDetails;
  // Time for a notification that the mixer might post from another thread.
  Sleep(NotificationWait);
  int Notifications = 0;
  MSG Message = {};
  while (PeekMessageA(&Message, MainWindow, MM_MIXM_CONTROL_CHANGE, MM_MIXM_CONTROL_CHANGE,
                      PM_REMOVE)) {
    ++Notifications;
    DispatchMessageA(&Message);
  }
  char Name[128], Value[64];
  std::snprintf(Name, sizeof Name, "calls.%s", Key);
  std::snprintf(Value, sizeof Value, "%d-reads-%d-writes-%d-notifications", MixerReads, MixerWrites,
                Notifications);
  ReportInfo(Name, Value);
}

void CountCalls() {
  MSLLHOOKSTRUCT Wheel = {};
  Wheel.pt = AtLeftBorder;
  KeepDisplayShown();
  CountMixerCalls("step_forward", [&] { DeliverWheel(Wheel, true); });
  CountMixerCalls("step_back", [&] { DeliverWheel(Wheel, false); });
  CountMixerCalls("repaint_volume", [] { ShowDisplay(CHANGE_VOLUME); });
  CountMixerCalls("repaint_mute", [] { ShowDisplay(CHANGE_MUTE); });
  CountMixerCalls("mouse_move", [&] {
    MSLLHOOKSTRUCT Move = {};
    Move.pt = AwayFromBorder;
    SendMessageA(MainWindow, WM_HOOKMOUSE, WM_MOUSEMOVE, reinterpret_cast<LPARAM>(&Move));
  });
  // What each change notification costs the program afterwards: the tray icon's
  // refresh, with a read of the mute switch.
  std::vector<double> Times;
  for (int Round = 0; Round < PartRepeats; ++Round) {
    WriteControl(Mixer(VolumeControl), Round % 2 == 0 ? FaderMiddle + FaderStep : FaderMiddle);
    Sleep(NotificationWait);
    MSG Message = {};
    while (PeekMessageA(&Message, MainWindow, MM_MIXM_CONTROL_CHANGE, MM_MIXM_CONTROL_CHANGE,
                        PM_REMOVE)) {
      const LONGLONG Begin = PerformanceCount();
      DispatchMessageA(&Message);
      Times.push_back(MicrosecondsBetween(Begin, PerformanceCount()));
    }
    DispatchPending();
  }
  // Wine 8 queues none for the process's own writes; then there is nothing to time.
  if (!Times.empty())
    ReportRow("part.notification", Summarise(Times), "us");
}

// ---- The display's repaint: time, and the pixels the update region covers ----

WNDPROC ProgramWindowProc;
LONG UpdatedPixels;

LONG RegionArea(HRGN Region) {
  const DWORD Size = GetRegionData(Region, 0, nullptr);
  std::vector<BYTE> Buffer(Size);
  auto *Data = reinterpret_cast<RGNDATA *>(Buffer.data());
  if (Size == 0 || GetRegionData(Region, Size, Data) == 0)
    return 0;
  const auto *Rects = reinterpret_cast<const RECT *>(Data->Buffer);
  LONG Area = 0;
  for (DWORD Index = 0; Index < Data->rdh.nCount; ++Index)
    Area += (Rects[Index].right - Rects[Index].left) * (Rects[Index].bottom - Rects[Index].top);
  return Area;
}

// Sees the update region as the paint is about to take it, then lets the program
// paint.
LRESULT CALLBACK RegionSpy(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_PAINT) {
    const HRGN Region = CreateRectRgn(0, 0, 0, 0);
    GetUpdateRgn(Window, Region, FALSE);
    UpdatedPixels += RegionArea(Region);
    DeleteObject(Region);
  }
  return CallWindowProcA(ProgramWindowProc, Window, Message, WParam, LParam);
}

double PixelsRepaintedBy(TChangeKind Change) {
  UpdatedPixels = 0;
  ShowDisplay(Change);
  return UpdatedPixels;
}

void TimeRepaints(const char *Key, int Repeats) {
  TimeSideBySide(
      Key, Repeats,
      [&] {
        KeepDisplayShown();
        return TimePerRun(PaintBatch, [&](int) { ShowDisplay(CHANGE_VOLUME); });
      },
      [&] {
        KeepDisplayShown();
        return TimePerRun(PaintBatch, [&](int) { ShowDisplay(CHANGE_MUTE); });
      });
}

void MeasureRepaint() {
  KeepDisplayShown();
  DispatchPending();
  TimeRepaints("repaint", PaintRepeats);
  ReportInfo("repaint.display_visible", IsWindowVisible(MainWindow) ? "yes" : "no");

  KeepDisplayShown();
  ProgramWindowProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(MainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RegionSpy)));
  const double VolumePixels = PixelsRepaintedBy(CHANGE_VOLUME);
  const double MutePixels = PixelsRepaintedBy(CHANGE_MUTE);
  SetWindowLongPtrA(MainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ProgramWindowProc));
  ReportRow("repaint_pixels.program", {VolumePixels, VolumePixels}, "px");
  ReportRow("repaint_pixels.baseline", {MutePixels, MutePixels}, "px");

  // The same two repaints with both mixer objects not ready: the paint then reads
  // nothing from the mixer, and only the drawing is left.
  Mixer(VolumeControl).Ready = 0;
  Mixer(MuteControl).Ready = 0;
  TimeRepaints("part.repaint_without_mixer", PartRepeats);
  Mixer(VolumeControl).Ready = TnsMixerControl::ReadyTrue;
  Mixer(MuteControl).Ready = TnsMixerControl::ReadyTrue;
}

bool ProgramIsRunning() {
  const bool Bound =
      VolumeControl && Mixer(VolumeControl).Ready && MuteControl && Mixer(MuteControl).Ready;
  ReportInfo("program.mixer_bound", Bound ? "yes" : "no");
  ReportInfo("program.hook_installed", Enabled ? "yes" : "no");
  return MainWindow != nullptr && Bound;
}

} // namespace

int main() {
  StartApplication();
  DispatchPending();
  if (!ProgramIsRunning()) {
    std::fprintf(stderr, "the program did not start with a bound mixer\n");
    return 1;
  }
  EmptyWindow = CreateBenchWindow("SonaltoBenchEmpty", EmptyWindowProc, 0);
  BarOnlyWindow = CreateBenchWindow("SonaltoBenchBar", BarOnlyWindowProc, BarOnlyWindowX);
  ShowWindow(BarOnlyWindow, SW_SHOWNOACTIVATE);
  StartReceiver();
  VolumeControl->SetValue(FaderMiddle);
  MuteControl->SetValue(Unmuted);
  DispatchPending();

  TimeRealHook();
  TimeWheelStep();
  TimeMixerCalls();
  TimePaints();
  CountCalls();
  MeasureRepaint();

  SendMessageA(MainWindow, WM_CLOSE, 0, 0);
  DispatchPending();
  return 0;
}
