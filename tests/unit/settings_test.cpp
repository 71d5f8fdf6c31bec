#include "main.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>

// The store is the real one of the build's Wine prefix, and the INI lies beside this
// test program, as it would beside sonalto.exe; each test leaves neither behind.
namespace {

constexpr char StoreKey[] = "Software\\Sonalto";

struct TStored {
  const char *Name;
  DWORD Type;
  DWORD Value;
  TSettingId Id;
  DWORD Expected;
};

std::string IniPath() {
  char Path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, Path, MAX_PATH);
  return std::string(Path).substr(0, std::string(Path).rfind('\\') + 1) + "sonalto.ini";
}

class TSettings : public testing::Test {
protected:
  void TearDown() override {
    RegDeleteKeyA(HKEY_CURRENT_USER, StoreKey);
    DeleteFileA(IniPath().c_str());
    LoadSettings();
  }
  static void Store(const char *Name, DWORD Type, DWORD Value) {
    HKEY Key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, StoreKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &Key,
                    nullptr);
    RegSetValueExA(Key, Name, 0, Type, reinterpret_cast<BYTE *>(&Value), sizeof Value);
    RegCloseKey(Key);
  }
  // The stored REG_DWORD, or none when there is no such value.
  static std::optional<DWORD> Stored(const char *Name) {
    HKEY Key = nullptr;
    DWORD Value = 0;
    DWORD Size = sizeof Value;
    const bool Found =
        RegOpenKeyExA(HKEY_CURRENT_USER, StoreKey, 0, KEY_QUERY_VALUE, &Key) == ERROR_SUCCESS &&
        RegQueryValueExA(Key, Name, nullptr, nullptr, reinterpret_cast<BYTE *>(&Value), &Size) ==
            ERROR_SUCCESS;
    RegCloseKey(Key);
    return Found ? std::optional<DWORD>(Value) : std::nullopt;
  }
};

TEST_F(TSettings, NothingStoredGivesTodaysConstants) {
  LoadSettings();
  const TSettingValues Expected = {0x00030021, 0x00030022, 0x0003004D, 0x00040013, 1, 4, 0x10,
                                   0,          500,        4000,       1800,       0, 0, 0};
  for (int Id = 0; Id < SETTING_COUNT; ++Id)
    EXPECT_EQ(Expected[Id], Settings[Id]) << Id;
  EXPECT_EQ(1800u, HideDelay);
  EXPECT_EQ(500, MinStep);
  EXPECT_EQ(4000, MaxStep);
  EXPECT_EQ(4, BorderWidth);
}

TEST_F(TSettings, EachBadValueTakesItsDefaultAndTheGoodOnesStay) {
  const TStored Cases[] = {{"EdgeWidth", REG_DWORD, 33, EDGE_WIDTH, 4},
                           {"EdgeWidth", REG_BINARY, 8, EDGE_WIDTH, 4},
                           {"EdgeWidth", REG_DWORD, 32, EDGE_WIDTH, 32},
                           {"DisplayTime", REG_DWORD, 499, DISPLAY_TIME, 1800},
                           {"DisplayTime", REG_DWORD, 0, DISPLAY_TIME, 0},
                           {"WheelModifier", REG_DWORD, 0x13, WHEEL_MODIFIER, 0x10},
                           {"WheelModifier", REG_DWORD, 0, WHEEL_MODIFIER, 0},
                           {"DisplayCorner", REG_DWORD, 4, DISPLAY_CORNER, 0},
                           {"MuteKey", REG_DWORD, 0x00020041, MUTE_KEY, 0x00020041},
                           {"MuteKey", REG_DWORD, 0, MUTE_KEY, 0},
                           {"MuteKey", REG_DWORD, 0x40020041, MUTE_KEY, 0x0003004D}, // MOD_NOREPEAT
                           {"MuteKey", REG_DWORD, 0x00030000, MUTE_KEY, 0x0003004D},
                           {"SmallestStep", REG_DWORD, 4000, SMALLEST_STEP, 4000},
                           {"SmallestStep", REG_DWORD, 4001, SMALLEST_STEP, 500},
                           {"SmallestStep", REG_DWORD, 4001, LARGEST_STEP, 4000}};
  for (const TStored &Case : Cases) {
    TearDown();
    Store(Case.Name, Case.Type, Case.Value);
    LoadSettings();
    EXPECT_EQ(Case.Expected, Settings[Case.Id]) << Case.Name << " " << Case.Value;
  }
}

TEST_F(TSettings, APortableIniIsReadInsteadOfTheRegistryAndAGarbledLineIsIgnored) {
  Store("EdgeWidth", REG_DWORD, 9);
  Store("ReverseWheel", REG_DWORD, 1);
  std::ofstream(IniPath()) << "[Sonalto]\nEdgeWidth=0x10\nMuteKey=131137\nSmallestStep=12 \n"
                              "LargestStep=0x\nDisplayTime=4294968096\nWheelModifier=17x\n";
  LoadSettings();
  const std::pair<TSettingId, DWORD> Expected[] = {
      {EDGE_WIDTH, 16},     {MUTE_KEY, 0x00020041}, {SMALLEST_STEP, 12}, {LARGEST_STEP, 4000},
      {DISPLAY_TIME, 1800}, {WHEEL_MODIFIER, 0x10}, {REVERSE_WHEEL, 0}};
  for (const auto &[Id, Value] : Expected)
    EXPECT_EQ(Value, Settings[Id]) << Id;
}

TEST_F(TSettings, SavingWritesOnlyTheChangedAndRemovesADefault) {
  TSettingValues Values = {};
  bool Changed[SETTING_COUNT] = {};
  for (int Id = 0; Id < SETTING_COUNT; ++Id)
    Values[Id] = DefaultSetting(static_cast<TSettingId>(Id));
  Values[EDGE_WIDTH] = Values[REVERSE_WHEEL] = 9;
  Changed[EDGE_WIDTH] = Changed[DISPLAY_TIME] = true;
  Store("DisplayTime", REG_DWORD, 900);
  EXPECT_TRUE(SaveSettings(Values, Changed));
  EXPECT_EQ(9u, Stored("EdgeWidth"));
  EXPECT_FALSE(Stored("ReverseWheel")); // not marked changed
  EXPECT_FALSE(Stored("DisplayTime"));  // changed back to its default
  Values[EDGE_WIDTH] = 4;
  EXPECT_TRUE(SaveSettings(Values, Changed));
  EXPECT_FALSE(Stored("EdgeWidth"));
}

} // namespace
