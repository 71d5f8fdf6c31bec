#include "fakes.h"
#include "main.h"
#include "program.h"
#include "resource.h"

#include <commctrl.h>
#include <string>
#include <vector>

namespace {

struct TItem {
  UINT Id;
  UINT Type;
  UINT State;
  std::string Text;
};

TItem ItemAt(HMENU Menu, UINT Position) {
  char Text[64] = {};
  MENUITEMINFOA Info = {};
  Info.cbSize = sizeof Info;
  Info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
  Info.dwTypeData = Text;
  Info.cch = sizeof Text;
  EXPECT_TRUE(GetMenuItemInfoA(Menu, Position, TRUE, &Info));
  return TItem{Info.wID, Info.fType, Info.fState, Text};
}

// The six items as the menu is built, top to bottom, nothing checked, greyed or default.
void ExpectTrayMenuItems(HMENU Menu, const std::string &SwitchText) {
  ASSERT_EQ(6, GetMenuItemCount(Menu));
  const std::vector<TItem> Expected = {{CMD_CONTROLS, MFT_STRING, 0, "Controls"},
                                       {CMD_SETTINGS, MFT_STRING, 0, "Settings..."},
                                       {0, MFT_SEPARATOR, 0, ""},
                                       {CMD_TOGGLE_ENABLE, MFT_STRING, 0, SwitchText},
                                       {0, MFT_SEPARATOR, 0, ""},
                                       {CMD_EXIT, MFT_STRING, 0, "Exit"}};
  for (UINT Position = 0; Position < Expected.size(); ++Position) {
    const TItem Item = ItemAt(Menu, Position);
    EXPECT_EQ(Expected[Position].Id, Item.Id) << Position;
    EXPECT_EQ(Expected[Position].Type, Item.Type) << Position;
    // The platform greys separators by itself; a command is never greyed.
    const UINT Seen = Item.Type == MFT_SEPARATOR ? Item.State & ~UINT{MFS_GRAYED} : Item.State;
    EXPECT_EQ(Expected[Position].State, Seen) << Position;
    EXPECT_EQ(Expected[Position].Text, Item.Text) << Position;
  }
  EXPECT_EQ(static_cast<UINT>(-1), GetMenuDefaultItem(Menu, FALSE, 0));
}

LRESULT NotifyTray(LPARAM MouseMessage) {
  return SendMessageA(MainWindow, WM_TRAYNOTIFY, 0, MouseMessage);
}

// Right-button release on the icon, and the user picks Command from the menu.
void Choose(UINT Command) {
  Fake.MenuChoice = Command;
  NotifyTray(WM_RBUTTONUP);
}

using TTrayMenu = TProgramTest;

TEST_F(TTrayMenu, HoldsControlsSettingsSwitchAndExitBetweenSeparators) {
  ExpectTrayMenuItems(TrayMenu, "Disable");
}

// Any process can send WM_CREATE; a menu built for each would never be freed.
TEST_F(TTrayMenu, AnotherCreationKeepsTheOneMenu) {
  const HMENU Started = TrayMenu;
  EXPECT_EQ(0, SendMessageW(MainWindow, WM_CREATE, 0, 0));
  EXPECT_EQ(Started, TrayMenu);
  ExpectTrayMenuItems(TrayMenu, "Disable");
}

TEST_F(TTrayMenu, SwitchTextFollowsEnabledAndKeepsItsId) {
  Enabled = false;
  UpdateEnableMenuItem();
  ExpectTrayMenuItems(TrayMenu, "Enable");
  Enabled = true;
  UpdateEnableMenuItem();
  ExpectTrayMenuItems(TrayMenu, "Disable");
}

using TTrayNotify = TProgramTest;

TEST_F(TTrayNotify, OnlyRightButtonReleaseOpensTheMenu) {
  for (LPARAM Other : {WM_LBUTTONUP, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_LBUTTONDBLCLK,
                       WM_RBUTTONDBLCLK, WM_MOUSEMOVE, WM_CONTEXTMENU})
    EXPECT_EQ(0, NotifyTray(Other)) << Other;
  EXPECT_TRUE(Fake.PopupMenus.empty());
  // The icon id in wParam is not looked at.
  EXPECT_EQ(0, SendMessageA(MainWindow, WM_TRAYNOTIFY, 7, WM_RBUTTONUP));
  EXPECT_EQ(1u, Fake.PopupMenus.size());
}

TEST_F(TTrayNotify, MenuOpensAtThePointerOwnedByTheForegroundMainWindow) {
  Fake.CursorPos = POINT{321, 234};
  Fake.Sequence.clear();
  NotifyTray(WM_RBUTTONUP);
  ASSERT_EQ(1u, Fake.PopupMenus.size());
  const TPopupMenuCall &Menu = Fake.PopupMenus[0];
  EXPECT_EQ(TrayMenu, Menu.Menu);
  EXPECT_EQ(static_cast<UINT>(TPM_RETURNCMD), Menu.Flags);
  EXPECT_EQ(321, Menu.X);
  EXPECT_EQ(234, Menu.Y);
  EXPECT_EQ(MainWindow, Menu.Owner);
  EXPECT_FALSE(Menu.HasParameters);
  EXPECT_EQ((std::vector<std::string>{"SetForegroundWindow", "TrackPopupMenuEx"}), Fake.Sequence);
}

using TMenuCommand = TProgramTest;

TEST_F(TMenuCommand, ControlsShowsTheHelpBox) {
  Choose(CMD_CONTROLS);
  ASSERT_EQ(1u, Fake.Boxes.size());
  EXPECT_EQ(nullptr, Fake.Boxes[0].Owner);
  EXPECT_EQ(L"Controls", Fake.Boxes[0].Caption);
  EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), Fake.Boxes[0].Style);
  EXPECT_EQ(L"Volume:\r  Mouse Wheel on borders of Screen\r  or Shift + Mouse Wheel\r"
            L"  or Mouse Wheel over the tray icon\r  or Ctrl + Alt + PgUp / PgDn\r\rMute On/Off:\r"
            L"  Ctrl + Alt + M\r\r\rEnable/Disable Sonalto:\r  Shift + Pause",
            Fake.Boxes[0].Text);
}

TEST_F(TMenuCommand, SwitchDisablesThenEnablesAgain) {
  Choose(CMD_TOGGLE_ENABLE);
  EXPECT_FALSE(Enabled);
  EXPECT_EQ(1, Fake.FreeHookCount);
  EXPECT_EQ(IDI_DIMUTEOFF, TrayImage());
  EXPECT_EQ("Enable", ItemAt(TrayMenu, 3).Text);
  Choose(CMD_TOGGLE_ENABLE);
  EXPECT_TRUE(Enabled);
  EXPECT_EQ(2u, Fake.SetHookCalls.size());
  EXPECT_EQ(IDI_ENMUTEOFF, TrayImage());
  EXPECT_EQ("Disable", ItemAt(TrayMenu, 3).Text);
}

TEST_F(TMenuCommand, SwitchWorksWhenShiftPauseIsTaken) {
  StopProgram();
  StartProgram([] { Fake.RefusedKeys = {VK_PAUSE}; });
  Choose(CMD_TOGGLE_ENABLE);
  EXPECT_FALSE(Enabled);
  Choose(CMD_TOGGLE_ENABLE);
  EXPECT_TRUE(Enabled);
}

TEST_F(TMenuCommand, ExitShutsDownOnceTheMenuHasReturned) {
  Choose(CMD_EXIT);
  // Posted, not run from inside the menu.
  EXPECT_EQ(0, Fake.FreeHookCount);
  EXPECT_EQ(0, PumpMessages());
  EXPECT_EQ(1, Fake.FreeHookCount);
  EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), Fake.TrayCalls.back().first);
  EXPECT_TRUE(Fake.Boxes.empty());
}

TEST_F(TMenuCommand, DismissedMenuOrUnknownCommandDoesNothing) {
  for (UINT Command : {0u, 5u, 99u}) {
    Fake.Sequence.clear();
    Choose(Command);
    EXPECT_EQ((std::vector<std::string>{"SetForegroundWindow", "TrackPopupMenuEx"}), Fake.Sequence)
        << Command;
  }
  EXPECT_EQ(-1, PumpMessages());
  EXPECT_TRUE(Fake.Boxes.empty());
  EXPECT_TRUE(Enabled);
}

// The store is the real registry of the build's Wine prefix; each test leaves it empty.
class TSettingsDialog : public TProgramTest {
protected:
  static constexpr char StoreKey[] = "Software\\Sonalto";
  void TearDown() override {
    TProgramTest::TearDown();
    RegDeleteKeyA(HKEY_CURRENT_USER, StoreKey);
  }
  static void Send(int Control, UINT Message, int WParam = 0) {
    SendDlgItemMessageA(SettingsDialog, Control, Message, static_cast<WPARAM>(WParam), 0);
  }
  static bool Stored(const char *Name) {
    HKEY Key = nullptr;
    const bool Found = RegOpenKeyA(HKEY_CURRENT_USER, StoreKey, &Key) == ERROR_SUCCESS &&
                       RegQueryValueExA(Key, Name, nullptr, nullptr, nullptr, nullptr) == 0;
    RegCloseKey(Key);
    return Found;
  }
};

// A step of 1.07% is shown as 1; an administrator may deploy a value equal to its default.
TEST_F(TSettingsDialog, OkWithoutChangesWritesNothingAndDefaultsThenOkRemovesTheStoredValues) {
  HKEY Key = nullptr;
  RegCreateKeyA(HKEY_CURRENT_USER, StoreKey, &Key);
  for (const auto &[Name, Value] : {std::pair("SmallestStep", 700), {"DisplayTime", 1800}})
    RegSetValueExA(Key, Name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&Value), sizeof Value);
  RegCloseKey(Key);
  LoadSettings();
  Choose(CMD_SETTINGS);
  EXPECT_TRUE(Fake.HotKeysHeld.empty()); // so that Ctrl+Alt+M can be typed into a field
  Send(IDOK, BM_CLICK);
  EXPECT_EQ(4u, Fake.HotKeysHeld.size());
  EXPECT_EQ(700u, Settings[SMALLEST_STEP]);
  EXPECT_TRUE(Stored("SmallestStep") && Stored("DisplayTime"));
  Choose(CMD_SETTINGS);
  Send(IDC_DEFAULTS, BM_CLICK);
  Send(IDOK, BM_CLICK);
  EXPECT_FALSE(Stored("SmallestStep") || Stored("DisplayTime"));
  EXPECT_EQ(500u, Settings[SMALLEST_STEP]);
}

TEST_F(TSettingsDialog, ATakenKeyIsNamedAndTheDialogStaysAFreeOneIsInForceAtOnceAndStored) {
  Fake.RefusedKeys = {'K'};
  Choose(CMD_SETTINGS);
  for (int HotKey : {HOTKEYF_CONTROL << 8 | 'K', (HOTKEYF_CONTROL | HOTKEYF_ALT) << 8 | VK_PRIOR}) {
    Send(IDC_MUTE_KEY, HKM_SETHOTKEY, HotKey);
    Send(IDOK, BM_CLICK);
    ASSERT_NE(nullptr, SettingsDialog);
    EXPECT_EQ(SettingsDialog, Fake.Boxes.back().Owner);
    EXPECT_EQ(L"Mute: the key is taken.", Fake.Boxes.back().Text);
    EXPECT_EQ(GetDlgItem(SettingsDialog, IDC_MUTE_KEY), GetFocus());
  }
  Send(IDC_MUTE_KEY, HKM_SETHOTKEY, (HOTKEYF_CONTROL | HOTKEYF_SHIFT) << 8 | 'L');
  SetDlgItemInt(SettingsDialog, IDC_LARGEST_STEP, 50, FALSE);
  Send(IDOK, BM_CLICK);
  EXPECT_EQ(32768, MaxStep);
  const THotKeyCall &Mute = Fake.Registered[Fake.Registered.size() - 3]; // then up and down
  EXPECT_EQ(std::tuple(int(MuteHotKeyId), UINT{MOD_CONTROL | MOD_SHIFT}, UINT{'L'}),
            std::tuple(Mute.Id, Mute.Modifiers & ~MOD_NOREPEAT, Mute.Key));
  EXPECT_TRUE(Stored("MuteKey") && Stored("LargestStep") && !Stored("VolumeUpKey"));
}

// English fits the template as it is; a longer text, as another language may have,
// widens the dialog and every control in proportion until it fits, about the same centre.
TEST_F(TSettingsDialog, ALongerTextWidensTheWholeDialogUntilItFits) {
  Choose(CMD_SETTINGS);
  RECT Template = {0, 0, 230, 0};
  MapDialogRect(SettingsDialog, &Template);
  RECT Client = {};
  GetClientRect(SettingsDialog, &Client);
  EXPECT_EQ(Template.right, Client.right);
  const HWND Check = GetDlgItem(SettingsDialog, IDC_REVERSE_WHEEL);
  const HWND Ok = GetDlgItem(SettingsDialog, IDOK);
  RECT Dialog = {};
  RECT OkPlace = {};
  GetWindowRect(SettingsDialog, &Dialog);
  GetWindowRect(Ok, &OkPlace);
  const std::wstring Long(48, L'W');
  SetWindowTextW(Check, Long.c_str());
  FitDialogToTexts(SettingsDialog);
  const HDC Dc = GetDC(SettingsDialog);
  SelectObject(Dc, reinterpret_cast<HGDIOBJ>(SendMessageW(SettingsDialog, WM_GETFONT, 0, 0)));
  RECT Extent = {};
  DrawTextW(Dc, Long.c_str(), -1, &Extent, DT_CALCRECT | DT_SINGLELINE);
  ReleaseDC(SettingsDialog, Dc);
  RECT Widened = {};
  RECT CheckPlace = {};
  RECT OkWidened = {};
  GetWindowRect(SettingsDialog, &Widened);
  GetWindowRect(Check, &CheckPlace);
  GetWindowRect(Ok, &OkWidened);
  EXPECT_GT(CheckPlace.right - CheckPlace.left, Extent.right);
  EXPECT_GT(Widened.right - Widened.left, Dialog.right - Dialog.left);
  EXPECT_GT(OkWidened.left - Widened.left, OkPlace.left - Dialog.left);
  EXPECT_LE(OkWidened.right, Widened.right);
  EXPECT_NEAR(Dialog.left + Dialog.right, Widened.left + Widened.right, 2);
}

} // namespace
