// The four global hotkeys, and switching the mouse hook, the volume hotkeys and the
// display's hide timer on and off together.
#include "main.h"

#include "morvaskint.h"
#include "resource.h"

bool Enabled;
DWORD MuteHotKeyId;
DWORD VolumeUpHotKeyId;
DWORD VolumeDownHotKeyId;
DWORD EnableHotKeyId;
DWORD SwitchCount;
DWORD HookInstallTick;
DWORD HookReinstallWait;
bool FilterToggleRepeats;
UINT HeldToggleKey;
int ToggleKeyUpTicks;
int ToggleKeyWatchTicks;
DWORD LastToggleHotKeyTick;

namespace {

constexpr wchar_t NoCaption[] = L"";
constexpr DWORD LastReinstallWait = 320000; // ms
// Outside the range of the global atoms that name the program's own four.
constexpr int TrialHotKeyId = 1;

// Often enough to tell a release from the next press of a quick hand.
constexpr UINT ToggleKeyWatchPeriod = 30; // ms
// A release the program never sees (the key let go on the secure desktop) must not
// keep the watch running: it gives up after about two seconds.
constexpr int ToggleKeyWatchLimit = 2000 / ToggleKeyWatchPeriod;
// Longer than the slowest key repeat that Windows offers.
constexpr DWORD ToggleRepeatGap = 500; // ms
constexpr SHORT KeyDown = static_cast<SHORT>(0x8000);

// Another program holding the combination is the only refusal; the user is told
// and the program goes on without that hotkey.
void TellRefusal(UINT Refusal, UINT Style) {
  MessageBoxW(nullptr, LoadResourceString(Refusal), NoCaption, Style);
}

void RegisterHotKeyOrSay(DWORD Id, UINT Modifiers, UINT Key, UINT Refusal, UINT Style) {
  if (!RegisterHotKey(MainWindow, static_cast<int>(Id), Modifiers, Key))
    TellRefusal(Refusal, Style);
}

// A toggle acts once per press. Vista refuses the flag that says so; the key is then
// registered without it, and TakeTogglePress tells the repeats apart. A key another
// program holds is refused once, with one box.
void RegisterToggleOrSay(DWORD Id, UINT Modifiers, UINT Key, UINT Refusal, UINT Style) {
  if (RegisterHotKey(MainWindow, static_cast<int>(Id), Modifiers | MOD_NOREPEAT, Key))
    return;
  if (GetLastError() == ERROR_HOTKEY_ALREADY_REGISTERED) {
    TellRefusal(Refusal, Style);
    return;
  }
  FilterToggleRepeats = true;
  RegisterHotKeyOrSay(Id, Modifiers, Key, Refusal, Style);
}

// Wine takes the flag and repeats a held hotkey all the same.
bool IgnoresNoRepeat() { return NewerSystemFunction(L"ntdll.dll", "wine_get_version") != nullptr; }

bool IsKeyDown(UINT Key) { return (GetAsyncKeyState(static_cast<int>(Key)) & KeyDown) != 0; }

// False for a repeat: the key is down and has been held since the toggle it made.
// Once the watch has given up, only a hotkey that follows the last one closely is a
// repeat: a held key repeats without a pause. Where the system drops the repeats
// itself, a quick second press is never one.
// A toggle set to no key has no hotkey: a message of its id was forged by another
// process, and must not start a watch for a key that is none.
bool TakeTogglePress(UINT Key) {
  if (Key == 0)
    return false;
  if (!FilterToggleRepeats)
    return true;
  const DWORD Now = GetTickCount();
  const bool Watched = ToggleKeyWatchTicks < ToggleKeyWatchLimit;
  const bool Repeat = HeldToggleKey == Key && IsKeyDown(Key) &&
                      (Watched || Now - LastToggleHotKeyTick < ToggleRepeatGap);
  LastToggleHotKeyTick = Now;
  if (Repeat)
    return false;
  HeldToggleKey = Key;
  ToggleKeyUpTicks = 0;
  ToggleKeyWatchTicks = 0;
  SetTimer(MainWindow, TOGGLE_KEY_TIMER_ID, ToggleKeyWatchPeriod, nullptr);
  return true;
}

struct THotKey {
  const DWORD &Id;
  TSettingId Setting;
  UINT Refusal;
  decltype(&RegisterHotKeyOrSay) Register;
  UINT Style;
};

// In the order of registration: of two actions set to one key, the later loses and
// is refused as if another program held the key. Holding a volume key sweeps the
// volume: only the toggles refuse repeats.
const THotKey HotKeys[] = {
    {EnableHotKeyId, SWITCH_KEY, IDS_SWITCH_KEY_REFUSED, RegisterToggleOrSay,
     MB_OK | MB_ICONWARNING},
    {MuteHotKeyId, MUTE_KEY, IDS_MUTE_KEY_REFUSED, RegisterToggleOrSay, MB_OK},
    {VolumeUpHotKeyId, VOLUME_UP_KEY, IDS_VOLUME_UP_KEY_REFUSED, RegisterHotKeyOrSay, MB_OK},
    {VolumeDownHotKeyId, VOLUME_DOWN_KEY, IDS_VOLUME_DOWN_KEY_REFUSED, RegisterHotKeyOrSay, MB_OK}};
constexpr int SwitchHotKey = 0;
constexpr int FirstVolumeHotKey = 1;

void RegisterAsSet(int Index) {
  const THotKey &HotKey = HotKeys[Index];
  const DWORD Key = Settings[HotKey.Setting];
  if (Key == 0)
    return;
  for (int Earlier = 0; Earlier < Index; ++Earlier)
    if (Settings[HotKeys[Earlier].Setting] == Key) {
      TellRefusal(HotKey.Refusal, HotKey.Style);
      return;
    }
  HotKey.Register(HotKey.Id, HotKeyModifiers(Key), HotKeyCode(Key), HotKey.Refusal, HotKey.Style);
}

// False when a switch made in the nested loop of a refusal box has taken over: the
// state is then wholly that switch's, and the enable that opened the box stops. While
// the settings dialog is open its key fields take the keys: the dialog registers them
// when it closes.
bool RegisterVolumeHotKeys(DWORD Switch) {
  for (int Index = FirstVolumeHotKey;
       SettingsDialog == nullptr && Index < static_cast<int>(ARRAYSIZE(HotKeys)); ++Index) {
    RegisterAsSet(Index);
    if (SwitchCount != Switch)
      return false;
  }
  return true;
}

void UnregisterVolumeHotKeys() {
  UnregisterHotKey(MainWindow, static_cast<int>(MuteHotKeyId));
  UnregisterHotKey(MainWindow, static_cast<int>(VolumeUpHotKeyId));
  UnregisterHotKey(MainWindow, static_cast<int>(VolumeDownHotKeyId));
}

// Without a hook the program is disabled as a whole: icon, menu, keys and timer then
// agree, and the next enable registers every key anew without refusing the program
// its own. With no wheel gesture on there is no hook at all, so that no turn of the
// desktop waits for the program's thread.
bool InstallHookOrDisable() {
  const bool Hooked =
      Settings[EDGE_WHEEL] != 0 || Settings[WHEEL_MODIFIER] != 0 || Settings[TRAY_WHEEL] != 0;
  if (!Hooked)
    FreeHook();
  Enabled = !Hooked || SetHook(WH_MOUSE_LL, MainWindow, WM_HOOKMOUSE) != 0;
  HookInstallTick = GetTickCount();
  if (!Enabled)
    DisableControls();
  return Enabled;
}

} // namespace

void AddHotKeyAtoms() {
  MuteHotKeyId = GlobalAddAtomW(L"sonalHKMute");
  VolumeUpHotKeyId = GlobalAddAtomW(L"sonalHKVolUp");
  VolumeDownHotKeyId = GlobalAddAtomW(L"sonalHKVolDown");
  EnableHotKeyId = GlobalAddAtomW(L"sonalHKEnabDis");
}

void RegisterEnableHotKey() {
  FilterToggleRepeats = IgnoresNoRepeat();
  RegisterAsSet(SwitchHotKey);
}

void EnableControls() {
  if (ShuttingDown)
    return;
  const DWORD Switch = ++SwitchCount;
  HookReinstallWait = FirstReinstallWait;
  if (!InstallHookOrDisable() || !RegisterVolumeHotKeys(Switch))
    return;
  ModifyTrayIcon();
  UpdateEnableMenuItem();
  StartHideTimer();
}

void DisableControls() {
  ++SwitchCount;
  Enabled = false;
  KillTimer(MainWindow, HIDE_TIMER_ID);
  FreeHook();
  UnregisterVolumeHotKeys();
  ModifyTrayIcon();
  UpdateEnableMenuItem();
}

void ToggleEnabled() {
  if (Enabled)
    DisableControls();
  else
    EnableControls();
}

void HandleHotKey(WPARAM Id) {
  if (Id == MuteHotKeyId) {
    if (TakeTogglePress(HotKeyCode(Settings[MUTE_KEY])))
      ToggleMute();
  } else if (Id == VolumeUpHotKeyId) {
    VolumeUp();
  } else if (Id == VolumeDownHotKeyId) {
    VolumeDown();
  } else if (Id == EnableHotKeyId) {
    if (TakeTogglePress(HotKeyCode(Settings[SWITCH_KEY])))
      ToggleEnabled();
  }
}

void UnregisterAllHotKeys() {
  UnregisterVolumeHotKeys();
  UnregisterHotKey(MainWindow, static_cast<int>(EnableHotKeyId));
}

// The hook follows the wheel's gestures as set: a new one replaces the old, or none.
void RegisterHotKeysAsSet() {
  const DWORD Switch = SwitchCount;
  RegisterEnableHotKey();
  if (Enabled && SwitchCount == Switch && InstallHookOrDisable())
    RegisterVolumeHotKeys(Switch);
}

bool HotKeyFree(DWORD Key) {
  if (Key == 0)
    return true;
  if (!RegisterHotKey(MainWindow, TrialHotKeyId, HotKeyModifiers(Key), HotKeyCode(Key)))
    return false;
  UnregisterHotKey(MainWindow, TrialHotKeyId);
  return true;
}

void WatchHeldToggleKey() {
  if (HeldToggleKey == 0)
    return;
  ToggleKeyUpTicks = IsKeyDown(HeldToggleKey) ? 0 : ToggleKeyUpTicks + 1;
  if (ToggleKeyUpTicks >= ToggleKeyReleaseTicks)
    HeldToggleKey = 0;
  else if (++ToggleKeyWatchTicks < ToggleKeyWatchLimit)
    return;
  KillTimer(MainWindow, TOGGLE_KEY_TIMER_ID);
}

// Only the library's own answer tells: any process can post its report. A hook lost
// again soon after it was put back shows a machine that keeps starving its thread:
// the wait before the next reinstall doubles, and starts over after a quiet while.
void WatchHook() {
  if (!Enabled || !HookLost())
    return;
  const DWORD Elapsed = GetTickCount() - HookInstallTick;
  if (Elapsed < HookReinstallWait)
    return;
  const DWORD Doubled = HookReinstallWait * 2;
  HookReinstallWait = Elapsed >= Doubled            ? FirstReinstallWait
                      : Doubled < LastReinstallWait ? Doubled
                                                    : LastReinstallWait;
  InstallHookOrDisable();
}

void FollowActivation(WPARAM Active) { PauseHookWatch(Active != FALSE); }
