// The main module: every piece of the program's state, and the procedures that act
// on it around the one window procedure. Everything runs on the process's one
// thread; handlers may be re-entered from the nested loops of message boxes, the
// tray menu and the display's own WM_PAINT.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "audioControl.h"
#include "endpointSession.h"
#include "settings.h"
#include "systemLibrary.h"

// ---- Start-up, main window and message loop ----

extern HWND MainWindow;
// Taken from Settings by ApplySettings.
extern DWORD HideDelay;  // ms without a change before the display hides; 0: never shown
extern int MinStep;      // mixer units; also what a quick step adds
extern int Step;         // amount the next volume action moves the fader
extern int MaxStep;      // mixer units
extern int BorderWidth;  // pixels of the wheel band along the screen's edges
extern int ScreenWidth;  // primary screen, pixels
extern int ScreenHeight; // primary screen, pixels
extern DWORD LastChangeTick;
extern std::unique_ptr<TAudioControl> VolumeControl;
extern std::unique_ptr<TAudioControl> MuteControl;
extern UINT TaskbarCreatedMessage;

constexpr UINT WM_TRAYNOTIFY = WM_USER + 1;
constexpr UINT WM_REFRESHTIP = WM_USER + 2;
constexpr UINT WM_HOOKMOUSE = WM_USER + 133;

// Exit codes for the two ways start-up or the loop can fail; every ordinary path
// ends with 0.
constexpr int ExitCodeNoWindow = 1;
constexpr int ExitCodeLoopFailed = 2;

// What the process ends with. Set only by the program itself: the wParam of a
// WM_QUIT can come from any process.
extern int ExitCode;
// True once the shutdown has run: no icon, hook or hotkey may come back after it,
// also from a nested loop that was open when it ran.
extern bool ShuttingDown;
// Held from the first step of the start-up to the shutdown: two copies started at the
// same moment cannot both miss each other's window.
extern HANDLE InstanceMutex;

void StartApplication();
ATOM RegisterMainWindowClass();
void InitMainWindow();
int RunMessageLoop();
LRESULT CALLBACK MainWindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
void TakeDisplaySize(LPARAM LParam);
void HandleTimer(WPARAM Id);
void FollowDisplaySettings();
void ShutDown();

// A text of the string table, loaded at each use; long enough for the longest, the
// help text.
struct TResourceString {
  wchar_t Text[512];
  operator const wchar_t *() const { return Text; }
};
TResourceString LoadResourceString(UINT Id);

// Windows 8 and later let a timer's tick come late by a tolerance, so that the system
// wakes once for several timers; null before.
using TSetCoalescableTimer = UINT_PTR(WINAPI *)(HWND, UINT_PTR, UINT, TIMERPROC, ULONG);
extern TSetCoalescableTimer SetCoalescableTimerFunction;

// A timer of MainWindow whose tick may come a little late, where the system allows it.
void SetLaxTimer(UINT_PTR Id, UINT Period);
// A lax timer for Period, which then doubles up to Longest for the next wait.
void SetBackOffTimer(UINT_PTR Id, DWORD &Period, DWORD Longest);

// ---- Volume controls ----

// From the endpoint's notifications, posted on the system's threads: a volume or mute
// change (handled as the mixer's MM_MIXM_CONTROL_CHANGE), and a new default device.
constexpr UINT WM_ENDPOINTCHANGE = WM_USER + 3;
constexpr UINT WM_ENDPOINTREBIND = WM_USER + 4;

extern TEndpointSession Endpoints; // open only while the endpoint is the way
extern bool ComStarted;            // so a second WM_DESTROY cannot uninitialise COM twice
extern DWORD LastRebindTick;       // when the controls were last bound anew
// The mixer's controls serve until the endpoint binds: its service answered E_FAIL at
// start, as Wine's does without an audio driver.
extern bool MixerServes;
// The wait before the next bind while the service does not answer: it doubles at each
// failed bind, so that a service that stays away costs next to nothing.
extern DWORD EndpointRetryPeriod;

// Binds the controls again while the audio service has not answered, and carries
// out a rebind that a failed call asked for too soon after the last.
constexpr UINT_PTR ENDPOINT_RETRY_TIMER_ID = 3;

void CreateAudioControls();
void RebindAudioControls(WPARAM Cause);
void RetryAudioControls();
void BindAbsentAudioControls();
bool AudioControlsLost();
void ReleaseAudioControls();

// ---- Volume ----

// The mute switch's two values.
constexpr DWORD Muted = 1;
constexpr DWORD Unmuted = 0;
// The fader's loudest value.
constexpr int FaderMax = 65535;

void VolumeUp();
void VolumeDown();
void ToggleMute();

// The level and mute state the program last set or saw: a notification that brings
// others tells of a change made elsewhere.
extern DWORD KnownVolume;
extern DWORD KnownMute;
void FollowControlChange();

// ---- Display ----

enum TChangeKind : BYTE { CHANGE_VOLUME = 1, CHANGE_MUTE = 2 };

// Sizes at 96 DPI. The display is drawn for the DPI of the monitor where it sits: at
// any other every size and position scales by DisplayDpi / 96.
constexpr int DisplayWidth = 150;
constexpr int DisplayHeight = 60;
constexpr UINT DefaultDpi = 96;

extern HBRUSH BackgroundBrush;
extern HBRUSH BarBrush;
extern HPEN FramePen;
extern RECT BarRect;
extern UINT DisplayDpi;
extern HFONT LabelFont; // the display's words, in the user interface font at DisplayDpi

void CreateDisplayObjects();
void SetBarRect();
UINT PrimaryMonitorDpi();
void SetDisplayDpi(UINT Dpi);
void PlaceDisplay();
int ScaleForDpi(int Pixels);
// Ticks only while the display is shown and the controls are on: at rest nothing runs.
constexpr UINT_PTR HIDE_TIMER_ID = 1;

void ShowDisplay(TChangeKind Change);
void StartHideTimer();
void PaintDisplay(HWND Window);
void HideDisplayWhenDue();
int FilledBarWidth(DWORD Volume, int BarWidth);

// The colours painting uses: the display's own, or the system's while high contrast
// is on. Only the high-contrast pen is made for the palette; the system's brushes
// are never deleted.
struct TDisplayPalette {
  HBRUSH Background;
  HBRUSH Bar;
  HBRUSH EmptyBar;
  HPEN Frame;
  COLORREF Text;
};
extern TDisplayPalette DisplayPalette;
extern HPEN HighContrastPen; // null while high contrast is off

void FollowSystemColours();

// A screen reader hears each change once it has settled: the window's text, which
// a reader takes for the display's name, then tells the level and the mute state,
// and a live-region event asks for it to be read. Each change arms the one-shot settle
// timer anew, so a burst of steps is told once, with its final level.
constexpr UINT_PTR ANNOUNCE_TIMER_ID = 5;

#ifndef EVENT_OBJECT_LIVEREGIONCHANGED
#define EVENT_OBJECT_LIVEREGIONCHANGED 0x8019 // Windows 8, newer than the headers' target
#endif

void AnnounceChange();
void MarkDisplayLive();

// ---- Tray ----

// NOTIFYICONDATAW as the shell has read it since Windows 2000: the 128-character
// tip and the balloon fields, nothing after. Newer headers append fields the
// program never sets, so the record is declared at its fixed size.
struct TNotifyIconDataW {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  HICON hIcon;
  WCHAR szTip[128];
  DWORD dwState;
  DWORD dwStateMask;
  WCHAR szInfo[256];
  UINT uTimeoutOrVersion;
  WCHAR szInfoTitle[64];
  DWORD dwInfoFlags;
};
static_assert(sizeof(TNotifyIconDataW) == 936, "the shell expects the 936-byte record");

extern TNotifyIconDataW TrayIconData;
extern HICON TrayIconHandle;
extern wchar_t TipText[128]; // what the tip field holds: at most 127 characters
constexpr int TrayImageCount = 4;
extern HICON TrayImages[TrayImageCount]; // loaded at their first use, at TrayImageSize
extern int TrayImageSize;                // pixels: the small-icon size for TrayDpi
// Of the primary monitor, where the taskbar shows the icon, whichever monitor the
// display goes to.
extern UINT TrayDpi;

void FillTrayIconData();
void AddTrayIcon();
void ModifyTrayIcon();
void DeleteTrayIcon();
void SetTipText(const wchar_t *Text);
void RefreshTip();
void RecreateTrayIcon();
// True when the primary monitor has changed its scaling since the last time.
bool TakeTrayDpi();

// Asks the shell again while it has not taken the icon, less and less often.
constexpr UINT_PTR TRAY_RETRY_TIMER_ID = 2;
constexpr DWORD FirstTrayRetryPeriod = 2000; // ms
extern DWORD TrayRetryPeriod;                // the wait before the next ask
void RetryTrayIcon();

// ---- Tray menu ----

constexpr UINT CMD_EXIT = 4;
constexpr UINT CMD_TOGGLE_ENABLE = 6;
constexpr UINT CMD_CONTROLS = 10;
constexpr UINT CMD_SETTINGS = 11;

extern HMENU TrayMenu;

void CreateTrayMenu();
void UpdateEnableMenuItem();
void HandleTrayNotify(LPARAM LParam);
void ShowTrayMenu();

// ---- Settings dialog ----

// One at a time and modeless, so that the wheel, the display and the tray go on
// working while it is open; the main loop hands it its keyboard input.
extern HWND SettingsDialog;
// The values the fields were last filled from: a field that still shows its one keeps
// it exactly, though its percent is rounded.
extern TSettingValues ShownSettings;
// After "Defaults" every value counts as changed, so that OK removes each stored one.
extern bool DefaultsChosen;
// What the "Start with Windows" box showed when filled: only a change of it is written.
extern bool StartShown;

void OpenSettingsDialog();
// The dialog's caption and each control's text in the user's language, then fitted
// to them.
void ShowDialogTexts(HWND Dialog);
// The dialog widened as a whole, all its controls in proportion, until the text that
// is widest for its control fits; centred where it was.
void FitDialogToTexts(HWND Dialog);

// ---- Hotkeys and enabling ----

extern bool Enabled; // the result of the last SetHook, if any; false once disabled
extern DWORD MuteHotKeyId;
extern DWORD VolumeUpHotKeyId;
extern DWORD VolumeDownHotKeyId;
extern DWORD EnableHotKeyId;

// Counts the switches on and off: a refusal box of an enable runs a nested loop in
// which the user can switch again or exit, and the enable must then stop.
extern DWORD SwitchCount;

void AddHotKeyAtoms();
void RegisterEnableHotKey();
void EnableControls();
void DisableControls();
void ToggleEnabled();
void HandleHotKey(WPARAM Id);

// For the settings dialog: its key fields must be able to take the program's own keys.
void UnregisterAllHotKeys();
void RegisterHotKeysAsSet();
bool HotKeyFree(DWORD Key); // true for no key

#ifndef MOD_NOREPEAT
#define MOD_NOREPEAT 0x4000 // Windows 7, newer than the headers' target
#endif

// A held toggle key repeats its hotkey where MOD_NOREPEAT is refused (Vista) or
// ignored (Wine); only there the program tells the repeats itself: the key of the
// last toggle, while it has been held since, and the timer that watches for its
// release. A repeat may come as a release and a press at once, so the key counts as
// let go only once it is seen up at consecutive ticks.
extern bool FilterToggleRepeats;
extern UINT HeldToggleKey;
extern int ToggleKeyUpTicks;
extern int ToggleKeyWatchTicks;    // ticks since the toggle: the watch gives up in time
extern DWORD LastToggleHotKeyTick; // of the latest hotkey of a toggle, repeat or press
constexpr UINT_PTR TOGGLE_KEY_TIMER_ID = 4;
constexpr int ToggleKeyReleaseTicks = 2;
void WatchHeldToggleKey();

// The hook's watchdog: Windows removes a hook that was too slow once, without a word.
// The hook library reports wheel turns that its hook no longer sees after one of its
// calls came late or ran long, which a hook of another program that keeps the turns
// never causes, and the hook is installed again once the wait since the last install
// has passed. A hook that cannot be installed, at an enable or here, leaves the
// program wholly disabled.
constexpr DWORD FirstReinstallWait = 5000; // ms
extern DWORD HookInstallTick;              // when SetHook last ran
extern DWORD HookReinstallWait;

void WatchHook();
// The library stops watching while one of the program's windows is the foreground.
void FollowActivation(WPARAM Active);

// ---- Wheel ----

// The hook only decides; the step itself runs from this message, posted to
// MainWindow, with the direction in wParam.
constexpr UINT WM_WHEELSTEP = WM_USER + 5;
enum TWheelDirection : WPARAM { WHEEL_STEP_DOWN = 0, WHEEL_STEP_UP = 1 };

// Steps decided for turns whose step message has not been handled yet: a step
// message that no turn asked for came from another process.
extern DWORD WheelStepsPending;

// The signed part of a notch taken from turns but not yet stepped, and the time
// stamp of the turn that left it. A wheel at rest longer than this drops it.
extern int WheelRemainder;
extern DWORD WheelRemainderTime;
constexpr DWORD WheelRestTime = 500; // ms

// True when the program takes the turn: the hook library then swallows it.
bool HandleHookMouse(WPARAM MouseMessage, LPARAM Ticket);
void TakeWheelStep(WPARAM Direction);

// Every monitor but the primary, which is 0, 0, ScreenWidth, ScreenHeight; taken at
// start-up and at each display change. More than this many is not a desktop anyone
// has: the rest count as off the desktop.
constexpr int MaxOtherMonitors = 15;
extern RECT OtherMonitors[MaxOtherMonitors];
extern int OtherMonitorCount;

void TakeMonitorLayout();

// The pointer over the program's own tray icon, as the icon's mouse messages tell:
// where and when the last move over it came, and the icon's rectangle, the shell's
// where it tells it (Windows 7 on); empty once the pointer has left. A turn counts as
// over the icon while the pointer stays at that spot, or for a short time after
// anywhere within the rectangle.
extern POINT TrayPointer;
extern DWORD TrayPointerTick;
extern RECT TrayIconArea;
constexpr DWORD TrayHoverTime = 400; // ms

void FollowTrayPointer();
