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
// to Window as Message: wParam the mouse message, lParam the address of a copy of
// the event's MSLLHOOKSTRUCT, valid until the synchronous send returns.
MORVASK_API BOOLEAN __cdecl SetHook(int Kind, HWND Window, UINT Message);

// Removes the hook; harmless when none is installed.
MORVASK_API void __cdecl FreeHook();
