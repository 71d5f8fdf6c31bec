#include "program.h"

#include "fakes.h"
#include "main.h"
#include "resource.h"

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
}

std::string TrayImage() {
  const HICON Shown = Fake.TrayCalls.back().second.hIcon;
  for (const char *Name : {IDI_ENMUTEON, IDI_ENMUTEOFF, IDI_DIMUTEON, IDI_DIMUTEOFF})
    if (LoadIconA(GetModuleHandleA(nullptr), Name) == Shown)
      return Name;
  return "none";
}
