// Stand-ins for the platform functions the unit tests must control. Each one
// replaces its import slot, which the linker prefers to the import library, and
// records the calls it sees. ResetFakes() restores the defaults before each test.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "fake_endpoint.h"

// A mixer call with the arguments the tests check; fields a call does not have stay 0.
struct TMixerCall {
  std::string Function;
  UINT_PTR Mixer = 0; // for mixerOpen: the handle it handed out
  DWORD Flags = 0;
  // mixerOpen
  UINT Device = 0;
  DWORD_PTR Callback = 0;
  DWORD_PTR Instance = 0;
  // line queries
  DWORD StructSize = 0;
  DWORD ComponentType = 0;
  DWORD Destination = 0;
  DWORD Source = 0;
  // control query
  DWORD LineId = 0;
  DWORD ControlType = 0;
  DWORD ControlCount = 0;
  DWORD ControlSize = 0;
  // value requests
  DWORD ControlId = 0;
  DWORD Channels = 0;
  DWORD MultipleItems = 0;
  DWORD DetailsSize = 0;
  DWORD Value = 0;
};

// One mixer device with one speakers line. Controls are found by type; values are
// kept by control id.
struct TFakeMixer {
  UINT Devices = 1;
  MMRESULT OpenResult = MMSYSERR_NOERROR;
  bool HasSpeakersLine = true;
  DWORD SpeakersLineId = 0xFFFF0000;
  DWORD LineChannels = 2;
  std::vector<DWORD> SourceTypes; // component types of the speakers' source lines
  std::map<DWORD, DWORD> ControlIds = {{MIXERCONTROL_CONTROLTYPE_VOLUME, 1},
                                       {MIXERCONTROL_CONTROLTYPE_MUTE, 2}};
  std::map<DWORD, DWORD> Values = {{1, 65535}, {2, 0}};
  MMRESULT GetResult = MMSYSERR_NOERROR;
  MMRESULT SetResult = MMSYSERR_NOERROR;
  std::function<void()> DuringGet; // runs inside a value read, for re-entrancy
  std::vector<TMixerCall> Calls;
  int OpenHandles = 0;

  std::vector<std::string> Functions() const;
  int Count(const std::string &Function) const;
};

struct TMessageBoxCall {
  HWND Owner;
  std::wstring Text;
  std::wstring Caption;
  bool HasCaption;
  UINT Style;
};

struct THotKeyCall {
  HWND Window;
  int Id;
  UINT Modifiers;
  UINT Key;
};

struct THookCall {
  int Kind;
  HWND Window;
  UINT Message;
};

struct TTimerCall {
  HWND Window;
  UINT_PTR Id;
  UINT Period;
  bool HasProcedure;
};

struct TPopupMenuCall {
  HMENU Menu;
  UINT Flags;
  int X;
  int Y;
  HWND Owner;
  bool HasParameters;
};

struct TFakePlatform {
  std::optional<DWORD> TickCount;     // unset: the real tick count
  std::optional<bool> ShiftDown;      // unset: the real key state
  int ShiftReads = 0;                 // GetAsyncKeyState(VK_SHIFT) calls
  std::vector<RECT> Monitors;         // empty: the real monitors; the primary is at 0,0
  std::optional<POINT> CursorPos;     // unset: the real pointer position
  std::vector<TMessageBoxCall> Boxes; // boxes are recorded, never shown
  // Actions run one per box, in order, inside the box's nested loop: the loop then
  // dispatches what is queued until a WM_QUIT, which it posts again, as a real one does.
  std::vector<std::function<void()>> DuringBoxes;
  std::set<UINT> RefusedKeys;   // virtual keys RegisterHotKey refuses
  bool RefusesNoRepeat = false; // RegisterHotKey refuses MOD_NOREPEAT, as on Vista
  std::set<int> KeysHeld;       // keys other than Shift that GetAsyncKeyState reports down
  std::vector<THotKeyCall> Registered;
  std::vector<int> Unregistered;
  std::set<int> HotKeysHeld; // ids registered and not unregistered since
  BOOLEAN SetHookResult = TRUE;
  std::vector<HWND> SetHookWindows;
  std::vector<THookCall> SetHookCalls;
  int FreeHookCount = 0;
  bool HookInstalled = false;
  LPARAM HookTicket = 0;         // the turn the fake hook waits on; claimable once
  MSLLHOOKSTRUCT HookTurn = {};  // what a claim of it copies out
  LPARAM HookClaimed = 0;        // claimed and not answered yet
  bool HookGaveUp = false;       // the hook stops waiting before any answer comes
  std::vector<bool> HookAnswers; // answers taken, true to swallow
  DWORD HookEvents = 0;          // the hook's own event count
  bool HookLost = false;         // what the library answers when asked whether it lost its hook
  bool OnWine = false;           // ntdll shows Wine's export; otherwise the tests play Windows
  std::vector<std::pair<DWORD, NOTIFYICONDATAW>> TrayCalls; // action and the record as sent
  int RefusedTrayAdds = 0; // NIM_ADD calls the shell refuses, as at logon
  bool TrayIconShown = false;
  bool RefuseWindowCreation = false;
  int FailGetMessage = 0; // GetMessageW calls that fail before the real one answers again
  std::vector<TTimerCall> TimersSet;      // SetTimer, passed on to the real one
  std::vector<ULONG> Tolerances;          // of the coalescable timers, set through SetTimer
  std::vector<TPopupMenuCall> PopupMenus; // TrackPopupMenuEx, never shown
  UINT MenuChoice = 0;                    // the command the popup menu returns
  int ComInitialised = 0;                 // CoInitializeEx calls not yet balanced by CoUninitialize
  DWORD ComModel = 0;
  std::vector<LONG> LiveAtUninitialize; // fake audio objects alive at each CoUninitialize
  bool HighContrast = false;            // what SPI_GETHIGHCONTRAST reports; Wine's is off
  std::vector<std::tuple<DWORD, HWND, LONG, LONG>> WinEvents; // NotifyWinEvent, never raised
  // The flags of each RegisterRawInputDevices, which the hook library's own test meets.
  std::vector<DWORD> RawInputRegistrations;
  // The order of the mixer open and close, hook, hotkey, timer, tray, menu and box calls,
  // by function name.
  std::vector<std::string> Sequence;
};

extern TFakeMixer FakeMixer;
extern TFakePlatform Fake;
// The endpoints the program finds; by default none (no enumerator, as on XP), so the
// program takes the fake mixer.
extern TFakeAudioState FakeEndpoints;

// The program's own path as GetModuleFileNameW gives it; empty: the real one. One
// longer than the caller's buffer is cut without its terminator, as on XP.
extern std::wstring FakeModulePath;

void ResetFakes();

// ---- The loader: the system DLLs the program loads, winmm among them ----

struct TLibraryRequest {
  std::wstring Name;
  DWORD Flags;
};

// winmm is the fake mixer; every other DLL is the real one. kernel32 offers the
// functions that narrow the loader's search as the fields below say, and records
// their calls.
struct TFakeLoader {
  bool Recording = false;                // set by ResetFakes
  std::vector<TLibraryRequest> Requests; // LoadLibraryExW calls
  bool WinmmMissing = false;
  std::string MissingFunction; // a function the fake winmm lacks
  bool HasDefaultDllDirectories = true;
  std::optional<DWORD> Version; // what GetVersion reports; unset: the real one
  std::vector<DWORD> DefaultDirectories;
  std::vector<std::wstring> DllDirectories;
};

extern TFakeLoader FakeLoader;

void ResetFakeLoader();
// The full path of a DLL of that name in the system folder.
std::wstring SystemFolderPath(const wchar_t *Library);
