// The entry of the MinGW build, in place of the C runtime's start-up code, which
// is a fifth of the program: relocations it never has, thread-local storage it
// never uses, a command line it never reads. All the program needs of it are its
// static constructors, and it runs them itself.
#include <windows.h>

#include <new>

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int Show);

// The table of static constructors that the linker gathers: a count or -1 first,
// then the constructors, then a null entry.
extern "C" void (*__CTOR_LIST__[])();

// Called by the compiler at the top of main; here, by the entry alone. The C
// runtime's runner would also bring its exit handling along. The linker lists the
// constructors in reverse, so they run from the last entry to the first.
extern "C" void __main() {
  int Last = 0;
  while (__CTOR_LIST__[Last + 1] != nullptr)
    ++Last;
  for (; Last > 0; --Last)
    __CTOR_LIST__[Last]();
}

// The library's own tag for allocations that return null would bring its new-handler
// machinery along with it, and the runtime's exit handling with that.
const std::nothrow_t std::nothrow{};

// Static destructors are not registered: the process ends with ExitProcess, after
// the shutdown has released everything that matters outside it.
extern "C" int atexit(void (*)()) { return 0; }

extern "C" void WINAPI BareEntry() {
  __main();
  ExitProcess(
      static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT)));
}
