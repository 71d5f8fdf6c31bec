// The program's entry: start up, then run the message loop until WM_QUIT.
#include "main.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  StartApplication();
  return RunMessageLoop();
}
