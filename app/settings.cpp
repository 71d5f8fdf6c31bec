// The settings' one owner: their names, defaults and ranges, the store they are read
// from and written to, and the start with Windows.
#include "main.h"

TSettingValues Settings;

namespace {

enum TSettingKind : BYTE { NUMBER, NUMBER_OR_OFF, HOTKEY };

// Packed: every range fits a word. For a hotkey the range is unused: SettingValid
// knows what RegisterHotKey takes.
struct TSetting {
  BYTE Id;
  TSettingKind Kind;
  WORD Least;
  WORD Most;
  DWORD Default;
  const char *Name;
};

constexpr DWORD CtrlAltKey = (MOD_CONTROL | MOD_ALT) << 16;
constexpr DWORD FullFader = FaderMax;

constexpr TSetting SettingTable[SETTING_COUNT] = {
    {VOLUME_UP_KEY, HOTKEY, 0, 0, CtrlAltKey | VK_PRIOR, "VolumeUpKey"},
    {VOLUME_DOWN_KEY, HOTKEY, 0, 0, CtrlAltKey | VK_NEXT, "VolumeDownKey"},
    {MUTE_KEY, HOTKEY, 0, 0, CtrlAltKey | 'M', "MuteKey"},
    {SWITCH_KEY, HOTKEY, 0, 0, MOD_SHIFT << 16 | VK_PAUSE, "SwitchKey"},
    {EDGE_WHEEL, NUMBER, 0, 1, 1, "EdgeWheel"},
    {EDGE_WIDTH, NUMBER, 1, 32, 4, "EdgeWidth"},
    // Not Alt: the wheel turn is swallowed, the Alt key is not, and a lone Alt press
    // and release opens the foreground window's menu bar.
    {WHEEL_MODIFIER, NUMBER_OR_OFF, VK_SHIFT, VK_CONTROL, VK_SHIFT, "WheelModifier"},
    {REVERSE_WHEEL, NUMBER, 0, 1, 0, "ReverseWheel"},
    {SMALLEST_STEP, NUMBER, 1, FullFader, 500, "SmallestStep"},
    {LARGEST_STEP, NUMBER, 1, FullFader, 4000, "LargestStep"},
    {DISPLAY_TIME, NUMBER_OR_OFF, 500, 10000, 1800, "DisplayTime"},
    {DISPLAY_CORNER, NUMBER, TOP_LEFT, BOTTOM_RIGHT, TOP_LEFT, "DisplayCorner"},
    {DISPLAY_MONITOR, NUMBER, 0, 1, 0, "DisplayMonitor"},
    {DISPLAY_OTHER_CHANGES, NUMBER, 0, 1, 0, "DisplayOtherChanges"},
    {TRAY_WHEEL, NUMBER, 0, 1, 1, "TrayWheel"}};

constexpr bool TableInOrder() {
  for (int Id = 0; Id < SETTING_COUNT; ++Id)
    if (SettingTable[Id].Id != Id)
      return false;
  return true;
}
static_assert(TableInOrder(), "the table lists the settings in the order of their ids");

constexpr char StoreKey[] = "Software\\Sonalto";
constexpr char IniName[] = "sonalto.ini";
constexpr char IniSection[] = "Sonalto";
constexpr char RunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char ApprovedKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
constexpr char RunValueName[] = "Sonalto";
// Task Manager's Startup apps keep an odd first byte for an entry switched off, then
// the time it was switched: a value of this size.
constexpr BYTE ApprovedOffBit = 1;
constexpr DWORD ApprovedSize = 12;

constexpr UINT HotKeyModifierMask = MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN;
// Keys a keyboard sends: not the mouse buttons below, not the reserved code above.
constexpr UINT FirstKeyboardKey = VK_BACK;
constexpr UINT LastKeyboardKey = 0xFE;

// The program's own path in quotes, as the Run value holds it.
struct TQuotedPath {
  char Text[MAX_PATH + 3];
};

TQuotedPath QuotedProgramPath() {
  TQuotedPath Path = {};
  Path.Text[0] = '"';
  const DWORD Length = GetModuleFileNameA(nullptr, Path.Text + 1, MAX_PATH);
  Path.Text[Length + 1] = '"';
  return Path;
}

const char *FileName(const char *Path) {
  const char *Name = Path;
  for (; *Path != '\0'; ++Path)
    if (*Path == '\\' || *Path == '/')
      Name = Path + 1;
  return Name;
}

// Portable mode: true when sonalto.ini lies beside the program, with its path in Path.
bool FindPortableIni(char (&Path)[MAX_PATH]) {
  const DWORD Length = GetModuleFileNameA(nullptr, Path, MAX_PATH);
  char *Name = Path + (FileName(Path) - Path);
  if (Length == 0 || Length >= MAX_PATH || Name - Path + sizeof IniName > MAX_PATH)
    return false;
  lstrcpyA(Name, IniName);
  return GetFileAttributesA(Path) != INVALID_FILE_ATTRIBUTES;
}

// The bytes read, 0 when the value is absent or of another type.
DWORD ReadRegistryValue(const char *Path, const char *Name, DWORD Type, void *Data, DWORD Size) {
  HKEY Key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, Path, 0, KEY_QUERY_VALUE, &Key) != ERROR_SUCCESS)
    return 0;
  DWORD Found = REG_NONE;
  const LONG Result =
      RegQueryValueExA(Key, Name, nullptr, &Found, static_cast<BYTE *>(Data), &Size);
  RegCloseKey(Key);
  return Result == ERROR_SUCCESS && Found == Type ? Size : 0;
}

// Writes the value, or removes it when Data is null: a value that is not there,
// or whose key is not, counts as removed.
bool StoreRegistryValue(const char *Path, const char *Name, DWORD Type, const void *Data,
                        DWORD Size) {
  HKEY Key = nullptr;
  const LONG Opened = Data != nullptr
                          ? RegCreateKeyExA(HKEY_CURRENT_USER, Path, 0, nullptr, 0, KEY_SET_VALUE,
                                            nullptr, &Key, nullptr)
                          : RegOpenKeyExA(HKEY_CURRENT_USER, Path, 0, KEY_SET_VALUE, &Key);
  if (Opened != ERROR_SUCCESS)
    return Data == nullptr && Opened == ERROR_FILE_NOT_FOUND;
  const LONG Result =
      Data != nullptr ? RegSetValueExA(Key, Name, 0, Type, static_cast<const BYTE *>(Data), Size)
                      : RegDeleteValueA(Key, Name);
  RegCloseKey(Key);
  return Result == ERROR_SUCCESS || (Data == nullptr && Result == ERROR_FILE_NOT_FOUND);
}

// Decimal, or hexadecimal after 0x; anything else in the text makes it no number.
bool ParseNumber(const char *Text, DWORD &Value) {
  unsigned Base = 10;
  if (Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    Base = 16;
    Text += 2;
  }
  if (*Text == '\0')
    return false;
  DWORD Number = 0;
  for (; *Text != '\0'; ++Text) {
    const unsigned Lower = static_cast<unsigned>(*Text | 0x20);
    unsigned Digit = Base;
    if (*Text >= '0' && *Text <= '9')
      Digit = static_cast<unsigned>(*Text - '0');
    else if (Lower >= 'a' && Lower <= 'f')
      Digit = Lower - 'a' + 10;
    if (Digit >= Base || Number > (MAXDWORD - Digit) / Base)
      return false;
    Number = Number * Base + Digit;
  }
  Value = Number;
  return true;
}

// What is stored, or the default where nothing readable is; the ranges are checked
// apart.
void ReadStore(TSettingValues &Values) {
  char Ini[MAX_PATH] = {};
  const bool Portable = FindPortableIni(Ini);
  for (const TSetting &Setting : SettingTable) {
    DWORD Value = Setting.Default;
    DWORD Stored = 0;
    char Text[16] = {};
    if (Portable
            ? GetPrivateProfileStringA(IniSection, Setting.Name, "", Text, sizeof Text, Ini) > 0 &&
                  ParseNumber(Text, Stored)
            : ReadRegistryValue(StoreKey, Setting.Name, REG_DWORD, &Stored, sizeof Stored) ==
                  sizeof Stored)
      Value = Stored;
    Values[Setting.Id] = Value;
  }
}

bool StoreSetting(const char *Ini, TSettingId Id, DWORD Value) {
  const TSetting &Setting = SettingTable[Id];
  const bool Remove = Value == Setting.Default;
  if (Ini == nullptr)
    return StoreRegistryValue(StoreKey, Setting.Name, REG_DWORD, Remove ? nullptr : &Value,
                              sizeof Value);
  char Text[16] = {};
  wsprintfA(Text, Setting.Kind == HOTKEY ? "0x%08lX" : "%lu", Value);
  return WritePrivateProfileStringA(IniSection, Setting.Name, Remove ? nullptr : Text, Ini) !=
         FALSE;
}

bool WriteRunValue() {
  const TQuotedPath Path = QuotedProgramPath();
  return StoreRegistryValue(RunKey, RunValueName, REG_SZ, Path.Text,
                            static_cast<DWORD>(lstrlenA(Path.Text) + 1));
}

} // namespace

DWORD DefaultSetting(TSettingId Id) { return SettingTable[Id].Default; }

bool SettingValid(TSettingId Id, DWORD Value) {
  const TSetting &Setting = SettingTable[Id];
  if (Setting.Kind == HOTKEY)
    return Value == 0 ||
           ((HotKeyModifiers(Value) & ~HotKeyModifierMask) == 0 &&
            HotKeyCode(Value) >= FirstKeyboardKey && HotKeyCode(Value) <= LastKeyboardKey);
  return (Setting.Kind == NUMBER_OR_OFF && Value == 0) ||
         (Value >= Setting.Least && Value <= Setting.Most);
}

// Which step of a crossing pair is wrong cannot be told: both take their defaults.
void CorrectSettings(TSettingValues &Values) {
  for (const TSetting &Setting : SettingTable)
    if (!SettingValid(static_cast<TSettingId>(Setting.Id), Values[Setting.Id]))
      Values[Setting.Id] = Setting.Default;
  if (Values[SMALLEST_STEP] > Values[LARGEST_STEP]) {
    Values[SMALLEST_STEP] = DefaultSetting(SMALLEST_STEP);
    Values[LARGEST_STEP] = DefaultSetting(LARGEST_STEP);
  }
}

void LoadSettings() {
  TSettingValues Values = {};
  ReadStore(Values);
  CorrectSettings(Values);
  ApplySettings(Values);
}

bool SaveSettings(const TSettingValues &Values, const bool (&Changed)[SETTING_COUNT]) {
  char Ini[MAX_PATH] = {};
  const bool Portable = FindPortableIni(Ini);
  bool Saved = true;
  for (const TSetting &Setting : SettingTable)
    if (Changed[Setting.Id])
      Saved = StoreSetting(Portable ? Ini : nullptr, static_cast<TSettingId>(Setting.Id),
                           Values[Setting.Id]) &&
              Saved;
  return Saved;
}

void ApplySettings(const TSettingValues &Values) {
  for (int Id = 0; Id < SETTING_COUNT; ++Id)
    Settings[Id] = Values[Id];
  HideDelay = Settings[DISPLAY_TIME];
  MinStep = static_cast<int>(Settings[SMALLEST_STEP]);
  MaxStep = static_cast<int>(Settings[LARGEST_STEP]);
  Step = MinStep;
  BorderWidth = static_cast<int>(Settings[EDGE_WIDTH]);
  if (MainWindow != nullptr)
    PlaceDisplay();
}

bool StartsWithWindows() {
  TQuotedPath Stored = {};
  BYTE Approved[ApprovedSize] = {};
  return ReadRegistryValue(RunKey, RunValueName, REG_SZ, Stored.Text, sizeof Stored.Text - 1) > 0 &&
         lstrcmpiA(Stored.Text, QuotedProgramPath().Text) == 0 &&
         !(ReadRegistryValue(ApprovedKey, RunValueName, REG_BINARY, Approved, sizeof Approved) >
               0 &&
           (Approved[0] & ApprovedOffBit) != 0);
}

// Turning on also takes back a "disabled" of Task Manager: the user's latest choice wins.
bool SetStartWithWindows(bool Start) {
  if (!Start)
    return StoreRegistryValue(RunKey, RunValueName, REG_SZ, nullptr, 0);
  return WriteRunValue() && StoreRegistryValue(ApprovedKey, RunValueName, REG_BINARY, nullptr, 0);
}

// Only a path to a program of this one's name that is gone is taken for this copy's
// old place; Task Manager's switch is left as the user set it.
void FollowMovedPortableCopy() {
  char Ini[MAX_PATH] = {};
  TQuotedPath Stored = {};
  if (!FindPortableIni(Ini) ||
      ReadRegistryValue(RunKey, RunValueName, REG_SZ, Stored.Text, sizeof Stored.Text - 1) == 0)
    return;
  const int Length = lstrlenA(Stored.Text);
  if (Length < 2 || Stored.Text[0] != '"' || Stored.Text[Length - 1] != '"')
    return;
  Stored.Text[Length - 1] = '\0';
  TQuotedPath Own = QuotedProgramPath();
  Own.Text[lstrlenA(Own.Text) - 1] = '\0';
  const char *Path = Stored.Text + 1;
  if (lstrcmpiA(FileName(Path), FileName(Own.Text)) != 0 ||
      GetFileAttributesA(Path) != INVALID_FILE_ATTRIBUTES)
    return;
  WriteRunValue();
}
