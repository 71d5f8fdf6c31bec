// The notification-area icon: its image follows Enabled and the mute state, its tip
// names the program, and it comes back when the taskbar is created again.
#include "main.h"

#include "resource.h"

#include <cstring>

TNotifyIconDataA TrayIconData;
HICON TrayIconHandle;
std::string TipText;

namespace {

constexpr UINT TrayIconId = 0;
constexpr DWORD Muted = 1;

void NotifyShell(DWORD Action) {
  Shell_NotifyIconA(Action, reinterpret_cast<NOTIFYICONDATAA *>(&TrayIconData));
}

// An absent mute control counts as muted; an inert one reads 0, not muted.
bool IsMuted() { return !MuteControl || MuteControl->GetValue() == Muted; }

LPCSTR TrayImageName() {
  if (Enabled)
    return IsMuted() ? IDI_ENMUTEON : IDI_ENMUTEOFF;
  return IsMuted() ? IDI_DIMUTEON : IDI_DIMUTEOFF;
}

void CopyTip() {
  const size_t Length = TipText.copy(TrayIconData.szTip, sizeof TrayIconData.szTip - 1);
  TrayIconData.szTip[Length] = '\0';
}

} // namespace

void FillTrayIconData() {
  TrayIconHandle = LoadIconA(GetModuleHandleA(nullptr), TrayImageName());
  TrayIconData.cbSize = sizeof TrayIconData;
  TrayIconData.hWnd = MainWindow;
  TrayIconData.uID = TrayIconId;
  TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  TrayIconData.hIcon = TrayIconHandle;
  CopyTip();
  TrayIconData.uCallbackMessage = WM_TRAYNOTIFY;
}

// The tip is still empty when the icon is first added; the posted WM_REFRESHTIP
// sets it again once the message loop runs.
void AddTrayIcon() {
  FillTrayIconData();
  NotifyShell(NIM_ADD);
  if (TipText.empty())
    PostMessageA(MainWindow, WM_REFRESHTIP, 0, 0);
}

void ModifyTrayIcon() {
  FillTrayIconData();
  NotifyShell(NIM_MODIFY);
}

void DeleteTrayIcon() { NotifyShell(NIM_DELETE); }

// A tip that cannot be stored is not worth a failure: the icon keeps its old tip.
void SetTipText(const std::string &Text) {
  try {
    TipText = Text;
    ModifyTrayIcon();
  } catch (...) {
  }
}

void RefreshTip() { SetTipText(LoadResourceString(IDS_TIP)); }

void RecreateTrayIcon() {
  DeleteTrayIcon();
  AddTrayIcon();
}
