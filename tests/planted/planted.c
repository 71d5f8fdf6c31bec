/* A DLL planted beside the program under a system DLL's name, as a web page could drop
   one into Downloads. Loaded, it leaves "<its own path>.loaded" beside itself and
   refuses to stay: the end-to-end test looks for those markers. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE Instance, DWORD Reason, LPVOID Reserved) {
  WCHAR Marker[MAX_PATH + 8];
  DWORD Length;
  HANDLE File;
  (void)Reserved;
  if (Reason != DLL_PROCESS_ATTACH)
    return TRUE;
  Length = GetModuleFileNameW(Instance, Marker, MAX_PATH);
  if (Length > 0 && Length < MAX_PATH) {
    lstrcpyW(Marker + Length, L".loaded");
    File = CreateFileW(Marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (File != INVALID_HANDLE_VALUE)
      CloseHandle(File);
  }
  return FALSE;
}
