#include "fakes.h"
#include "main.h"
#include "program.h"
#include "resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

// The store is the real one of the build's Wine prefix, and the INI lies beside this
// test program, as it would beside sonalto.exe; each test leaves neither behind.
namespace {

const std::string Ini =
    std::string(_pgmptr).substr(0, std::string(_pgmptr).rfind('\\')) + "\\sonalto.ini";

void Store(const char *Name, DWORD Type, DWORD Value) {
  HKEY Key = nullptr;
  RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Sonalto", &Key);
  RegSetValueExA(Key, Name, 0, Type, reinterpret_cast<const BYTE *>(&Value), sizeof Value);
  RegCloseKey(Key);
}

constexpr wchar_t RunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t ApprovedKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

void SetValue(const wchar_t *Path, DWORD Type, const void *Data, size_t Size) {
  HKEY Key = nullptr;
  RegCreateKeyW(HKEY_CURRENT_USER, Path, &Key);
  RegSetValueExW(Key, L"Sonalto", 0, Type, static_cast<const BYTE *>(Data),
                 static_cast<DWORD>(Size));
  RegCloseKey(Key);
}

void SetRunValue(const std::wstring &Text) {
  SetValue(RunKey, REG_SZ, Text.c_str(), (Text.size() + 1) * sizeof(wchar_t));
}

// The Run value's text; "none" when there is none.
std::wstring RunValue() {
  wchar_t Text[1024] = {};
  DWORD Size = sizeof Text - sizeof(wchar_t);
  HKEY Key = nullptr;
  RegOpenKeyW(HKEY_CURRENT_USER, RunKey, &Key);
  const bool Found = RegQueryValueExW(Key, L"Sonalto", nullptr, nullptr,
                                      reinterpret_cast<BYTE *>(Text), &Size) == ERROR_SUCCESS;
  RegCloseKey(Key);
  return Found ? Text : L"none";
}

std::wstring Quoted(const std::wstring &Path) { return L"\"" + Path + L"\""; }

void RemoveValue(const wchar_t *Path) {
  HKEY Key = nullptr;
  RegOpenKeyW(HKEY_CURRENT_USER, Path, &Key);
  RegDeleteValueW(Key, L"Sonalto");
  RegCloseKey(Key);
}

std::string ReadFileBytes(const std::wstring &Path) {
  std::string Bytes;
  const HANDLE File =
      CreateFileW(Path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  char Buffer[4096];
  DWORD Read = 0;
  while (ReadFile(File, Buffer, sizeof Buffer, &Read, nullptr) && Read > 0)
    Bytes.append(Buffer, Read);
  CloseHandle(File);
  return Bytes;
}

void WriteFileBytes(const std::wstring &Path, const std::string &Bytes) {
  const HANDLE File =
      CreateFileW(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD Written = 0;
  WriteFile(File, Bytes.data(), static_cast<DWORD>(Bytes.size()), &Written, nullptr);
  CloseHandle(File);
}

const std::wstring WideIni(Ini.begin(), Ini.end());

class TSettings : public testing::Test {
protected:
  void TearDown() override {
    FakeModulePath.clear();
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Sonalto");
    RemoveValue(RunKey);
    RemoveValue(ApprovedKey);
    DeleteFileA(Ini.c_str());
    LoadSettings();
  }
};

TEST_F(TSettings, NothingStoredGivesTodaysConstants) {
  LoadSettings();
  const TSettingValues Expected = {0x00030021, 0x00030022, 0x0003004D, 0x00040013, 1, 4, 0x10, 0,
                                   500,        4000,       1800,       0,          0, 0, 1};
  for (int Id = 0; Id < SETTING_COUNT; ++Id)
    EXPECT_EQ(Expected[Id], Settings[Id]) << Id;
}

TEST_F(TSettings, EachBadValueTakesItsDefaultAndTheGoodOnesStay) {
  const struct {
    const char *Name;
    DWORD Type, Value;
    TSettingId Id;
    DWORD Expected;
  } Cases[] = {{"EdgeWidth", REG_DWORD, 33, EDGE_WIDTH, 4},
               {"EdgeWidth", REG_BINARY, 8, EDGE_WIDTH, 4},
               {"EdgeWidth", REG_DWORD, 32, EDGE_WIDTH, 32},
               {"DisplayTime", REG_DWORD, 499, DISPLAY_TIME, 1800},
               {"DisplayTime", REG_DWORD, 0, DISPLAY_TIME, 0},
               {"WheelModifier", REG_DWORD, 0x13, WHEEL_MODIFIER, 0x10},
               {"WheelModifier", REG_DWORD, VK_MENU, WHEEL_MODIFIER, 0x10}, // Alt opens menus
               {"MuteKey", REG_DWORD, 0x00020041, MUTE_KEY, 0x00020041},
               {"MuteKey", REG_DWORD, 0, MUTE_KEY, 0},
               {"MuteKey", REG_DWORD, 0x40020041, MUTE_KEY, 0x0003004D}, // MOD_NOREPEAT
               {"MuteKey", REG_DWORD, 0x00030000, MUTE_KEY, 0x0003004D},
               {"SmallestStep", REG_DWORD, 4000, SMALLEST_STEP, 4000},
               {"SmallestStep", REG_DWORD, 4001, SMALLEST_STEP, 500}};
  for (const auto &Case : Cases) {
    TearDown();
    Store(Case.Name, Case.Type, Case.Value);
    LoadSettings();
    EXPECT_EQ(Case.Expected, Settings[Case.Id]) << Case.Name << " " << Case.Value;
  }
}

TEST_F(TSettings, APortableIniIsReadInsteadOfTheRegistryAndAGarbledLineIsIgnored) {
  Store("ReverseWheel", REG_DWORD, 1);
  std::ofstream(Ini) << "[Sonalto]\nEdgeWidth=0x10\nMuteKey=131137\nSmallestStep=12 \n"
                        "LargestStep=0x\nDisplayTime=4294968096\nWheelModifier=17x\n";
  LoadSettings();
  const std::pair<TSettingId, DWORD> Expected[] = {
      {EDGE_WIDTH, 16},     {MUTE_KEY, 0x00020041}, {SMALLEST_STEP, 12}, {LARGEST_STEP, 4000},
      {DISPLAY_TIME, 1800}, {WHEEL_MODIFIER, 0x10}, {REVERSE_WHEEL, 0}};
  for (const auto &[Id, Value] : Expected)
    EXPECT_EQ(Value, Settings[Id]) << Id;
}

enum TForm { ANSI, UTF8, UTF8_BOM, UTF16LE, UTF16BE };

std::string Encoded(const std::wstring &Text, TForm Form) {
  if (Form >= UTF16LE) {
    std::string Bytes = Form == UTF16LE ? "\xFF\xFE" : "\xFE\xFF";
    for (const wchar_t Unit : Text) {
      const char Low = static_cast<char>(Unit & 0xFF), High = static_cast<char>(Unit >> 8);
      Bytes += Form == UTF16LE ? std::string{Low, High} : std::string{High, Low};
    }
    return Bytes;
  }
  std::string Bytes(Text.size() * 3, '\0');
  Bytes.resize(static_cast<size_t>(WideCharToMultiByte(
      Form == ANSI ? CP_ACP : CP_UTF8, 0, Text.c_str(), static_cast<int>(Text.size()), Bytes.data(),
      static_cast<int>(Bytes.size()), nullptr, nullptr)));
  return (Form == UTF8_BOM ? "\xEF\xBB\xBF" : "") + Bytes;
}

// The section is found behind any byte-order mark and in any case; a changed value
// replaces its line, one back at its default loses it, a new one follows the section's
// last; everything else comes back byte for byte. A value too long for any buffer
// still reads whole.
TEST_F(TSettings, TheIniIsReadAndRewrittenTheSameInEachOfItsEncodings) {
  const struct {
    TForm Form;
    const wchar_t *Comment; // what the encoding can hold beyond ASCII
  } Cases[] = {{ANSI, L"caf\u00E9"},
               {UTF8, L"\u03A9\u03BC\u03AD\u03B3\u03B1 \u0418\u0432\u0430\u043D \u8A66\u9A13"},
               {UTF8_BOM, L"\u0418\u0432\u0430\u043D"},
               {UTF16LE, L"\u8A66\u9A13"},
               {UTF16BE, L"\u03A9\u03BC\u03AD\u03B3\u03B1"}};
  for (const auto &Case : Cases) {
    const std::wstring Comment = std::wstring(L"; ") + Case.Comment + L"\r\n";
    WriteFileBytes(WideIni, Encoded(Comment + L"[Other]\r\nMuteKey=5\r\n[ sonalto ]\r\n"
                                              L"mutekey = 0x00020041\r\nUnknown=1\n"
                                              L"DisplayTime=0000000000000003000\r\n"
                                              L"EdgeWidth=12\r\n; end\r\n[Last]\r\nA=1",
                                    Case.Form));
    LoadSettings();
    EXPECT_EQ(0x00020041u, Settings[MUTE_KEY]) << Case.Form;
    EXPECT_EQ(3000u, Settings[DISPLAY_TIME]) << Case.Form;
    EXPECT_EQ(12u, Settings[EDGE_WIDTH]) << Case.Form;
    TSettingValues Values = {};
    std::copy(std::begin(Settings), std::end(Settings), Values);
    Values[MUTE_KEY] = 0x00060026;
    Values[DISPLAY_TIME] = DefaultSetting(DISPLAY_TIME);
    Values[SMALLEST_STEP] = 700;
    bool Changed[SETTING_COUNT] = {};
    Changed[MUTE_KEY] = Changed[DISPLAY_TIME] = Changed[SMALLEST_STEP] = true;
    EXPECT_TRUE(SaveSettings(Values, Changed));
    EXPECT_EQ(Encoded(Comment + L"[Other]\r\nMuteKey=5\r\n[ sonalto ]\r\nMuteKey=0x00060026\r\n"
                                L"Unknown=1\nEdgeWidth=12\r\nSmallestStep=700\r\n; end\r\n"
                                L"[Last]\r\nA=1",
                      Case.Form),
              ReadFileBytes(WideIni))
        << Case.Form;
  }
}

// The section is made at the end when there is none, and Defaults leave it empty.
TEST_F(TSettings, AnIniWithoutTheSectionGetsOneAndDefaultsEmptyIt) {
  WriteFileBytes(WideIni, "[Other]\r\nA=1");
  TSettingValues Values = {};
  bool Changed[SETTING_COUNT] = {};
  for (int Id = 0; Id < SETTING_COUNT; ++Id)
    Values[Id] = DefaultSetting(static_cast<TSettingId>(Id));
  Values[EDGE_WIDTH] = 9;
  Changed[EDGE_WIDTH] = true;
  EXPECT_TRUE(SaveSettings(Values, Changed));
  EXPECT_EQ("[Other]\r\nA=1\r\n[Sonalto]\r\nEdgeWidth=9\r\n", ReadFileBytes(WideIni));
  Values[EDGE_WIDTH] = 4;
  std::fill(std::begin(Changed), std::end(Changed), true);
  EXPECT_TRUE(SaveSettings(Values, Changed));
  EXPECT_EQ("[Other]\r\nA=1\r\n[Sonalto]\r\n", ReadFileBytes(WideIni));
}

// Task Manager's first byte decides whatever the value's length; turning the box on
// again takes its "off" back.
TEST_F(TSettings, StartWithWindowsNamesThisCopyAndHonoursTaskManagerUntilTheUserChoosesAgain) {
  ASSERT_TRUE(SetStartWithWindows(true));
  EXPECT_EQ(Quoted(ProgramPath()), RunValue());
  EXPECT_TRUE(StartsWithWindows());
  const struct {
    std::vector<BYTE> Approved;
    bool Starts;
  } Cases[] = {{{3}, false}, {std::vector<BYTE>(40, 1), false}, {std::vector<BYTE>(12, 2), true}};
  for (const auto &Case : Cases) {
    SetValue(ApprovedKey, REG_BINARY, Case.Approved.data(), Case.Approved.size());
    EXPECT_EQ(Case.Starts, StartsWithWindows()) << Case.Approved.size();
  }
  ASSERT_TRUE(SetStartWithWindows(true));
  EXPECT_TRUE(StartsWithWindows());
  SetRunValue(L"\"C:\\elsewhere\\settings_test.exe\"");
  EXPECT_FALSE(StartsWithWindows());
  ASSERT_TRUE(SetStartWithWindows(false));
  EXPECT_EQ(L"none", RunValue());
  EXPECT_FALSE(StartsWithWindows());
}

// A path the system had to cut names another file: beside it lies no INI of this
// copy, and no Run value may name it.
TEST_F(TSettings, ACutProgramPathIsNeverUsed) {
  FakeModulePath = L"C:\\" + std::wstring(MAX_PATH, L'a') + L"\\settings_test.exe";
  WriteFileBytes(L"C:\\sonalto.ini", "[Sonalto]\r\nEdgeWidth=9\r\n");
  LoadSettings();
  DeleteFileW(L"C:\\sonalto.ini");
  EXPECT_EQ(nullptr, ProgramPath());
  EXPECT_EQ(4u, Settings[EDGE_WIDTH]);
  EXPECT_FALSE(SetStartWithWindows(true));
  EXPECT_EQ(L"none", RunValue());
}

// Only a copy of this name on a present fixed drive whose file or folder is not found
// is gone for certain; a stick that is out, a network share or an unmapped letter
// prove nothing, and neither does a copy that is there.
TEST_F(TSettings, APortableCopyTakesTheRunValueOverOnlyFromACopyProvablyGone) {
  CreateDirectoryW(L"C:\\present", nullptr);
  WriteFileBytes(L"C:\\present\\settings_test.exe", "");
  ASSERT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeW(L"Q:\\"));
  const struct {
    const wchar_t *Stored;
    bool Portable;
    bool Taken;
  } Cases[] = {{L"\"C:\\gone\\settings_test.exe\"", true, true},
               {L"\"C:\\windows\\SETTINGS_TEST.EXE\"", true, true},
               {L"\"C:\\gone\\settings_test.exe\"", false, false},
               {L"\"Q:\\stick\\settings_test.exe\"", true, false},
               {L"\"\\\\server\\share\\settings_test.exe\"", true, false},
               {L"\"C:\\present\\settings_test.exe\"", true, false},
               {L"\"C:\\gone\\other.exe\"", true, false},
               {L"C:\\gone\\settings_test.exe", true, false}};
  for (const auto &Case : Cases) {
    if (Case.Portable)
      WriteFileBytes(WideIni, "");
    SetRunValue(Case.Stored);
    FollowMovedPortableCopy();
    EXPECT_EQ(Case.Taken ? Quoted(ProgramPath()) : Case.Stored, RunValue()) << Case.Stored;
    DeleteFileW(WideIni.c_str());
  }
  DeleteFileW(L"C:\\present\\settings_test.exe");
  RemoveDirectoryW(L"C:\\present");
}

// The store is the real registry of the build's Wine prefix; each test leaves it empty.
class TSettingsOk : public TProgramTest {
protected:
  void TearDown() override {
    TProgramTest::TearDown();
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Sonalto");
    RemoveValue(RunKey);
    RemoveValue(ApprovedKey);
    LoadSettings();
  }
  static void Send(int Control, UINT Message, WPARAM WParam = 0) {
    SendDlgItemMessageW(SettingsDialog, Control, Message, WParam, 0);
  }
  static void Ok() { Send(IDOK, BM_CLICK); }
};

// A key in force that another program took since is no reason to refuse the rest;
// two actions on one key are refused whichever field changed.
TEST_F(TSettingsOk, OnlyAChangedKeyIsAskedOfTheSystem) {
  Fake.RefusedKeys = {VK_PRIOR};
  OpenSettingsDialog();
  Send(IDC_DISPLAY_CORNER, CB_SETCURSEL, BOTTOM_RIGHT);
  Ok();
  EXPECT_EQ(nullptr, SettingsDialog);
  EXPECT_EQ(DWORD{BOTTOM_RIGHT}, Settings[DISPLAY_CORNER]);
  OpenSettingsDialog();
  Send(IDC_SWITCH_KEY, HKM_SETHOTKEY, (HOTKEYF_CONTROL | HOTKEYF_ALT) << 8 | 'M');
  Ok();
  ASSERT_NE(nullptr, SettingsDialog);
  EXPECT_EQ(L"On/off: the key is taken.", Fake.Boxes.back().Text);
}

// The switch starts with no key, so that each key typed is a change.
TEST_F(TSettingsOk, AChangedKeyThatTypesACharacterIsRefusedWithItsReason) {
  const struct {
    DWORD InForce;
    WORD Typed; // as the hotkey control holds it; 0: left as shown
    bool Refused;
  } Cases[] = {{0, 'M', true},
               {0, HOTKEYF_SHIFT << 8 | VK_OEM_1, true},
               {0, VK_NUMPAD5, true},
               {0, VK_SPACE, true},
               {0, HOTKEYF_SHIFT << 8 | VK_PAUSE, false},
               {0, VK_F7, false},
               {0, HOTKEYF_CONTROL << 8 | 'M', false},
               {'P', 0, false}};
  for (const auto &Case : Cases) {
    TSettingValues Values = {};
    std::copy(std::begin(Settings), std::end(Settings), Values);
    Values[SWITCH_KEY] = Case.InForce;
    ApplySettings(Values);
    Fake.Boxes.clear();
    OpenSettingsDialog();
    if (Case.Typed != 0)
      Send(IDC_SWITCH_KEY, HKM_SETHOTKEY, Case.Typed);
    Ok();
    EXPECT_EQ(Case.Refused, SettingsDialog != nullptr) << Case.Typed;
    if (!Case.Refused)
      continue;
    EXPECT_EQ(L"On/off: the key types a character: add Ctrl, Alt or Win.", Fake.Boxes.back().Text);
    EXPECT_EQ(GetDlgItem(SettingsDialog, IDC_SWITCH_KEY), GetFocus());
    DestroyWindow(SettingsDialog);
  }
}

// A switch-off made in Task Manager while the dialog was open stands when the box
// was left alone; a click on the box then is the user's latest choice.
TEST_F(TSettingsOk, OkWritesTheRunValueOnlyWhenTheBoxWasChanged) {
  SetStartWithWindows(true);
  OpenSettingsDialog();
  const BYTE SwitchedOff[12] = {3};
  SetValue(ApprovedKey, REG_BINARY, SwitchedOff, sizeof SwitchedOff);
  Ok();
  EXPECT_FALSE(StartsWithWindows());
  OpenSettingsDialog();
  Send(IDC_START_WITH_WINDOWS, BM_CLICK);
  Ok();
  EXPECT_TRUE(StartsWithWindows());
  OpenSettingsDialog();
  Send(IDC_START_WITH_WINDOWS, BM_CLICK);
  Ok();
  EXPECT_EQ(L"none", RunValue());
}

} // namespace
