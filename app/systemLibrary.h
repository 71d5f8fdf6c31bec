// Loading the system's DLLs. The program is unpacked into Downloads and such, where a
// DLL of a system name may wait beside it: only morvask.dll, a static import the
// loader takes before any code runs, may come from the program's folder.
#pragma once

#include <windows.h>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x800 // Windows 8, and 7 and Vista with an update
#endif

// True once the loader is known to take LOAD_LIBRARY_SEARCH_SYSTEM32; until then a
// system DLL is named by its full path.
extern bool SystemFolderSearch;

// First thing at start: every later load by name, the system's own included, searches
// the system folder alone. Where the system cannot, the DLLs it would load later by
// name are loaded now by their full paths, and the working folder is left out.
void SearchSystemFolderOnly();

// The DLL of that file name from the system folder; null where it is not there.
HMODULE LoadSystemLibrary(const wchar_t *Name);

// A function of a system newer than Windows XP, looked up when the program starts;
// null where the system lacks it.
void *NewerSystemFunction(const wchar_t *Library, const char *Name);
