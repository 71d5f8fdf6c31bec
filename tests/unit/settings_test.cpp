#include "main.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

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

class TSettings : public testing::Test {
protected:
  void TearDown() override {
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Sonalto");
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

} // namespace
