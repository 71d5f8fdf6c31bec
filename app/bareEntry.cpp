// The entry of the MinGW build, in place of the C runtime's start-up code, which
// is a fifth of the program: relocations it never has, thread-local storage it
// never uses, a command line it never reads. All the program needs of it are its
// static constructors.
#include <windows.h>

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int Show);

// The compiler's runner of static constructors.
extern "C" void __main();

// Static destructors are not registered: the process ends with ExitProcess, after
// the shutdown has released everything that matters outside it.
extern "C" int atexit(void (*)()) { return 0; }

extern "C" void WINAPI BareEntry() {
  __main();
  ExitProcess(
      static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT)));
}
