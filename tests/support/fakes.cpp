#include "fakes.h"

#include "main.h"

#include <algorithm>
#include <cstring>
#include <utility>

TFakeMixer FakeMixer;
TFakePlatform Fake;
TFakeAudioState FakeEndpoints;
std::wstring FakeModulePath;

namespace {
UINT_PTR WINAPI FakeSetCoalescableTimer(HWND, UINT_PTR, UINT, TIMERPROC, ULONG);
}

void ResetFakes() {
  FakeMixer = TFakeMixer();
  Fake = TFakePlatform();
  ResetFakeAudio(FakeEndpoints);
  FakeEndpoints.CreateResult = REGDB_E_CLASSNOTREG;
  FakeAudio = &FakeEndpoints;
  SetCoalescableTimerFunction = FakeSetCoalescableTimer;
  ResetFakeLoader();
  FakeModulePath.clear();
}

std::vector<std::string> TFakeMixer::Functions() const {
  std::vector<std::string> Names;
  for (const TMixerCall &Call : Calls)
    Names.push_back(Call.Function);
  return Names;
}

int TFakeMixer::Count(const std::string &Function) const {
  return static_cast<int>(std::count_if(Calls.begin(), Calls.end(), [&](const TMixerCall &Call) {
    return Call.Function == Function;
  }));
}

namespace {

// The fake device hands out one distinct handle per open.
constexpr UINT_PTR FirstHandle = 0x5100;
UINT_PTR NextHandle = FirstHandle;

template <typename T> T RealFunction(const char *Module, const char *Name) {
  return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(LoadLibraryA(Module), Name)));
}

TMixerCall &Record(const char *Function, HMIXEROBJ Mixer, DWORD Flags) {
  TMixerCall Call;
  Call.Function = Function;
  Call.Mixer = reinterpret_cast<UINT_PTR>(Mixer);
  Call.Flags = Flags;
  FakeMixer.Calls.push_back(Call);
  return FakeMixer.Calls.back();
}

UINT WINAPI FakeMixerGetNumDevs() {
  FakeMixer.Calls.push_back(TMixerCall{"mixerGetNumDevs"});
  return FakeMixer.Devices;
}

MMRESULT WINAPI FakeMixerOpen(LPHMIXER Mixer, UINT Device, DWORD_PTR Callback, DWORD_PTR Instance,
                              DWORD Flags) {
  Fake.Sequence.push_back("mixerOpen");
  TMixerCall &Call = Record("mixerOpen", nullptr, Flags);
  Call.Device = Device;
  Call.Callback = Callback;
  Call.Instance = Instance;
  if (FakeMixer.OpenResult != MMSYSERR_NOERROR)
    return FakeMixer.OpenResult;
  // Recorded as the call's handle, so a test can follow it through every later call.
  Call.Mixer = NextHandle++;
  *Mixer = reinterpret_cast<HMIXER>(Call.Mixer);
  ++FakeMixer.OpenHandles;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI FakeMixerClose(HMIXER Mixer) {
  Fake.Sequence.push_back("mixerClose");
  Record("mixerClose", reinterpret_cast<HMIXEROBJ>(Mixer), 0);
  --FakeMixer.OpenHandles;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI FakeMixerGetLineInfoW(HMIXEROBJ Mixer, LPMIXERLINEW Line, DWORD Flags) {
  TMixerCall &Call = Record("mixerGetLineInfoW", Mixer, Flags);
  Call.StructSize = Line->cbStruct;
  Call.ComponentType = Line->dwComponentType;
  Call.Destination = Line->dwDestination;
  Call.Source = Line->dwSource;
  if (!FakeMixer.HasSpeakersLine)
    return MIXERR_INVALLINE;
  if ((Flags & MIXER_GETLINEINFOF_QUERYMASK) == MIXER_GETLINEINFOF_SOURCE) {
    if (Line->dwSource >= FakeMixer.SourceTypes.size())
      return MIXERR_INVALLINE;
    Line->dwComponentType = FakeMixer.SourceTypes[Line->dwSource];
    Line->dwLineID = Line->dwSource + 1;
    return MMSYSERR_NOERROR;
  }
  if (Line->dwComponentType != MIXERLINE_COMPONENTTYPE_DST_SPEAKERS)
    return MIXERR_INVALLINE;
  Line->dwDestination = 0;
  Line->dwLineID = FakeMixer.SpeakersLineId;
  Line->cChannels = FakeMixer.LineChannels;
  Line->cConnections = static_cast<DWORD>(FakeMixer.SourceTypes.size());
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI FakeMixerGetLineControlsW(HMIXEROBJ Mixer, LPMIXERLINECONTROLSW Controls,
                                          DWORD Flags) {
  TMixerCall &Call = Record("mixerGetLineControlsW", Mixer, Flags);
  Call.StructSize = Controls->cbStruct;
  Call.LineId = Controls->dwLineID;
  Call.ControlType = Controls->dwControlType;
  Call.ControlCount = Controls->cControls;
  Call.ControlSize = Controls->cbmxctrl;
  const auto Found = FakeMixer.ControlIds.find(Controls->dwControlType);
  if (Found == FakeMixer.ControlIds.end())
    return MIXERR_INVALCONTROL;
  Controls->pamxctrl->dwControlID = Found->second;
  return MMSYSERR_NOERROR;
}

TMixerCall &RecordRequest(const char *Function, HMIXEROBJ Mixer, const MIXERCONTROLDETAILS *Request,
                          DWORD Flags) {
  TMixerCall &Call = Record(Function, Mixer, Flags);
  Call.StructSize = Request->cbStruct;
  Call.ControlId = Request->dwControlID;
  Call.Channels = Request->cChannels;
  Call.MultipleItems = Request->cMultipleItems;
  Call.DetailsSize = Request->cbDetails;
  return Call;
}

MMRESULT WINAPI FakeMixerGetControlDetailsW(HMIXEROBJ Mixer, LPMIXERCONTROLDETAILS Request,
                                            DWORD Flags) {
  RecordRequest("mixerGetControlDetailsW", Mixer, Request, Flags);
  if (FakeMixer.DuringGet)
    FakeMixer.DuringGet();
  if (FakeMixer.GetResult != MMSYSERR_NOERROR)
    return FakeMixer.GetResult;
  *static_cast<DWORD *>(Request->paDetails) = FakeMixer.Values[Request->dwControlID];
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI FakeMixerSetControlDetails(HMIXEROBJ Mixer, LPMIXERCONTROLDETAILS Request,
                                           DWORD Flags) {
  const DWORD Value = *static_cast<const DWORD *>(Request->paDetails);
  RecordRequest("mixerSetControlDetails", Mixer, Request, Flags).Value = Value;
  if (FakeMixer.SetResult != MMSYSERR_NOERROR)
    return FakeMixer.SetResult;
  FakeMixer.Values[Request->dwControlID] = Value;
  return MMSYSERR_NOERROR;
}

DWORD WINAPI FakeGetTickCount() {
  static const auto Real = RealFunction<DWORD(WINAPI *)()>("kernel32.dll", "GetTickCount");
  return Fake.TickCount ? *Fake.TickCount : Real();
}

SHORT WINAPI FakeGetAsyncKeyState(int Key) {
  static const auto Real = RealFunction<SHORT(WINAPI *)(int)>("user32.dll", "GetAsyncKeyState");
  if (Key == VK_SHIFT)
    ++Fake.ShiftReads;
  if (Key == VK_SHIFT && Fake.ShiftDown)
    return *Fake.ShiftDown ? static_cast<SHORT>(0x8000) : 0;
  if (Fake.KeysHeld.count(Key) != 0)
    return static_cast<SHORT>(0x8000);
  return Real(Key);
}

void RunNestedLoop() {
  MSG Message = {};
  while (PeekMessageA(&Message, nullptr, 0, 0, PM_REMOVE)) {
    if (Message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(Message.wParam));
      return;
    }
    TranslateMessage(&Message);
    DispatchMessageA(&Message);
  }
}

// The fake monitors' handles are their place in the list, counted from 1.
BOOL WINAPI FakeEnumDisplayMonitors(HDC Dc, LPCRECT Clip, MONITORENUMPROC Callback, LPARAM Data) {
  static const auto Real =
      RealFunction<decltype(&EnumDisplayMonitors)>("user32.dll", "EnumDisplayMonitors");
  if (Fake.Monitors.empty())
    return Real(Dc, Clip, Callback, Data);
  for (size_t Index = 0; Index < Fake.Monitors.size(); ++Index) {
    RECT Bounds = Fake.Monitors[Index];
    if (!Callback(reinterpret_cast<HMONITOR>(Index + 1), nullptr, &Bounds, Data))
      break;
  }
  return TRUE;
}

BOOL WINAPI FakeGetMonitorInfoW(HMONITOR Monitor, LPMONITORINFO Info) {
  static const auto Real =
      RealFunction<decltype(&GetMonitorInfoW)>("user32.dll", "GetMonitorInfoW");
  if (Fake.Monitors.empty())
    return Real(Monitor, Info);
  const size_t Index = reinterpret_cast<size_t>(Monitor) - 1;
  Info->rcMonitor = Info->rcWork = Fake.Monitors.at(Index);
  Info->dwFlags = Info->rcMonitor.left == 0 && Info->rcMonitor.top == 0 ? MONITORINFOF_PRIMARY : 0;
  return TRUE;
}

int WINAPI FakeMessageBoxW(HWND Owner, LPCWSTR Text, LPCWSTR Caption, UINT Style) {
  Fake.Sequence.push_back("MessageBoxW");
  Fake.Boxes.push_back(TMessageBoxCall{Owner, Text ? Text : L"", Caption ? Caption : L"",
                                       Caption != nullptr, Style});
  if (!Fake.DuringBoxes.empty()) {
    const std::function<void()> Action = Fake.DuringBoxes.front();
    Fake.DuringBoxes.erase(Fake.DuringBoxes.begin());
    Action();
    RunNestedLoop();
  }
  return IDOK;
}

BOOL WINAPI FakeRegisterHotKey(HWND Window, int Id, UINT Modifiers, UINT Key) {
  Fake.Sequence.push_back("RegisterHotKey");
  Fake.Registered.push_back(THotKeyCall{Window, Id, Modifiers, Key});
  // The system refuses an id the window already holds, as it does a combination
  // another program holds.
  if (Fake.RefusedKeys.count(Key) != 0 || Fake.HotKeysHeld.count(Id) != 0) {
    SetLastError(ERROR_HOTKEY_ALREADY_REGISTERED);
    return FALSE;
  }
  // Vista knows no modifier beyond these four.
  if (Fake.RefusesNoRepeat && (Modifiers & ~(MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Fake.HotKeysHeld.insert(Id);
  return TRUE;
}

BOOL WINAPI FakeUnregisterHotKey(HWND, int Id) {
  Fake.Sequence.push_back("UnregisterHotKey");
  Fake.Unregistered.push_back(Id);
  return Fake.HotKeysHeld.erase(Id) != 0;
}

BOOLEAN __cdecl FakeSetHook(int Kind, HWND Window, UINT Message) {
  Fake.Sequence.push_back("SetHook");
  Fake.SetHookWindows.push_back(Window);
  Fake.SetHookCalls.push_back(THookCall{Kind, Window, Message});
  Fake.HookInstalled = Fake.SetHookResult != FALSE;
  return Fake.SetHookResult;
}

void __cdecl FakeFreeHook() {
  Fake.Sequence.push_back("FreeHook");
  ++Fake.FreeHookCount;
  Fake.HookInstalled = false;
}

BOOLEAN __cdecl FakeClaimHookRecord(LPARAM Ticket, MSLLHOOKSTRUCT *Record) {
  if (Ticket == 0 || Ticket != Fake.HookTicket)
    return FALSE;
  Fake.HookTicket = 0;
  Fake.HookClaimed = Ticket;
  *Record = Fake.HookTurn;
  return TRUE;
}

BOOLEAN __cdecl FakeAnswerHookRecord(LPARAM Ticket, BOOLEAN Swallow) {
  if (Ticket == 0 || Ticket != Fake.HookClaimed || Fake.HookGaveUp)
    return FALSE;
  Fake.HookClaimed = 0;
  Fake.HookAnswers.push_back(Swallow != FALSE);
  return TRUE;
}

DWORD __cdecl FakeHookEventCount() { return Fake.HookEvents; }

BOOLEAN __cdecl FakeHookLost() { return Fake.HookLost; }

// With no hook library there is no watch to pause. Faked with its other exports, so
// that the library's own test can compile the real one in.
void __cdecl FakePauseHookWatch(BOOLEAN) {}

// For the hook library's own logic, compiled into its test: every raw input it reads
// is a turn of the wheel, reported while another program has the foreground.
BOOL WINAPI FakeRegisterRawInputDevices(PCRAWINPUTDEVICE Devices, UINT, UINT) {
  Fake.RawInputRegistrations.push_back(Devices->dwFlags);
  return TRUE;
}

UINT WINAPI FakeGetRawInputData(HRAWINPUT, UINT, LPVOID Data, PUINT Size, UINT) {
  RAWINPUT Turn = {};
  Turn.header.dwType = RIM_TYPEMOUSE;
  Turn.data.mouse.usButtonFlags = RI_MOUSE_WHEEL;
  *static_cast<RAWINPUT *>(Data) = Turn;
  return *Size = sizeof Turn;
}

BOOL WINAPI FakeShellNotifyIconW(DWORD Action, PNOTIFYICONDATAW Data) {
  Fake.Sequence.push_back("Shell_NotifyIconW");
  NOTIFYICONDATAW Copy = {};
  std::memcpy(&Copy, Data, std::min<size_t>(Data->cbSize, sizeof Copy));
  Fake.TrayCalls.emplace_back(Action, Copy);
  // The shell keeps one icon: it adds it once, and modifies or deletes only one it has.
  switch (Action) {
  case NIM_ADD:
    if (Fake.RefusedTrayAdds > 0) {
      --Fake.RefusedTrayAdds;
      return FALSE;
    }
    return !std::exchange(Fake.TrayIconShown, true);
  case NIM_DELETE:
    return std::exchange(Fake.TrayIconShown, false);
  default:
    return Fake.TrayIconShown;
  }
}

using TCreateWindowExW = decltype(&CreateWindowExW);
HWND WINAPI FakeCreateWindowExW(DWORD ExStyle, LPCWSTR Class, LPCWSTR Title, DWORD Style, int X,
                                int Y, int Width, int Height, HWND Parent, HMENU Menu,
                                HINSTANCE Instance, LPVOID Param) {
  static const auto Real = RealFunction<TCreateWindowExW>("user32.dll", "CreateWindowExW");
  if (Fake.RefuseWindowCreation)
    return nullptr;
  return Real(ExStyle, Class, Title, Style, X, Y, Width, Height, Parent, Menu, Instance, Param);
}

BOOL WINAPI FakeGetMessageW(LPMSG Message, HWND Window, UINT First, UINT Last) {
  static const auto Real = RealFunction<decltype(&GetMessageW)>("user32.dll", "GetMessageW");
  if (Fake.FailGetMessage > 0) {
    --Fake.FailGetMessage;
    return -1;
  }
  return Real(Message, Window, First, Last);
}

// The timer is real, so WM_TIMER still comes and KillTimer still tells whether it ran.
UINT_PTR WINAPI FakeSetTimer(HWND Window, UINT_PTR Id, UINT Period, TIMERPROC Procedure) {
  static const auto Real = RealFunction<decltype(&SetTimer)>("user32.dll", "SetTimer");
  Fake.Sequence.push_back("SetTimer");
  Fake.TimersSet.push_back(TTimerCall{Window, Id, Period, Procedure != nullptr});
  return Real(Window, Id, Period, Procedure);
}

// Stands for the one Windows 8 and later offer, where Wine's would pass no fake.
UINT_PTR WINAPI FakeSetCoalescableTimer(HWND Window, UINT_PTR Id, UINT Period, TIMERPROC Procedure,
                                        ULONG Tolerance) {
  Fake.Tolerances.push_back(Tolerance);
  return FakeSetTimer(Window, Id, Period, Procedure);
}

BOOL WINAPI FakeKillTimer(HWND Window, UINT_PTR Id) {
  static const auto Real = RealFunction<decltype(&KillTimer)>("user32.dll", "KillTimer");
  Fake.Sequence.push_back("KillTimer");
  return Real(Window, Id);
}

BOOL WINAPI FakeModifyMenuW(HMENU Menu, UINT Item, UINT Flags, UINT_PTR NewId, LPCWSTR Text) {
  static const auto Real = RealFunction<decltype(&ModifyMenuW)>("user32.dll", "ModifyMenuW");
  Fake.Sequence.push_back("ModifyMenuW");
  return Real(Menu, Item, Flags, NewId, Text);
}

BOOL WINAPI FakeGetCursorPos(LPPOINT Point) {
  static const auto Real = RealFunction<decltype(&GetCursorPos)>("user32.dll", "GetCursorPos");
  if (!Fake.CursorPos)
    return Real(Point);
  *Point = *Fake.CursorPos;
  return TRUE;
}

// Recorded and never passed on: the real one would get focus and wait for the user.
BOOL WINAPI FakeSetForegroundWindow(HWND) {
  Fake.Sequence.push_back("SetForegroundWindow");
  return TRUE;
}

// A modal menu would wait for a click; the fake answers at once with the test's choice.
BOOL WINAPI FakeTrackPopupMenuEx(HMENU Menu, UINT Flags, int X, int Y, HWND Owner,
                                 LPTPMPARAMS Parameters) {
  Fake.Sequence.push_back("TrackPopupMenuEx");
  Fake.PopupMenus.push_back(TPopupMenuCall{Menu, Flags, X, Y, Owner, Parameters != nullptr});
  return static_cast<BOOL>(Fake.MenuChoice);
}

HRESULT WINAPI FakeCoInitializeEx(LPVOID, DWORD Model) {
  ++Fake.ComInitialised;
  Fake.ComModel = Model;
  return S_OK;
}

void WINAPI FakeCoUninitialize() {
  --Fake.ComInitialised;
  Fake.LiveAtUninitialize.push_back(FakeEndpoints.LiveObjects);
}

HRESULT WINAPI FakeCoCreateInstance(REFCLSID Class, LPUNKNOWN Outer, DWORD Context, REFIID Id,
                                    LPVOID *Object) {
  static const auto Real =
      RealFunction<decltype(&CoCreateInstance)>("ole32.dll", "CoCreateInstance");
  if (Class == __uuidof(MMDeviceEnumerator))
    return CreateFakeEnumerator(Id, Object);
  return Real(Class, Outer, Context, Id, Object);
}

void WINAPI FakeNotifyWinEvent(DWORD Event, HWND Window, LONG Object, LONG Child) {
  Fake.WinEvents.emplace_back(Event, Window, Object, Child);
}

BOOL WINAPI FakeSystemParametersInfoW(UINT Action, UINT Size, PVOID Data, UINT Flags) {
  static const auto Real =
      RealFunction<decltype(&SystemParametersInfoW)>("user32.dll", "SystemParametersInfoW");
  if (Action != SPI_GETHIGHCONTRAST)
    return Real(Action, Size, Data, Flags);
  static_cast<HIGHCONTRASTW *>(Data)->dwFlags = Fake.HighContrast ? HCF_HIGHCONTRASTON : 0;
  return TRUE;
}

// ---- The program's own path ----

DWORD WINAPI FakeGetModuleFileNameW(HMODULE Module, LPWSTR Path, DWORD Size) {
  static const auto Real =
      RealFunction<decltype(&GetModuleFileNameW)>("kernel32.dll", "GetModuleFileNameW");
  if (Module != nullptr || FakeModulePath.empty())
    return Real(Module, Path, Size);
  const auto Length = static_cast<DWORD>(std::min<size_t>(FakeModulePath.size(), Size));
  std::memcpy(Path, FakeModulePath.c_str(), Length * sizeof(wchar_t));
  if (Length < Size)
    Path[Length] = L'\0';
  else
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return Length;
}

} // namespace

// The import slots. A call through __imp__Name lands in the fake above instead of
// the system DLL.
#define IMPORT_SLOT(Symbol, Fake)                                                                  \
  extern "C" {                                                                                     \
  extern decltype(&Fake) Slot_##Fake __asm__(Symbol);                                              \
  decltype(&Fake) Slot_##Fake = &Fake;                                                             \
  }

IMPORT_SLOT("__imp__GetTickCount@0", FakeGetTickCount)
IMPORT_SLOT("__imp__GetModuleFileNameW@12", FakeGetModuleFileNameW)
IMPORT_SLOT("__imp__GetAsyncKeyState@4", FakeGetAsyncKeyState)
IMPORT_SLOT("__imp__EnumDisplayMonitors@16", FakeEnumDisplayMonitors)
IMPORT_SLOT("__imp__GetMonitorInfoW@8", FakeGetMonitorInfoW)
IMPORT_SLOT("__imp__MessageBoxW@16", FakeMessageBoxW)
IMPORT_SLOT("__imp__RegisterHotKey@16", FakeRegisterHotKey)
IMPORT_SLOT("__imp__UnregisterHotKey@8", FakeUnregisterHotKey)
IMPORT_SLOT("__imp__SetHook", FakeSetHook)
IMPORT_SLOT("__imp__FreeHook", FakeFreeHook)
IMPORT_SLOT("__imp__ClaimHookRecord", FakeClaimHookRecord)
IMPORT_SLOT("__imp__AnswerHookRecord", FakeAnswerHookRecord)
IMPORT_SLOT("__imp__HookEventCount", FakeHookEventCount)
IMPORT_SLOT("__imp__HookLost", FakeHookLost)
IMPORT_SLOT("__imp__PauseHookWatch", FakePauseHookWatch)
IMPORT_SLOT("__imp__RegisterRawInputDevices@12", FakeRegisterRawInputDevices)
IMPORT_SLOT("__imp__GetRawInputData@20", FakeGetRawInputData)
IMPORT_SLOT("__imp__Shell_NotifyIconW@8", FakeShellNotifyIconW)
IMPORT_SLOT("__imp__CreateWindowExW@48", FakeCreateWindowExW)
IMPORT_SLOT("__imp__GetMessageW@16", FakeGetMessageW)
IMPORT_SLOT("__imp__SetTimer@16", FakeSetTimer)
IMPORT_SLOT("__imp__KillTimer@8", FakeKillTimer)
IMPORT_SLOT("__imp__ModifyMenuW@20", FakeModifyMenuW)
IMPORT_SLOT("__imp__GetCursorPos@4", FakeGetCursorPos)
IMPORT_SLOT("__imp__SetForegroundWindow@4", FakeSetForegroundWindow)
IMPORT_SLOT("__imp__TrackPopupMenuEx@24", FakeTrackPopupMenuEx)
IMPORT_SLOT("__imp__CoInitializeEx@8", FakeCoInitializeEx)
IMPORT_SLOT("__imp__CoUninitialize@0", FakeCoUninitialize)
IMPORT_SLOT("__imp__CoCreateInstance@20", FakeCoCreateInstance)
IMPORT_SLOT("__imp__NotifyWinEvent@16", FakeNotifyWinEvent)
IMPORT_SLOT("__imp__SystemParametersInfoW@16", FakeSystemParametersInfoW)

// ---- The loader: the system DLLs the program loads, winmm among them ----

TFakeLoader FakeLoader;

namespace {

// Handed out for winmm: no real module has it, so only the fake mixer's functions are
// found in it.
const HMODULE FakeWinmm = reinterpret_cast<HMODULE>(static_cast<UINT_PTR>(0x7A100000));

// GetProcAddress's own slot holds the fake, so the real lookup is the loader's.
struct TAnsiString {
  USHORT Length;
  USHORT MaximumLength;
  LPCSTR Buffer;
};
extern "C" __declspec(dllimport) LONG WINAPI
    LdrGetProcedureAddress(HMODULE, const TAnsiString *, ULONG, void **);

FARPROC RealGetProcAddress(HMODULE Module, LPCSTR Name) {
  const bool ByOrdinal = HIWORD(reinterpret_cast<UINT_PTR>(Name)) == 0;
  const USHORT Length = ByOrdinal ? 0 : static_cast<USHORT>(lstrlenA(Name));
  const TAnsiString String = {Length, Length, Name};
  void *Address = nullptr;
  LdrGetProcedureAddress(Module, ByOrdinal ? nullptr : &String,
                         ByOrdinal ? static_cast<ULONG>(reinterpret_cast<UINT_PTR>(Name)) : 0,
                         &Address);
  return reinterpret_cast<FARPROC>(Address);
}

template <typename T> FARPROC AsFound(T Function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void *>(Function));
}

BOOL WINAPI FakeSetDefaultDllDirectories(DWORD Flags) {
  FakeLoader.DefaultDirectories.push_back(Flags);
  return TRUE;
}

BOOL WINAPI FakeSetDllDirectoryW(LPCWSTR Path) {
  FakeLoader.DllDirectories.push_back(Path);
  return TRUE;
}

const std::map<std::string, FARPROC> &FakeWinmmFunctions() {
  static const std::map<std::string, FARPROC> Functions = {
      {"mixerGetNumDevs", AsFound(FakeMixerGetNumDevs)},
      {"mixerOpen", AsFound(FakeMixerOpen)},
      {"mixerClose", AsFound(FakeMixerClose)},
      {"mixerGetLineInfoW", AsFound(FakeMixerGetLineInfoW)},
      {"mixerGetLineControlsW", AsFound(FakeMixerGetLineControlsW)},
      {"mixerGetControlDetailsW", AsFound(FakeMixerGetControlDetailsW)},
      {"mixerSetControlDetails", AsFound(FakeMixerSetControlDetails)}};
  return Functions;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE Module, LPCSTR Name) {
  if (Module == FakeWinmm) {
    const auto Found = FakeWinmmFunctions().find(Name);
    return Found == FakeWinmmFunctions().end() || FakeLoader.MissingFunction == Name
               ? nullptr
               : Found->second;
  }
  if (Module == GetModuleHandleW(L"kernel32.dll") &&
      HIWORD(reinterpret_cast<UINT_PTR>(Name)) != 0) {
    if (lstrcmpA(Name, "SetDefaultDllDirectories") == 0)
      return FakeLoader.HasDefaultDllDirectories ? AsFound(FakeSetDefaultDllDirectories) : nullptr;
    if (lstrcmpA(Name, "SetDllDirectoryW") == 0)
      return AsFound(FakeSetDllDirectoryW);
  }
  return RealGetProcAddress(Module, Name);
}

bool NamesLibrary(LPCWSTR Path, LPCWSTR Library) {
  const wchar_t *Name = wcsrchr(Path, L'\\');
  return lstrcmpiW(Name != nullptr ? Name + 1 : Path, Library) == 0;
}

// Every other library is the real one, so the program's lookups of newer functions
// see the system the tests run on.
HMODULE WINAPI FakeLoadLibraryExW(LPCWSTR Name, HANDLE File, DWORD Flags) {
  static const auto Real =
      RealFunction<decltype(&LoadLibraryExW)>("kernel32.dll", "LoadLibraryExW");
  if (FakeLoader.Recording)
    FakeLoader.Requests.push_back(TLibraryRequest{Name, Flags});
  if (NamesLibrary(Name, L"winmm.dll"))
    return FakeLoader.WinmmMissing ? nullptr : FakeWinmm;
  if (!Fake.OnWine && NamesLibrary(Name, L"ntdll.dll"))
    return nullptr;
  return Real(Name, File, Flags);
}

DWORD WINAPI FakeGetVersion() {
  static const auto Real = RealFunction<decltype(&GetVersion)>("kernel32.dll", "GetVersion");
  return FakeLoader.Version ? *FakeLoader.Version : Real();
}

} // namespace

void ResetFakeLoader() {
  FakeLoader = TFakeLoader();
  SystemFolderSearch = false;
  // From here on: the requests made by static constructors came before any test.
  FakeLoader.Recording = true;
}

std::wstring SystemFolderPath(const wchar_t *Library) {
  wchar_t Folder[MAX_PATH] = {};
  GetSystemDirectoryW(Folder, MAX_PATH);
  return std::wstring(Folder) + L"\\" + Library;
}

IMPORT_SLOT("__imp__LoadLibraryExW@12", FakeLoadLibraryExW)
IMPORT_SLOT("__imp__GetProcAddress@8", FakeGetProcAddress)
IMPORT_SLOT("__imp__GetVersion@0", FakeGetVersion)
