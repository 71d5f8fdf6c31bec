#include "program.h"

#include "fakes.h"
#include "main.h"
#include "resource.h"

#include <vector>

int PumpMessages() {
  int QuitCode = -1;
  MSG Message = {};
  while (PeekMessageA(&Message, nullptr, 0, 0, PM_REMOVE)) {
    if (Message.message == WM_QUIT) {
      QuitCode = static_cast<int>(Message.wParam);
      continue;
    }
    TranslateMessage(&Message);
    DispatchMessageA(&Message);
  }
  return QuitCode;
}

void StartProgram() {
  StartProgram([] {});
}

// A fresh process starts with an empty tip and record; earlier tests of this one
// have filled them.
void ForgetTray() {
  TipText[0] = '\0';
  TrayIconData = {};
  TrayIconHandle = nullptr;
}

void StartProgram(const std::function<void()> &ArrangeFakes) {
  ForgetTray();
  ResetFakes();
  ArrangeFakes();
  StartApplication();
}

void StopProgram() {
  if (MainWindow != nullptr && IsWindow(MainWindow))
    DestroyWindow(MainWindow);
  PumpMessages();
  MainWindow = nullptr;
  DestroyMenu(TrayMenu);
  TrayMenu = nullptr;
  VolumeControl.reset();
  MuteControl.reset();
  TaskbarCreatedMessage = 0;
  LastChangeTick = 0;
  ExitCode = 0;
  ShuttingDown = false;
  WheelStepsPending = 0;
  WheelRemainder = 0;
  WheelRemainderTime = 0;
}

namespace {

// The colour and mask planes of an icon, bit for bit; empty for no icon.
std::vector<BYTE> IconBits(HICON Icon, int &Size) {
  ICONINFO Info = {};
  if (Icon == nullptr || !GetIconInfo(Icon, &Info))
    return {};
  std::vector<BYTE> Bits;
  for (HBITMAP Plane : {Info.hbmColor, Info.hbmMask}) {
    BITMAP Header = {};
    if (Plane == nullptr || !GetObjectA(Plane, sizeof Header, &Header))
      continue;
    Size = Header.bmWidth;
    const size_t Start = Bits.size();
    Bits.resize(Start + static_cast<size_t>(Header.bmWidthBytes * Header.bmHeight));
    GetBitmapBits(Plane, static_cast<LONG>(Bits.size() - Start), Bits.data() + Start);
    DeleteObject(Plane);
  }
  return Bits;
}

} // namespace

std::string ImageName(HICON Icon) {
  int Size = 0;
  const std::vector<BYTE> Shown = IconBits(Icon, Size);
  if (Shown.empty())
    return "none";
  for (const char *Name : {IDI_ENMUTEON, IDI_ENMUTEOFF, IDI_DIMUTEON, IDI_DIMUTEOFF}) {
    const auto Loaded =
        static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), Name, IMAGE_ICON, Size, Size, 0));
    int LoadedSize = 0;
    const bool Same = IconBits(Loaded, LoadedSize) == Shown;
    DestroyIcon(Loaded);
    if (Same)
      return Name;
  }
  return "none";
}

int IconSize(HICON Icon) {
  int Size = 0;
  IconBits(Icon, Size);
  return Size;
}

std::string TrayImage() { return ImageName(Fake.TrayCalls.back().second.hIcon); }
