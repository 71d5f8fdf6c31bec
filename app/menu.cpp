// The tray icon's popup menu: the help box, the settings, the on/off switch and Exit.
#include "main.h"

#include "resource.h"

HMENU TrayMenu;

namespace {

void AppendCommand(UINT Id, UINT TextId) {
  AppendMenuA(TrayMenu, MF_STRING, Id, LoadResourceString(TextId));
}

void AppendSeparator() { AppendMenuA(TrayMenu, MF_SEPARATOR, 0, nullptr); }

void ShowHelp() {
  MessageBoxA(nullptr, LoadResourceString(IDS_HELP_TEXT), LoadResourceString(IDS_CONTROLS),
              MB_OK | MB_ICONINFORMATION);
}

void RunMenuCommand(UINT Command) {
  switch (Command) {
  case CMD_EXIT:
    // Posted: the shutdown runs from the loop once this handler has returned.
    PostMessageA(MainWindow, WM_DESTROY, 0, 0);
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
  ModifyMenuA(TrayMenu, CMD_TOGGLE_ENABLE, MF_BYCOMMAND | MF_STRING, CMD_TOGGLE_ENABLE,
              LoadResourceString(Enabled ? IDS_DISABLE : IDS_ENABLE));
}

void HandleTrayNotify(LPARAM LParam) {
  if (LParam == WM_RBUTTONUP)
    ShowTrayMenu();
}

void ShowTrayMenu() {
  POINT Cursor = {};
  GetCursorPos(&Cursor);
  // A popup menu closes on a click elsewhere only while its owner is the
  // foreground window.
  SetForegroundWindow(MainWindow);
  const UINT Command = static_cast<UINT>(
      TrackPopupMenuEx(TrayMenu, TPM_RETURNCMD, Cursor.x, Cursor.y, MainWindow, nullptr));
  // Without a message after it, the next opening of the menu may vanish at once.
  PostMessageA(MainWindow, WM_NULL, 0, 0);
  RunMenuCommand(Command);
}
