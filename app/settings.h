// What the user may set: each setting's stored name, default and range, kept in
// HKCU\Software\Sonalto, or in sonalto.ini beside the program when that file is there.
// Nothing is written until the user asks for a change; the rest of the program only
// reads Settings.
#pragma once

#include <windows.h>

enum TSettingId : int {
  VOLUME_UP_KEY,
  VOLUME_DOWN_KEY,
  MUTE_KEY,
  SWITCH_KEY,
  EDGE_WHEEL,
  EDGE_WIDTH,
  WHEEL_MODIFIER,
  REVERSE_WHEEL,
  SMALLEST_STEP,
  LARGEST_STEP,
  DISPLAY_TIME,
  DISPLAY_CORNER,
  DISPLAY_MONITOR,
  DISPLAY_OTHER_CHANGES,
  TRAY_WHEEL,
  SETTING_COUNT
};
using TSettingValues = DWORD[SETTING_COUNT];

extern TSettingValues Settings; // the values in force

// A hotkey setting: the MOD_* flags of RegisterHotKey in the high word, the virtual
// key in the low one; 0 is no key.
constexpr UINT HotKeyModifiers(DWORD Key) { return Key >> 16; }
constexpr UINT HotKeyCode(DWORD Key) { return Key & 0xFFFF; }

enum TDisplayCorner : DWORD { TOP_LEFT, TOP_RIGHT, BOTTOM_LEFT, BOTTOM_RIGHT };

DWORD DefaultSetting(TSettingId Id);
bool SettingValid(TSettingId Id, DWORD Value);
// Each bad value, and both steps of a crossing pair, take their defaults.
void CorrectSettings(TSettingValues &Values);
void LoadSettings();
// Writes the values whose Changed flag is set; one equal to its default is removed
// from the store instead. False if any write failed.
bool SaveSettings(const TSettingValues &Values, const bool (&Changed)[SETTING_COUNT]);
void ApplySettings(const TSettingValues &Values);

bool StartsWithWindows();
bool SetStartWithWindows(bool Start);
// A portable copy moved since the user chose to start it with Windows: the Run value
// is made to name this copy.
void FollowMovedPortableCopy();
