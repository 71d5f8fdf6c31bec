// Start-up, the window procedure and the shutdown.
#include "main.h"

#include "resource.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0 // Windows 8.1, newer than the headers' target
#endif

HWND MainWindow;
DWORD HideDelay;
int MinStep;
int Step;
int MaxStep;
int BorderWidth;
int ScreenWidth;
int ScreenHeight;
DWORD LastChangeTick;
std::unique_ptr<TAudioControl> VolumeControl;
std::unique_ptr<TAudioControl> MuteControl;
UINT TaskbarCreatedMessage;
int ExitCode;
bool ShuttingDown;
HANDLE InstanceMutex;

namespace {

constexpr wchar_t MainClassName[] = L"Tsonalto";
constexpr wchar_t MainWindowTitle[] = L" ";
// Local: the session's own namespace, so another user's session runs a copy of its own.
constexpr wchar_t InstanceMutexName[] = L"Local\\Brelin.Sonalto.Instance";

// A mutex made by an elevated copy refuses this one access; it exists all the same.
// Only the copy that runs keeps it.
bool AnotherCopyRuns() {
  const HANDLE Mutex = CreateMutexW(nullptr, FALSE, InstanceMutexName);
  const DWORD Error = GetLastError();
  const bool Another = Error == ERROR_ALREADY_EXISTS || Error == ERROR_ACCESS_DENIED ||
                       FindWindowW(MainClassName, nullptr) != nullptr;
  if (!Another)
    InstanceMutex = Mutex;
  else if (Mutex != nullptr)
    CloseHandle(Mutex);
  return Another;
}

// The program is ending: a copy started from now on may run.
void ReleaseInstance() {
  if (InstanceMutex != nullptr)
    CloseHandle(InstanceMutex);
  InstanceMutex = nullptr;
}

void ShowAlreadyRunning() {
  MessageBoxW(nullptr, LoadResourceString(IDS_ALREADY_RUNNING), LoadResourceString(IDS_EXIT),
              MB_OK | MB_ICONWARNING);
  PostQuitMessage(0);
}

void AssignSettings() {
  MainWindow = nullptr;
  LoadSettings();
  ScreenWidth = GetSystemMetrics(SM_CXSCREEN);
  ScreenHeight = GetSystemMetrics(SM_CYSCREEN);
  TakeMonitorLayout();
}

// The display sits over the corner where a maximised window has its menu and
// buttons: layered and transparent, it lets every click through to the window
// beneath, and as a tool window it takes no place in Alt+Tab. Fully opaque, it
// paints as any other window.
constexpr DWORD MainWindowExStyle =
    WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW;
constexpr BYTE Opaque = 255;

HWND CreateMainWindow() {
  const HWND Window = CreateWindowExW(MainWindowExStyle, MainClassName, MainWindowTitle, WS_POPUP,
                                      0, 0, DisplayWidth, DisplayHeight, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
  if (Window != nullptr)
    SetLayeredWindowAttributes(Window, 0, Opaque, LWA_ALPHA);
  return Window;
}

constexpr DWORD MSGFLT_ALLOW = 1;
using TChangeWindowMessageFilterEx = BOOL(WINAPI *)(HWND, UINT, DWORD, void *);

// An elevated program gets no message above WM_USER from the shell, which runs at a
// lower integrity level, unless it lets them through: the taskbar's return, and the
// icon's own callback, which no documentation exempts. Windows 7 and later; before,
// the function is absent and there is no such filter to open per window.
void LetTheShellThrough() {
  const auto ChangeWindowMessageFilterEx = reinterpret_cast<TChangeWindowMessageFilterEx>(
      NewerSystemFunction(L"user32.dll", "ChangeWindowMessageFilterEx"));
  if (ChangeWindowMessageFilterEx == nullptr)
    return;
  ChangeWindowMessageFilterEx(MainWindow, TaskbarCreatedMessage, MSGFLT_ALLOW, nullptr);
  ChangeWindowMessageFilterEx(MainWindow, WM_TRAYNOTIFY, MSGFLT_ALLOW, nullptr);
}

HHOOK TimerGuard;

// DispatchMessageW calls a WM_TIMER's lParam as its timer procedure. No timer of
// the program has one, so such a message was forged by another process: it is
// emptied wherever it is retrieved, in the main loop and in the modal loops of the
// message boxes and the menu alike.
LRESULT CALLBACK EmptyForgedTimer(int Code, WPARAM Removal, LPARAM Retrieved) {
  MSG &Message = *reinterpret_cast<MSG *>(Retrieved);
  if (Code == HC_ACTION && Message.message == WM_TIMER && Message.lParam != 0)
    Message.message = WM_NULL;
  return CallNextHookEx(TimerGuard, Code, Removal, Retrieved);
}

void GuardAgainstForgedTimers() {
  if (TimerGuard == nullptr)
    TimerGuard = SetWindowsHookExW(WH_GETMESSAGE, EmptyForgedTimer, nullptr, GetCurrentThreadId());
}

} // namespace

void StartApplication() {
  if (AnotherCopyRuns()) {
    ShowAlreadyRunning();
    return;
  }
  GuardAgainstForgedTimers();
  AssignSettings();
  FollowMovedPortableCopy();
  RegisterMainWindowClass();
  InitMainWindow();
}

ATOM RegisterMainWindowClass() {
  WNDCLASSW Class = {};
  Class.lpfnWndProc = MainWindowProc;
  Class.hInstance = GetModuleHandleW(nullptr);
  Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  Class.lpszClassName = MainClassName;
  return RegisterClassW(&Class);
}

void InitMainWindow() {
  Enabled = false;
  CreateDisplayObjects();
  MainWindow = CreateMainWindow();
  // Without its window the program could never be reached nor shown; staying
  // resident would leave an invisible process nobody can end.
  if (MainWindow == nullptr) {
    ExitCode = ExitCodeNoWindow;
    ReleaseInstance();
    PostQuitMessage(ExitCode);
    return;
  }
  SetDisplayDpi(PrimaryMonitorDpi());
  PlaceDisplay();
  CreateAudioControls();
  MarkDisplayLive();
  TrayRetryPeriod = FirstTrayRetryPeriod;
  TakeTrayDpi();
  AddTrayIcon();
  TaskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
  LetTheShellThrough();
  SetTipText(LoadResourceString(IDS_TIP));
  AddHotKeyAtoms();
  RegisterEnableHotKey();
  EnableControls();
}

// GetMessageW returns -1 on failure; looping on it would spin for ever. The settings
// dialog takes its own keys: Tab, the mnemonics, Enter and Esc.
int RunMessageLoop() {
  MSG Message = {};
  BOOL Result;
  while ((Result = GetMessageW(&Message, nullptr, 0, 0)) > 0) {
    if (SettingsDialog != nullptr && IsDialogMessageW(SettingsDialog, &Message))
      continue;
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
  return Result == 0 ? ExitCode : ExitCodeLoopFailed;
}

LRESULT CALLBACK MainWindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
  case WM_CREATE:
    CreateTrayMenu();
    return 0;
  case WM_DESTROY:
    ShutDown();
    return 0;
  case WM_PAINT:
    PaintDisplay(Window);
    return 0;
  case WM_DISPLAYCHANGE:
    TakeDisplaySize(LParam);
    return 0;
  case WM_SETTINGCHANGE:
  case WM_DPICHANGED:
    FollowDisplaySettings();
    return 0;
  case WM_SYSCOLORCHANGE:
    FollowSystemColours();
    return 0;
  case WM_TIMER:
    HandleTimer(WParam);
    return 0;
  case WM_HOTKEY:
    HandleHotKey(WParam);
    return 0;
  case MM_MIXM_CONTROL_CHANGE:
  case WM_ENDPOINTCHANGE:
    FollowControlChange();
    return 0;
  case WM_ENDPOINTREBIND:
    RebindAudioControls(WParam);
    return 0;
  case WM_TRAYNOTIFY:
    HandleTrayNotify(LParam);
    return 0;
  case WM_REFRESHTIP:
    RefreshTip();
    return 0;
  case WM_HOOKMOUSE:
    return HandleHookMouse(WParam, LParam) ? 1 : 0;
  case WM_WHEELSTEP:
    TakeWheelStep(WParam);
    return 0;
  case WM_ACTIVATEAPP:
    FollowActivation(WParam);
    return 0;
  }
  // Unregistered, the number is 0: WM_NULL must never pass for the taskbar's return.
  if (TaskbarCreatedMessage != 0 && Message == TaskbarCreatedMessage) {
    RecreateTrayIcon();
    return 0;
  }
  return DefWindowProcW(Window, Message, WParam, LParam);
}

void TakeDisplaySize(LPARAM LParam) {
  ScreenWidth = LOWORD(LParam);
  ScreenHeight = HIWORD(LParam);
  FollowDisplaySettings();
}

// Monitors come and go with display changes, and the scaling of the display's one
// can change with any of the three messages that lead here, as can the work area of a
// corner; high contrast is switched with a setting change.
void FollowDisplaySettings() {
  FollowSystemColours();
  TakeMonitorLayout();
  PlaceDisplay();
  // The tray icon is loaded again at the new small-icon size.
  if (TakeTrayDpi())
    ModifyTrayIcon();
}

// Any tick but the retries', the toggle key's and the announcement's is the hide
// timer's, whatever its id.
void HandleTimer(WPARAM Id) {
  switch (Id) {
  case TRAY_RETRY_TIMER_ID:
    RetryTrayIcon();
    return;
  case ENDPOINT_RETRY_TIMER_ID:
    RetryAudioControls();
    return;
  case TOGGLE_KEY_TIMER_ID:
    WatchHeldToggleKey();
    return;
  case ANNOUNCE_TIMER_ID:
    AnnounceChange();
    return;
  }
  HideDisplayWhenDue();
}

void ShutDown() {
  ShuttingDown = true;
  if (SettingsDialog != nullptr)
    DestroyWindow(SettingsDialog);
  DisableControls();
  UnregisterHotKey(MainWindow, EnableHotKeyId);
  ReleaseAudioControls();
  DeleteTrayIcon();
  ReleaseInstance();
  PostQuitMessage(0);
}

TResourceString LoadResourceString(UINT Id) {
  TResourceString String = {};
  LoadStringW(GetModuleHandleW(nullptr), Id, String.Text, ARRAYSIZE(String.Text));
  return String;
}

TSetCoalescableTimer SetCoalescableTimerFunction = reinterpret_cast<TSetCoalescableTimer>(
    NewerSystemFunction(L"user32.dll", "SetCoalescableTimer"));

namespace {
constexpr UINT LaxTimerToleranceShare = 10; // the tolerance: this share of the period
}

void SetLaxTimer(UINT_PTR Id, UINT Period) {
  if (SetCoalescableTimerFunction == nullptr ||
      !SetCoalescableTimerFunction(MainWindow, Id, Period, nullptr,
                                   Period / LaxTimerToleranceShare))
    SetTimer(MainWindow, Id, Period, nullptr);
}

void SetBackOffTimer(UINT_PTR Id, DWORD &Period, DWORD Longest) {
  SetLaxTimer(Id, Period);
  Period = Period * 2 < Longest ? Period * 2 : Longest;
}
