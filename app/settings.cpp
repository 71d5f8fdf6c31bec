// The settings' one owner: their names, defaults and ranges, the store they are read
// from and written to, and the start with Windows.
#include "main.h"

#include <cstdlib>
#include <cstring>

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
  const wchar_t *Name; // letters only: the INI's names are matched by SameName
};

constexpr DWORD CtrlAltKey = (MOD_CONTROL | MOD_ALT) << 16;
constexpr DWORD FullFader = FaderMax;

constexpr TSetting SettingTable[SETTING_COUNT] = {
    {VOLUME_UP_KEY, HOTKEY, 0, 0, CtrlAltKey | VK_PRIOR, L"VolumeUpKey"},
    {VOLUME_DOWN_KEY, HOTKEY, 0, 0, CtrlAltKey | VK_NEXT, L"VolumeDownKey"},
    {MUTE_KEY, HOTKEY, 0, 0, CtrlAltKey | 'M', L"MuteKey"},
    {SWITCH_KEY, HOTKEY, 0, 0, MOD_SHIFT << 16 | VK_PAUSE, L"SwitchKey"},
    {EDGE_WHEEL, NUMBER, 0, 1, 1, L"EdgeWheel"},
    {EDGE_WIDTH, NUMBER, 1, 32, 4, L"EdgeWidth"},
    // Not Alt: the wheel turn is swallowed, the Alt key is not, and a lone Alt press
    // and release opens the foreground window's menu bar.
    {WHEEL_MODIFIER, NUMBER_OR_OFF, VK_SHIFT, VK_CONTROL, VK_SHIFT, L"WheelModifier"},
    {REVERSE_WHEEL, NUMBER, 0, 1, 0, L"ReverseWheel"},
    {SMALLEST_STEP, NUMBER, 1, FullFader, 500, L"SmallestStep"},
    {LARGEST_STEP, NUMBER, 1, FullFader, 4000, L"LargestStep"},
    {DISPLAY_TIME, NUMBER_OR_OFF, 500, 10000, 1800, L"DisplayTime"},
    {DISPLAY_CORNER, NUMBER, TOP_LEFT, BOTTOM_RIGHT, TOP_LEFT, L"DisplayCorner"},
    {DISPLAY_MONITOR, NUMBER, 0, 1, 0, L"DisplayMonitor"},
    {DISPLAY_OTHER_CHANGES, NUMBER, 0, 1, 0, L"DisplayOtherChanges"},
    {TRAY_WHEEL, NUMBER, 0, 1, 1, L"TrayWheel"}};

constexpr bool TableInOrder() {
  for (int Id = 0; Id < SETTING_COUNT; ++Id)
    if (SettingTable[Id].Id != Id)
      return false;
  return true;
}
static_assert(TableInOrder(), "the table lists the settings in the order of their ids");

constexpr wchar_t StoreKey[] = L"Software\\Sonalto";
constexpr wchar_t IniName[] = L"sonalto.ini";
constexpr wchar_t IniSection[] = L"Sonalto";
// The new text is written beside the INI and then put in its place, so that a full
// disk or a crash leaves the old file whole.
constexpr wchar_t IniTempSuffix[] = L".new";
constexpr wchar_t RunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t ApprovedKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
constexpr wchar_t RunValueName[] = L"Sonalto";
// Task Manager's Startup apps keep an odd first byte for an entry switched off; what
// follows (today the time it was switched) may be of any length.
constexpr BYTE ApprovedOffBit = 1;

constexpr UINT HotKeyModifierMask = MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN;
// Keys a keyboard sends: not the mouse buttons below, not the reserved code above.
constexpr UINT FirstKeyboardKey = VK_BACK;
constexpr UINT LastKeyboardKey = 0xFE;

// The keys that type a character on the usual layouts: Space, digits, letters, the
// number pad's digits and signs, and the punctuation keys.
struct TKeyRange {
  BYTE First;
  BYTE Last;
};
constexpr TKeyRange CharacterKeys[] = {
    {VK_SPACE, VK_SPACE},    {'0', '9'},           {'A', 'Z'},
    {VK_NUMPAD0, VK_DIVIDE}, {VK_OEM_1, VK_OEM_3}, {VK_OEM_4, VK_OEM_8},
    {VK_OEM_102, VK_OEM_102}};

// The program's own path in quotes, as the Run value holds it.
struct TQuotedPath {
  wchar_t Text[MAX_PATH + 2];
};

bool QuotedProgramPath(TQuotedPath &Quoted) {
  const wchar_t *Path = ProgramPath();
  return Path != nullptr && wsprintfW(Quoted.Text, L"\"%s\"", Path) > 0;
}

const wchar_t *FileName(const wchar_t *Path) {
  const wchar_t *Name = Path;
  for (; *Path != L'\0'; ++Path)
    if (*Path == L'\\' || *Path == L'/')
      Name = Path + 1;
  return Name;
}

// Portable mode: true when sonalto.ini lies beside the program, with its path in Path.
bool FindPortableIni(wchar_t (&Path)[MAX_PATH]) {
  const wchar_t *Program = ProgramPath();
  if (Program == nullptr)
    return false;
  const auto Folder = static_cast<size_t>(FileName(Program) - Program);
  if (Folder + ARRAYSIZE(IniName) > MAX_PATH)
    return false;
  std::memcpy(Path, Program, Folder * sizeof(wchar_t));
  std::memcpy(Path + Folder, IniName, sizeof IniName);
  return GetFileAttributesW(Path) != INVALID_FILE_ATTRIBUTES;
}

// The bytes read, 0 when the value is absent or of another type. Without Data, the
// size the value needs.
DWORD ReadRegistryValue(const wchar_t *Path, const wchar_t *Name, DWORD Type, void *Data,
                        DWORD Size) {
  HKEY Key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Path, 0, KEY_QUERY_VALUE, &Key) != ERROR_SUCCESS)
    return 0;
  DWORD Found = REG_NONE;
  const LONG Result =
      RegQueryValueExW(Key, Name, nullptr, &Found, static_cast<BYTE *>(Data), &Size);
  RegCloseKey(Key);
  return Result == ERROR_SUCCESS && Found == Type ? Size : 0;
}

// Writes the value, or removes it when Data is null: a value that is not there,
// or whose key is not, counts as removed.
bool StoreRegistryValue(const wchar_t *Path, const wchar_t *Name, DWORD Type, const void *Data,
                        DWORD Size) {
  HKEY Key = nullptr;
  const LONG Opened = Data != nullptr
                          ? RegCreateKeyExW(HKEY_CURRENT_USER, Path, 0, nullptr, 0, KEY_SET_VALUE,
                                            nullptr, &Key, nullptr)
                          : RegOpenKeyExW(HKEY_CURRENT_USER, Path, 0, KEY_SET_VALUE, &Key);
  if (Opened != ERROR_SUCCESS)
    return Data == nullptr && Opened == ERROR_FILE_NOT_FOUND;
  const LONG Result =
      Data != nullptr ? RegSetValueExW(Key, Name, 0, Type, static_cast<const BYTE *>(Data), Size)
                      : RegDeleteValueW(Key, Name);
  RegCloseKey(Key);
  return Result == ERROR_SUCCESS || (Data == nullptr && Result == ERROR_FILE_NOT_FOUND);
}

bool SwitchedOffInTaskManager() {
  const DWORD Size = ReadRegistryValue(ApprovedKey, RunValueName, REG_BINARY, nullptr, 0);
  auto *Data = static_cast<BYTE *>(Size > 0 ? std::malloc(Size) : nullptr);
  const bool Off = Data != nullptr &&
                   ReadRegistryValue(ApprovedKey, RunValueName, REG_BINARY, Data, Size) > 0 &&
                   (Data[0] & ApprovedOffBit) != 0;
  std::free(Data);
  return Off;
}

// A stretch of text, from Start up to End.
struct TSpan {
  const wchar_t *Start;
  const wchar_t *End;
};

constexpr bool Blank(wchar_t Character) { return Character == L' ' || Character == L'\t'; }

TSpan Trimmed(const wchar_t *Start, const wchar_t *End) {
  while (Start < End && Blank(*Start))
    ++Start;
  while (End > Start && Blank(End[-1]))
    --End;
  return {Start, End};
}

// Case-insensitive for a name of ASCII letters: no other character folds onto one.
bool SameName(TSpan Text, const wchar_t *Name) {
  for (; Text.Start < Text.End; ++Text.Start, ++Name)
    if (*Name == L'\0' || (*Text.Start | 0x20) != (*Name | 0x20))
      return false;
  return *Name == L'\0';
}

// Decimal, or hexadecimal after 0x; anything else in the text makes it no number, as
// does one past a DWORD: a value is taken whole or not at all.
bool ParseNumber(TSpan Text, DWORD &Value) {
  unsigned Base = 10;
  if (Text.End - Text.Start > 2 && Text.Start[0] == L'0' && (Text.Start[1] | 0x20) == L'x') {
    Base = 16;
    Text.Start += 2;
  }
  if (Text.Start == Text.End)
    return false;
  DWORD Number = 0;
  for (; Text.Start < Text.End; ++Text.Start) {
    const wchar_t Character = *Text.Start;
    const unsigned Lower = static_cast<unsigned>(Character | 0x20);
    unsigned Digit = Base;
    if (Character >= L'0' && Character <= L'9')
      Digit = static_cast<unsigned>(Character - L'0');
    else if (Lower >= L'a' && Lower <= L'f')
      Digit = Lower - L'a' + 10;
    if (Digit >= Base || Number > (MAXDWORD - Digit) / Base)
      return false;
    Number = Number * Base + Digit;
  }
  Value = Number;
  return true;
}

// ---- sonalto.ini, read and written by the program itself ----
// The system's profile functions miss a section behind a UTF-8 byte-order mark on
// Windows and know no big-endian UTF-16; here each form is read the same and written
// back as it came.

enum TIniEncoding : BYTE { ANSI_TEXT, UTF8_TEXT, UTF8_BOM_TEXT, UTF16LE_TEXT, UTF16BE_TEXT };

constexpr BYTE Utf8Bom[] = {0xEF, 0xBB, 0xBF};
constexpr wchar_t ByteOrderMark = 0xFEFF;
// A file larger than this is no settings file: it is neither read nor rewritten.
constexpr DWORD MaxIniSize = 1 << 20;
// What a rewrite can add to the text: a line end, the section's line and one entry
// for each setting, its longest name, "=", ten digits and a line end.
constexpr int LongestIniEntry = 32;
constexpr int IniGrowth = 512;
static_assert(2 + sizeof "[Sonalto]\r\n" + SETTING_COUNT * LongestIniEntry <= IniGrowth,
              "a rewrite fits the room made for it");
// UTF-8 takes at most three bytes for a UTF-16 unit.
constexpr int MostUtf8Bytes = 3;

// The file's text as UTF-16, and the form it is written back in.
struct TIniText {
  wchar_t *Text = nullptr;
  int Length = 0;
  TIniEncoding Encoding = UTF8_TEXT;
  TIniText() = default;
  TIniText(const TIniText &) = delete;
  TIniText &operator=(const TIniText &) = delete;
  ~TIniText() { std::free(Text); }
};

void SwapBytes(wchar_t *Text, int Length) {
  for (int Unit = 0; Unit < Length; ++Unit)
    Text[Unit] = static_cast<wchar_t>(Text[Unit] << 8 | Text[Unit] >> 8);
}

// Without a byte-order mark, text that is not valid UTF-8 is taken for the ANSI code
// page, whose files are never that by chance beyond plain ASCII.
bool DecodeIni(const BYTE *Bytes, DWORD Size, TIniText &Ini) {
  Ini.Text = static_cast<wchar_t *>(std::malloc((Size + 1) * sizeof(wchar_t)));
  if (Ini.Text == nullptr)
    return false;
  if (Size >= 2 &&
      ((Bytes[0] == 0xFF && Bytes[1] == 0xFE) || (Bytes[0] == 0xFE && Bytes[1] == 0xFF))) {
    Ini.Encoding = Bytes[0] == 0xFF ? UTF16LE_TEXT : UTF16BE_TEXT;
    Ini.Length = static_cast<int>(Size / 2 - 1);
    std::memcpy(Ini.Text, Bytes + 2, Size - 2);
    if (Ini.Encoding == UTF16BE_TEXT)
      SwapBytes(Ini.Text, Ini.Length);
    return true;
  }
  const DWORD Mark = Size >= sizeof Utf8Bom && std::memcmp(Bytes, Utf8Bom, sizeof Utf8Bom) == 0
                         ? sizeof Utf8Bom
                         : 0;
  const auto Decode = [&](UINT CodePage, DWORD Flags, DWORD Skip) {
    return MultiByteToWideChar(CodePage, Flags, reinterpret_cast<const char *>(Bytes + Skip),
                               static_cast<int>(Size - Skip), Ini.Text, static_cast<int>(Size + 1));
  };
  Ini.Encoding = Mark != 0 ? UTF8_BOM_TEXT : UTF8_TEXT;
  Ini.Length = Decode(CP_UTF8, MB_ERR_INVALID_CHARS, Mark);
  if (Ini.Length == 0 && Size > Mark) {
    Ini.Encoding = ANSI_TEXT;
    Ini.Length = Decode(CP_ACP, 0, 0);
  }
  return Ini.Length > 0 || Size == Mark;
}

bool ReadIni(const wchar_t *Path, TIniText &Ini) {
  const HANDLE File =
      CreateFileW(Path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    return false;
  const DWORD Size = GetFileSize(File, nullptr);
  auto *Bytes = static_cast<BYTE *>(Size <= MaxIniSize ? std::malloc(Size + 1) : nullptr);
  DWORD Read = 0;
  const bool Whole =
      Bytes != nullptr && ReadFile(File, Bytes, Size, &Read, nullptr) && Read == Size;
  CloseHandle(File);
  const bool Decoded = Whole && DecodeIni(Bytes, Size, Ini);
  std::free(Bytes);
  return Decoded;
}

bool WriteIni(const wchar_t *Path, TIniEncoding Encoding, const wchar_t *Text, int Length) {
  wchar_t Temp[MAX_PATH + ARRAYSIZE(IniTempSuffix)];
  lstrcpyW(Temp, Path);
  lstrcatW(Temp, IniTempSuffix);
  auto *Bytes = static_cast<BYTE *>(std::malloc(static_cast<size_t>(Length + 1) * MostUtf8Bytes));
  if (Bytes == nullptr)
    return false;
  DWORD Size = 0;
  if (Encoding >= UTF16LE_TEXT) {
    auto *Units = reinterpret_cast<wchar_t *>(Bytes);
    Units[0] = ByteOrderMark;
    std::memcpy(Units + 1, Text, static_cast<size_t>(Length) * sizeof(wchar_t));
    if (Encoding == UTF16BE_TEXT)
      SwapBytes(Units, Length + 1);
    Size = static_cast<DWORD>(Length + 1) * sizeof(wchar_t);
  } else {
    if (Encoding == UTF8_BOM_TEXT) {
      std::memcpy(Bytes, Utf8Bom, sizeof Utf8Bom);
      Size = sizeof Utf8Bom;
    }
    Size += static_cast<DWORD>(WideCharToMultiByte(
        Encoding == ANSI_TEXT ? CP_ACP : CP_UTF8, 0, Text, Length,
        reinterpret_cast<char *>(Bytes + Size), Length * MostUtf8Bytes, nullptr, nullptr));
  }
  const HANDLE File =
      CreateFileW(Temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD Written = 0;
  bool Saved = File != INVALID_HANDLE_VALUE && WriteFile(File, Bytes, Size, &Written, nullptr) &&
               Written == Size;
  std::free(Bytes);
  if (File != INVALID_HANDLE_VALUE)
    Saved = CloseHandle(File) && Saved;
  Saved = Saved && MoveFileExW(Temp, Path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!Saved)
    DeleteFileW(Temp);
  return Saved;
}

// What the program makes of a line: the start of its own section or another's, one
// of its own entries, or a line it keeps as it is. Sections follow the order of the
// kinds from OWN_SECTION on.
enum TLineKind : BYTE { KEPT_LINE, OWN_ENTRY, OWN_SECTION, OTHER_SECTION };

struct TIniLine {
  const wchar_t *Next; // past the line's end
  TLineKind Kind;
  BYTE Setting; // of an own entry
  TSpan Value;  // of an own entry
};

TIniLine ReadIniLine(const wchar_t *At, const wchar_t *End, bool InOwnSection) {
  const wchar_t *LineEnd = At;
  while (LineEnd < End && *LineEnd != L'\r' && *LineEnd != L'\n')
    ++LineEnd;
  TIniLine Line = {LineEnd, KEPT_LINE, 0, {}};
  if (Line.Next < End && *Line.Next == L'\r')
    ++Line.Next;
  if (Line.Next < End && *Line.Next == L'\n')
    ++Line.Next;
  const TSpan Text = Trimmed(At, LineEnd);
  const wchar_t *Mark = Text.Start;
  if (Mark < Text.End && *Mark == L'[') {
    while (++Mark < Text.End && *Mark != L']') {
    }
    Line.Kind = SameName(Trimmed(Text.Start + 1, Mark), IniSection) ? OWN_SECTION : OTHER_SECTION;
    return Line;
  }
  while (Mark < Text.End && *Mark != L'=')
    ++Mark;
  if (InOwnSection && Mark < Text.End)
    for (const TSetting &Setting : SettingTable)
      if (SameName(Trimmed(Text.Start, Mark), Setting.Name)) {
        Line.Kind = OWN_ENTRY;
        Line.Setting = Setting.Id;
        Line.Value = Trimmed(Mark + 1, Text.End);
      }
  return Line;
}

// Every section named Sonalto counts, as for the profile functions.
template <typename TVisit> void ForEachIniLine(const TIniText &Ini, TVisit Visit) {
  bool InOwnSection = false;
  for (const wchar_t *At = Ini.Text, *End = Ini.Text + Ini.Length; At < End;) {
    const TIniLine Line = ReadIniLine(At, End, InOwnSection);
    if (Line.Kind >= OWN_SECTION)
      InOwnSection = Line.Kind == OWN_SECTION;
    Visit(At, Line);
    At = Line.Next;
  }
}

// The first entry of a name counts, as for the profile functions.
void ReadIniValues(const TIniText &Ini, TSettingValues &Values) {
  bool Found[SETTING_COUNT] = {};
  ForEachIniLine(Ini, [&](const wchar_t *, const TIniLine &Line) {
    if (Line.Kind == OWN_ENTRY && !Found[Line.Setting]) {
      Found[Line.Setting] = true;
      ParseNumber(Line.Value, Values[Line.Setting]);
    }
  });
}

int IniEntry(wchar_t *Out, int Id, DWORD Value) {
  const TSetting &Setting = SettingTable[Id];
  return wsprintfW(Out, Setting.Kind == HOTKEY ? L"%s=0x%08lX\r\n" : L"%s=%lu\r\n", Setting.Name,
                   Value);
}

// A changed value replaces its entry where it stands, or is added after the section's
// last own entry (in a section made at the end when there is none); one back at its
// default loses its entry. Every other line stays as it was.
bool SaveIni(const wchar_t *Path, const TSettingValues &Values,
             const bool (&Changed)[SETTING_COUNT]) {
  TIniText Ini;
  if (!ReadIni(Path, Ini))
    return false;
  TIniText New;
  New.Text = static_cast<wchar_t *>(std::malloc((Ini.Length + IniGrowth) * sizeof(wchar_t)));
  if (New.Text == nullptr)
    return false;
  bool Pending[SETTING_COUNT] = {};
  for (int Id = 0; Id < SETTING_COUNT; ++Id)
    Pending[Id] = Changed[Id] && Values[Id] != SettingTable[Id].Default;
  wchar_t *const Out = New.Text;
  int &Length = New.Length;
  int InsertAt = -1;
  bool InOwnSection = false;
  const auto AddPending = [&] {
    wchar_t Entries[IniGrowth];
    int Size = 0;
    for (int Id = 0; Id < SETTING_COUNT; ++Id)
      if (Pending[Id]) {
        Size += IniEntry(Entries + Size, Id, Values[Id]);
        Pending[Id] = false;
      }
    if (Size == 0)
      return;
    // A last line without its line end gets one before anything follows it.
    const bool AtEnd = InsertAt < 0 || InsertAt == Length;
    if (AtEnd && Length > 0 && Out[Length - 1] != L'\n' && Out[Length - 1] != L'\r')
      Length += wsprintfW(Out + Length, L"\r\n");
    if (InsertAt < 0)
      Length += wsprintfW(Out + Length, L"[%s]\r\n", IniSection);
    if (AtEnd)
      InsertAt = Length;
    std::memmove(Out + InsertAt + Size, Out + InsertAt,
                 static_cast<size_t>(Length - InsertAt) * sizeof(wchar_t));
    std::memcpy(Out + InsertAt, Entries, static_cast<size_t>(Size) * sizeof(wchar_t));
    Length += Size;
  };
  ForEachIniLine(Ini, [&](const wchar_t *At, const TIniLine &Line) {
    if (Line.Kind >= OWN_SECTION && InOwnSection)
      AddPending();
    if (Line.Kind >= OWN_SECTION)
      InOwnSection = Line.Kind == OWN_SECTION;
    if (Line.Kind != OWN_ENTRY || !Changed[Line.Setting]) {
      const auto Size = static_cast<int>(Line.Next - At);
      std::memcpy(Out + Length, At, static_cast<size_t>(Size) * sizeof(wchar_t));
      Length += Size;
    } else if (Pending[Line.Setting]) {
      Length += IniEntry(Out + Length, Line.Setting, Values[Line.Setting]);
      Pending[Line.Setting] = false;
    }
    if (Line.Kind == OWN_SECTION || Line.Kind == OWN_ENTRY)
      InsertAt = Length;
  });
  AddPending();
  return WriteIni(Path, Ini.Encoding, New.Text, New.Length);
}

// What is stored, or the default where nothing readable is; the ranges are checked
// apart.
void ReadStore(TSettingValues &Values) {
  for (const TSetting &Setting : SettingTable)
    Values[Setting.Id] = Setting.Default;
  wchar_t Path[MAX_PATH];
  if (FindPortableIni(Path)) {
    TIniText Ini;
    if (ReadIni(Path, Ini))
      ReadIniValues(Ini, Values);
    return;
  }
  for (const TSetting &Setting : SettingTable) {
    DWORD Stored = 0;
    if (ReadRegistryValue(StoreKey, Setting.Name, REG_DWORD, &Stored, sizeof Stored) ==
        sizeof Stored)
      Values[Setting.Id] = Stored;
  }
}

bool WriteRunValue() {
  TQuotedPath Path;
  return QuotedProgramPath(Path) &&
         StoreRegistryValue(RunKey, RunValueName, REG_SZ, Path.Text,
                            static_cast<DWORD>(lstrlenW(Path.Text) + 1) * sizeof(wchar_t));
}

// A copy is gone only where no answer could be "not here now": on a fixed drive that
// is present, neither the file nor its folder is there. A stick that is out, a network
// drive offline or an unmapped letter prove nothing.
bool CopyGone(const wchar_t *Path) {
  const wchar_t Root[] = {Path[0], L':', L'\\', L'\0'};
  if (Path[0] == L'\0' || Path[1] != L':' || Path[2] != L'\\' ||
      GetDriveTypeW(Root) != DRIVE_FIXED || GetFileAttributesW(Path) != INVALID_FILE_ATTRIBUTES)
    return false;
  const DWORD Error = GetLastError();
  return Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND;
}

} // namespace

const wchar_t *ProgramPath() {
  static wchar_t Path[MAX_PATH];
  const DWORD Length = GetModuleFileNameW(nullptr, Path, MAX_PATH);
  return Length > 0 && Length < MAX_PATH ? Path : nullptr;
}

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

bool KeyTypesCharacter(DWORD Key) {
  if ((HotKeyModifiers(Key) & ~MOD_SHIFT) != 0)
    return false;
  for (const TKeyRange &Range : CharacterKeys)
    if (HotKeyCode(Key) >= Range.First && HotKeyCode(Key) <= Range.Last)
      return true;
  return false;
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
  wchar_t Ini[MAX_PATH];
  if (FindPortableIni(Ini))
    return SaveIni(Ini, Values, Changed);
  bool Saved = true;
  for (const TSetting &Setting : SettingTable)
    if (Changed[Setting.Id])
      Saved =
          StoreRegistryValue(StoreKey, Setting.Name, REG_DWORD,
                             Values[Setting.Id] == Setting.Default ? nullptr : &Values[Setting.Id],
                             sizeof(DWORD)) &&
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
  TQuotedPath Own;
  return QuotedProgramPath(Own) &&
         ReadRegistryValue(RunKey, RunValueName, REG_SZ, Stored.Text,
                           sizeof Stored.Text - sizeof(wchar_t)) > 0 &&
         lstrcmpiW(Stored.Text, Own.Text) == 0 && !SwitchedOffInTaskManager();
}

// Turning on also takes back a "disabled" of Task Manager: the user's latest choice wins.
bool SetStartWithWindows(bool Start) {
  if (!Start)
    return StoreRegistryValue(RunKey, RunValueName, REG_SZ, nullptr, 0);
  return WriteRunValue() && StoreRegistryValue(ApprovedKey, RunValueName, REG_BINARY, nullptr, 0);
}

// Only a path to a program of this one's name that is provably gone is taken for this
// copy's old place; Task Manager's switch is left as the user set it.
void FollowMovedPortableCopy() {
  wchar_t Ini[MAX_PATH];
  TQuotedPath Stored = {};
  if (!FindPortableIni(Ini) || ReadRegistryValue(RunKey, RunValueName, REG_SZ, Stored.Text,
                                                 sizeof Stored.Text - sizeof(wchar_t)) == 0)
    return;
  const int Length = lstrlenW(Stored.Text);
  if (Length < 2 || Stored.Text[0] != L'"' || Stored.Text[Length - 1] != L'"')
    return;
  Stored.Text[Length - 1] = L'\0';
  const wchar_t *Path = Stored.Text + 1;
  if (lstrcmpiW(FileName(Path), FileName(ProgramPath())) == 0 && CopyGone(Path))
    WriteRunValue();
}
