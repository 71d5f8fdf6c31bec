// The program's entry: start up, then run the message loop until WM_QUIT.
#include "main.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything can load a DLL by name. The static constructors that ran before
  // this load theirs by full path.
  SearchSystemFolderOnly();
  StartApplication();
  return RunMessageLoop();
}
