// The four global hotkeys, and switching the mouse hook, the volume hotkeys and the
// display's hide timer on and off together.
#include "main.h"

#include "morvaskint.h"

bool Enabled;
DWORD MuteHotKeyId;
DWORD VolumeUpHotKeyId;
DWORD VolumeDownHotKeyId;
DWORD EnableHotKeyId;

namespace {

constexpr UINT CtrlAlt = MOD_CONTROL | MOD_ALT;
constexpr UINT HideTimerPeriod = 400; // ms
constexpr char NoCaption[] = "";

// Another program holding the combination is the only refusal; the user is told
// and the program goes on without that hotkey.
void RegisterHotKeyOrSay(DWORD Id, UINT Modifiers, UINT Key, const char *Refusal, UINT Style) {
  if (!RegisterHotKey(MainWindow, static_cast<int>(Id), Modifiers, Key))
    MessageBoxA(nullptr, Refusal, NoCaption, Style);
}

void RegisterVolumeHotKeys() {
  RegisterHotKeyOrSay(MuteHotKeyId, CtrlAlt, 'M', "HotKey for Mute not registered", MB_OK);
  RegisterHotKeyOrSay(VolumeUpHotKeyId, CtrlAlt, VK_PRIOR, "HotKey for Volume up not registered",
                      MB_OK);
  RegisterHotKeyOrSay(VolumeDownHotKeyId, CtrlAlt, VK_NEXT, "HotKey for Volume down not registered",
                      MB_OK);
}

void UnregisterVolumeHotKeys() {
  UnregisterHotKey(MainWindow, static_cast<int>(MuteHotKeyId));
  UnregisterHotKey(MainWindow, static_cast<int>(VolumeUpHotKeyId));
  UnregisterHotKey(MainWindow, static_cast<int>(VolumeDownHotKeyId));
}

} // namespace

void AddHotKeyAtoms() {
  MuteHotKeyId = GlobalAddAtomA("sonalHKMute");
  VolumeUpHotKeyId = GlobalAddAtomA("sonalHKVolUp");
  VolumeDownHotKeyId = GlobalAddAtomA("sonalHKVolDown");
  EnableHotKeyId = GlobalAddAtomA("sonalHKEnabDis");
}

void RegisterEnableHotKey() {
  RegisterHotKeyOrSay(EnableHotKeyId, MOD_SHIFT, VK_PAUSE,
                      "HotKey for Enable/Disable not registered", MB_OK | MB_ICONWARNING);
}

void EnableControls() {
  Enabled = SetHook(WH_MOUSE_LL, MainWindow, WM_HOOKMOUSE) != 0;
  RegisterVolumeHotKeys();
  ModifyTrayIcon();
  UpdateEnableMenuItem();
  SetTimer(MainWindow, HIDE_TIMER_ID, HideTimerPeriod, nullptr);
}

void DisableControls() {
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
  if (Id == MuteHotKeyId && MuteControl)
    ToggleMute();
  else if (Id == VolumeUpHotKeyId)
    VolumeUp();
  else if (Id == VolumeDownHotKeyId)
    VolumeDown();
  else if (Id == EnableHotKeyId)
    ToggleEnabled();
}
