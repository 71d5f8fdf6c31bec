// The tray icon's popup menu: the help box, the settings, the on/off switch and Exit.
#include "main.h"

#include "resource.h"

HMENU TrayMenu;

namespace {

void AppendCommand(UINT Id, UINT TextId) {
  AppendMenuW(TrayMenu, MF_STRING, Id, LoadResourceString(TextId));
}

void AppendSeparator() { AppendMenuW(TrayMenu, MF_SEPARATOR, 0, nullptr); }

// The help box's words for the keys and gestures as they are set.
constexpr wchar_t EdgeWheelWords[] = L"Mouse Wheel on borders of Screen";
constexpr wchar_t WheelWords[] = L"Mouse Wheel";
constexpr wchar_t Alternative[] = L"\r  or ";
constexpr wchar_t Joiner[] = L" + ";
constexpr wchar_t KeysApart[] = L" / ";
constexpr wchar_t NoKey[] = L"no key";

struct TModifierName {
  UINT Flag; // of RegisterHotKey
  DWORD Key; // the wheel's modifier
  const wchar_t *Name;
};
constexpr TModifierName ModifierNames[] = {{MOD_CONTROL, VK_CONTROL, L"Ctrl"},
                                           {MOD_ALT, VK_MENU, L"Alt"},
                                           {MOD_SHIFT, VK_SHIFT, L"Shift"},
                                           {MOD_WIN, VK_LWIN, L"Win"}};

struct TKeyName {
  UINT Key;
  const wchar_t *Name;
};
// The short names the help box has always used; the system names the other keys.
constexpr TKeyName KeyNames[] = {{VK_PRIOR, L"PgUp"}, {VK_NEXT, L"PgDn"}, {VK_PAUSE, L"Pause"}};

// The navigation and Windows keys share their scan codes with the number pad's and
// others: only the extended bit names them.
bool IsExtendedKey(UINT Key) {
  return (Key >= VK_PRIOR && Key <= VK_DELETE) || (Key >= VK_LWIN && Key <= VK_APPS) ||
         Key == VK_DIVIDE || Key == VK_NUMLOCK;
}

constexpr int ScanCodeShift = 16;
constexpr LONG ExtendedKeyFlag = 1 << 24;

void AppendKeyName(wchar_t *Text, UINT Key) {
  for (const TKeyName &Name : KeyNames)
    if (Name.Key == Key) {
      lstrcatW(Text, Name.Name);
      return;
    }
  wchar_t Name[32] = {};
  const LONG Scan = static_cast<LONG>(MapVirtualKeyW(Key, MAPVK_VK_TO_VSC)) << ScanCodeShift;
  if ((Key >= '0' && Key <= '9') || (Key >= 'A' && Key <= 'Z'))
    Name[0] = static_cast<wchar_t>(Key);
  else if (GetKeyNameTextW(IsExtendedKey(Key) ? Scan | ExtendedKeyFlag : Scan, Name,
                           ARRAYSIZE(Name)) == 0)
    wsprintfW(Name, L"0x%02X", Key);
  lstrcatW(Text, Name);
}

void AppendKey(wchar_t *Text, DWORD Key, bool WithModifiers) {
  if (Key == 0) {
    lstrcatW(Text, NoKey);
    return;
  }
  for (const TModifierName &Modifier : ModifierNames)
    if (WithModifiers && (HotKeyModifiers(Key) & Modifier.Flag) != 0) {
      lstrcatW(Text, Modifier.Name);
      lstrcatW(Text, Joiner);
    }
  AppendKeyName(Text, HotKeyCode(Key));
}

// The wheel's gestures, then the two keys; keys that share their modifiers name them once.
void AppendVolumeGestures(wchar_t *Text) {
  const wchar_t *Before = L"";
  if (Settings[EDGE_WHEEL] != 0) {
    lstrcatW(Text, EdgeWheelWords);
    Before = Alternative;
  }
  for (const TModifierName &Modifier : ModifierNames)
    if (Modifier.Key == Settings[WHEEL_MODIFIER]) {
      lstrcatW(Text, Before);
      lstrcatW(Text, Modifier.Name);
      lstrcatW(Text, Joiner);
      lstrcatW(Text, WheelWords);
      Before = Alternative;
    }
  if (Settings[TRAY_WHEEL] != 0) {
    lstrcatW(Text, Before);
    lstrcatW(Text, LoadResourceString(IDS_TRAY_WHEEL));
    Before = Alternative;
  }
  lstrcatW(Text, Before);
  const DWORD Up = Settings[VOLUME_UP_KEY];
  const DWORD Down = Settings[VOLUME_DOWN_KEY];
  AppendKey(Text, Up, true);
  lstrcatW(Text, KeysApart);
  AppendKey(Text, Down, Up == 0 || HotKeyModifiers(Up) != HotKeyModifiers(Down));
}

void ShowHelp() {
  wchar_t Volume[256] = {};
  wchar_t Mute[64] = {};
  wchar_t Switch[64] = {};
  AppendVolumeGestures(Volume);
  AppendKey(Mute, Settings[MUTE_KEY], true);
  AppendKey(Switch, Settings[SWITCH_KEY], true);
  TResourceString Text = {};
  wsprintfW(Text.Text, LoadResourceString(IDS_HELP_TEXT), Volume, Mute, Switch);
  MessageBoxW(nullptr, Text, LoadResourceString(IDS_CONTROLS), MB_OK | MB_ICONINFORMATION);
}

void RunMenuCommand(UINT Command) {
  switch (Command) {
  case CMD_EXIT:
    // Posted: the shutdown runs from the loop once this handler has returned.
    PostMessageW(MainWindow, WM_DESTROY, 0, 0);
    break;
  case CMD_TOGGLE_ENABLE:
    ToggleEnabled();
    break;
  case CMD_CONTROLS:
    ShowHelp();
    break;
  case CMD_SETTINGS:
    OpenSettingsDialog();
    break;
  }
}

} // namespace

// Any process can send WM_CREATE: building a menu for each would leak them without end.
void CreateTrayMenu() {
  if (TrayMenu != nullptr)
    return;
  TrayMenu = CreatePopupMenu();
  AppendCommand(CMD_CONTROLS, IDS_CONTROLS);
  AppendCommand(CMD_SETTINGS, IDS_SETTINGS);
  AppendSeparator();
  AppendCommand(CMD_TOGGLE_ENABLE, IDS_DISABLE);
  AppendSeparator();
  AppendCommand(CMD_EXIT, IDS_EXIT);
}

void UpdateEnableMenuItem() {
  ModifyMenuW(TrayMenu, CMD_TOGGLE_ENABLE, MF_BYCOMMAND | MF_STRING, CMD_TOGGLE_ENABLE,
              LoadResourceString(Enabled ? IDS_DISABLE : IDS_ENABLE));
}

void HandleTrayNotify(LPARAM LParam) {
  if (LParam == WM_RBUTTONUP)
    ShowTrayMenu();
  else if (LParam == WM_MOUSEMOVE)
    FollowTrayPointer();
}

void ShowTrayMenu() {
  POINT Cursor = {};
  GetCursorPos(&Cursor);
  // A popup menu closes on a click elsewhere only while its owner is the
  // foreground window.
  const HWND Previous = GetForegroundWindow();
  SetForegroundWindow(MainWindow);
  const UINT Command = static_cast<UINT>(
      TrackPopupMenuEx(TrayMenu, TPM_RETURNCMD, Cursor.x, Cursor.y, MainWindow, nullptr));
  // Without a message after it, the next opening of the menu may vanish at once.
  PostMessageW(MainWindow, WM_NULL, 0, 0);
  // The user's window gets the keyboard back, unless a click has chosen another.
  if (Previous != nullptr && GetForegroundWindow() == MainWindow)
    SetForegroundWindow(Previous);
  RunMenuCommand(Command);
}
