// The one way the program loads a DLL, and the narrowing of the loader's search at
// start.
#include "systemLibrary.h"

bool SystemFolderSearch;

namespace {

// What the system itself loads by name into a program like this one, none of it one
// of the KnownDLLs that are always taken from the system folder: the windows' themes
// and composition, accessibility, file versions, the random numbers of RPC and COM,
// the shell's properties, and the audio endpoint beneath the mixer device.
alignas(1) constexpr char LibrariesLoadedByName[] =
    "uxtheme.dll\0dwmapi.dll\0oleacc.dll\0version.dll\0cryptbase.dll\0propsys.dll\0mmdevapi.dll\0";
// Longer than the longest of the names the program loads.
constexpr int LongestLibraryName = 16;

using TSetDefaultDllDirectories = BOOL(WINAPI *)(DWORD);
using TSetDllDirectoryW = BOOL(WINAPI *)(LPCWSTR);

// Vista with the update has SetDefaultDllDirectories, but shell COM objects have been
// seen to fail to load after it there: Vista takes the older way.
bool IsVista() {
  const DWORD Version = GetVersion();
  return LOBYTE(Version) == 6 && HIBYTE(LOWORD(Version)) == 0;
}

bool SetSystemFolderAsDefault() {
  const auto SetDefaultDllDirectories = reinterpret_cast<TSetDefaultDllDirectories>(
      NewerSystemFunction(L"kernel32.dll", "SetDefaultDllDirectories"));
  // The function and the loader's search flags came with the same update.
  SystemFolderSearch = SetDefaultDllDirectories != nullptr;
  return SystemFolderSearch && !IsVista() &&
         SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

} // namespace

void SearchSystemFolderOnly() {
  if (SetSystemFolderAsDefault())
    return;
  // The working folder leaves the search; the program's own folder stays first in it,
  // so whatever the system loads later by name is loaded from the system folder now.
  const auto SetDllDirectoryW =
      reinterpret_cast<TSetDllDirectoryW>(NewerSystemFunction(L"kernel32.dll", "SetDllDirectoryW"));
  if (SetDllDirectoryW != nullptr)
    SetDllDirectoryW(L"");
  for (const char *Name = LibrariesLoadedByName; *Name != 0;) {
    wchar_t Wide[LongestLibraryName];
    wchar_t *To = Wide;
    while ((*To++ = static_cast<unsigned char>(*Name++)) != 0) {
    }
    LoadSystemLibrary(Wide);
  }
}

HMODULE LoadSystemLibrary(const wchar_t *Name) {
  wchar_t Path[MAX_PATH + LongestLibraryName];
  // A bare name keeps the manifest's redirection of comctl32 to its version 6.
  DWORD Flags = LOAD_LIBRARY_SEARCH_SYSTEM32;
  if (!SystemFolderSearch) {
    const UINT Length = GetSystemDirectoryW(Path, MAX_PATH);
    if (Length == 0 || Length >= MAX_PATH)
      return nullptr;
    Path[Length] = L'\\';
    lstrcpynW(Path + Length + 1, Name, LongestLibraryName);
    Name = Path;
    // The DLL's own imports are then looked for beside it, not in the program's folder.
    Flags = LOAD_WITH_ALTERED_SEARCH_PATH;
  }
  return LoadLibraryExW(Name, nullptr, Flags);
}

void *NewerSystemFunction(const wchar_t *Library, const char *Name) {
  const HMODULE Module = LoadSystemLibrary(Library);
  return Module == nullptr ? nullptr : reinterpret_cast<void *>(GetProcAddress(Module, Name));
}
