// The program's view of morvask.dll, the companion library that owns the
// system-wide low-level mouse hook. Imported at load time: without the library
// the program does not start.
#pragma once

#include <windows.h>

#ifdef MORVASK_BUILD
#define MORVASK_API extern "C" __declspec(dllexport)
#else
#define MORVASK_API extern "C" __declspec(dllimport)
#endif

// Plain C names and the C calling convention: the exports are undecorated with
// every compiler.

// Installs a hook of the given kind (WH_MOUSE_LL) that reports every mouse event
// to Window as Message: wParam the mouse message, lParam the address of the
// event's MSLLHOOKSTRUCT, valid until the synchronous send returns. A nonzero answer
// means the program acted on the event: it is then not passed on to the next hook.
// A second call replaces the first hook.
MORVASK_API BOOLEAN __cdecl SetHook(int Kind, HWND Window, UINT Message);

// Removes the hook; harmless when none is installed.
MORVASK_API void __cdecl FreeHook();

// True once, for the record the hook is delivering at this moment: any process can
// send or post the message number with an address of its choosing, and only this
// answer tells the hook's own report from a forged one.
MORVASK_API BOOLEAN __cdecl ClaimHookRecord(LPARAM Record);
