// The notification-area icon: its image follows Enabled and the mute state, its tip
// names the program, and it comes back when the taskbar is created again.
#include "main.h"

#include "resource.h"

TNotifyIconDataW TrayIconData;
HICON TrayIconHandle;
wchar_t TipText[128];
HICON TrayImages[TrayImageCount];
int TrayImageSize;
UINT TrayDpi;
DWORD TrayRetryPeriod;

namespace {

constexpr UINT TrayIconId = 0;
constexpr DWORD LastTrayRetryPeriod = 60000; // ms: the longest wait of the back-off
// The resource script needs the names narrow; L"" widens them here.
constexpr LPCWSTR TrayImageNames[TrayImageCount] = {L"" IDI_ENMUTEON, L"" IDI_ENMUTEOFF,
                                                    L"" IDI_DIMUTEON, L"" IDI_DIMUTEOFF};
enum TTrayImage { EnabledMuted, EnabledSounding, DisabledMuted, DisabledSounding };

using TGetSystemMetricsForDpi = int(WINAPI *)(int, UINT);
const auto GetSystemMetricsForDpi = reinterpret_cast<TGetSystemMetricsForDpi>(
    NewerSystemFunction(L"user32.dll", "GetSystemMetricsForDpi"));

bool NotifyShell(DWORD Action) {
  return Shell_NotifyIconW(Action, reinterpret_cast<NOTIFYICONDATAW *>(&TrayIconData)) != FALSE;
}

// An absent mute control counts as muted; an inert one reads 0, not muted.
bool IsMuted() { return !MuteControl || MuteControl->GetValue() == Muted; }

TTrayImage ChooseTrayImage() {
  if (Enabled)
    return IsMuted() ? EnabledMuted : EnabledSounding;
  return IsMuted() ? DisabledMuted : DisabledSounding;
}

// The small-icon size for the tray's DPI from Windows 10 1607 on; before, the
// one size of the system.
int SmallIconSize() {
  return GetSystemMetricsForDpi != nullptr ? GetSystemMetricsForDpi(SM_CXSMICON, TrayDpi)
                                           : GetSystemMetrics(SM_CXSMICON);
}

// Loaded at the small-icon size, not shrunk by the shell from the large one; each
// image once per size. The shell keeps a copy of the icon it was given, so the
// images of an old size can go as soon as the size changes.
HICON LoadTrayImage(TTrayImage Image) {
  const int Size = SmallIconSize();
  if (Size != TrayImageSize) {
    for (HICON &Loaded : TrayImages) {
      if (Loaded != nullptr)
        DestroyIcon(Loaded);
      Loaded = nullptr;
    }
    TrayImageSize = Size;
  }
  if (TrayImages[Image] == nullptr)
    TrayImages[Image] = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), TrayImageNames[Image], IMAGE_ICON, Size, Size, 0));
  return TrayImages[Image];
}

// Always bounded and terminated, whatever the text.
template <size_t Size> void CopyText(wchar_t (&Target)[Size], const wchar_t *Source) {
  size_t Length = 0;
  for (; Length + 1 < Size && Source[Length] != L'\0'; ++Length)
    Target[Length] = Source[Length];
  Target[Length] = L'\0';
}

} // namespace

void FillTrayIconData() {
  TrayIconHandle = LoadTrayImage(ChooseTrayImage());
  TrayIconData.cbSize = sizeof TrayIconData;
  TrayIconData.hWnd = MainWindow;
  TrayIconData.uID = TrayIconId;
  TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  TrayIconData.hIcon = TrayIconHandle;
  CopyText(TrayIconData.szTip, TipText);
  TrayIconData.uCallbackMessage = WM_TRAYNOTIFY;
}

// The tip is still empty when the icon is first added; the posted WM_REFRESHTIP
// sets it again once the message loop runs. At logon the shell may be busy or not
// there yet: without an icon the user could reach neither the menu nor Exit, so a
// refused add is asked again, less and less often, until the shell takes it. The
// waits start over at the start and when the taskbar comes back.
void AddTrayIcon() {
  if (ShuttingDown)
    return;
  FillTrayIconData();
  if (!NotifyShell(NIM_ADD))
    SetBackOffTimer(TRAY_RETRY_TIMER_ID, TrayRetryPeriod, LastTrayRetryPeriod);
  if (TipText[0] == L'\0')
    PostMessageW(MainWindow, WM_REFRESHTIP, 0, 0);
}

void ModifyTrayIcon() {
  FillTrayIconData();
  NotifyShell(NIM_MODIFY);
}

void DeleteTrayIcon() {
  KillTimer(MainWindow, TRAY_RETRY_TIMER_ID);
  NotifyShell(NIM_DELETE);
}

// A busy shell can refuse an add after all and yet show the icon: a modify that it
// takes says the icon is there.
void RetryTrayIcon() {
  KillTimer(MainWindow, TRAY_RETRY_TIMER_ID);
  FillTrayIconData();
  if (!NotifyShell(NIM_MODIFY))
    AddTrayIcon();
}

// The text is kept in a buffer of the tip field's size, so setting it can never
// fail: a longer text is cut to what the shell would show anyway.
void SetTipText(const wchar_t *Text) {
  CopyText(TipText, Text);
  ModifyTrayIcon();
}

// The notification area is on the main taskbar, which stands on the primary monitor.
bool TakeTrayDpi() {
  const UINT Dpi = PrimaryMonitorDpi();
  const bool Changed = Dpi != TrayDpi;
  TrayDpi = Dpi;
  return Changed;
}

void RefreshTip() { SetTipText(LoadResourceString(IDS_TIP)); }

// A shell that has just come back is asked again soon, whatever waits went before.
void RecreateTrayIcon() {
  TrayRetryPeriod = FirstTrayRetryPeriod;
  DeleteTrayIcon();
  AddTrayIcon();
}
