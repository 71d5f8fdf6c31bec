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

// Installs a hook of the given kind (WH_MOUSE_LL) on a thread of the library's own
// and returns once it is in place, true if it is. Every other event goes on at once;
// a turn of the vertical wheel is sent to Window as Message with a bounded wait:
// wParam WM_MOUSEWHEEL, lParam a ticket for ClaimHookRecord. Without an answer in
// time the turn goes on as if the program were not there. Message is also posted,
// at most once a second, with wParam WM_INPUT while wheel turns come that the hook
// does not see after a call of the hook that came late or ran long, the mark the
// system's removal of a hook leaves: then HookLost tells. A hook of another program
// that keeps the turns from this one leaves no such mark, and keeps them. A second
// call replaces the first hook, and the new one is in place before the old one goes;
// a failed one leaves none.
MORVASK_API BOOLEAN __cdecl SetHook(int Kind, HWND Window, UINT Message);

// Removes the hook and ends its thread; harmless when none is installed. Never
// from DllMain: it waits for the thread.
MORVASK_API void __cdecl FreeHook();

// True once, for the turn the hook is waiting on at this moment, which it copies to
// Record: any process can send or post the message number with a ticket of its
// choosing, and only this answer tells a turn the hook still waits on. A claimed turn
// must be answered, without any blocking call in between.
MORVASK_API BOOLEAN __cdecl ClaimHookRecord(LPARAM Ticket, MSLLHOOKSTRUCT *Record);

// The program's answer for a turn it claimed: Swallow keeps it from the rest of the
// desktop. False when the hook had stopped waiting: the turn has gone on, and the
// program must not act on it.
MORVASK_API BOOLEAN __cdecl AnswerHookRecord(LPARAM Ticket, BOOLEAN Swallow);

// Counts the events the hook has seen, of every kind: the hook's own sign of life,
// which stops when the system has removed it.
MORVASK_API DWORD __cdecl HookEventCount();

// True while, after a late or long call of the hook and none since, the mouse's raw
// input reports wheel turns in the background that the hook does not see: the system
// has removed the hook. Only this answer tells; anyone can post the message.
MORVASK_API BOOLEAN __cdecl HookLost();

// Stops watching the raw input while Pause is true: for the time one of the program's
// own windows is the foreground. Kept while no hook is installed, for the next one.
MORVASK_API void __cdecl PauseHookWatch(BOOLEAN Pause);
