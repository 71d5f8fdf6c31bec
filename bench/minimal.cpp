// The least a resident tray utility of this kind must ask of the platform: one
// hidden popup window, one tray icon, and the speakers' volume fader and mute
// switch each bound on a mixer handle of its own. The start-up, memory and idle
// benchmarks hold the program against it. It closes on WM_CLOSE.
//
// Built a second time with READ_MUTE_ONCE, it also reads the mute switch once, as
// any program must that shows the mute state: under Wine the first read starts
// winmm's device thread, which the memory notes account for.
//
// Built a third time with HOOK_THREAD, it also runs a low-level mouse hook that
// only passes each event on, on a thread of its own as the program's is, started
// after the tray icon as the program starts its own: the baseline of the start-up
// and memory rows. The rest row keeps the first build, the bare program.
#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>

namespace {

#if defined(READ_MUTE_ONCE)
constexpr char ClassName[] = "SonaltoBenchMinimalRead";
#elif defined(HOOK_THREAD)
constexpr char ClassName[] = "SonaltoBenchMinimalHook";
#else
constexpr char ClassName[] = "SonaltoBenchMinimal";
#endif
constexpr UINT TrayMessage = WM_USER + 1;

HWND Window;
HMIXER VolumeMixer;
HMIXER MuteMixer;
NOTIFYICONDATAA TrayIcon;

// Returns the control's id, 0 when it could not be bound.
DWORD BindControl(HMIXER &Mixer, DWORD ControlType) {
  if (mixerOpen(&Mixer, 0, reinterpret_cast<DWORD_PTR>(Window), 0, CALLBACK_WINDOW) !=
      MMSYSERR_NOERROR)
    return 0;
  const auto Object = reinterpret_cast<HMIXEROBJ>(Mixer);
  MIXERLINEA Line = {};
  Line.cbStruct = sizeof Line;
  Line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
  if (mixerGetLineInfoA(Object, &Line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE) !=
      MMSYSERR_NOERROR)
    return 0;
  MIXERCONTROLA Control = {};
  MIXERLINECONTROLSA Controls = {};
  Controls.cbStruct = sizeof Controls;
  Controls.dwLineID = Line.dwLineID;
  Controls.dwControlType = ControlType;
  Controls.cControls = 1;
  Controls.cbmxctrl = sizeof Control;
  Controls.pamxctrl = &Control;
  if (mixerGetLineControlsA(Object, &Controls,
                            MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) !=
      MMSYSERR_NOERROR)
    return 0;
  return Control.dwControlID;
}

#ifdef READ_MUTE_ONCE
void ReadControl(HMIXER Mixer, DWORD ControlId) {
  DWORD Value = 0;
  MIXERCONTROLDETAILS Request = {};
  Request.cbStruct = sizeof Request;
  Request.dwControlID = ControlId;
  Request.cChannels = 1;
  Request.cbDetails = sizeof Value;
  Request.paDetails = &Value;
  mixerGetControlDetailsA(reinterpret_cast<HMIXEROBJ>(Mixer), &Request,
                          MIXER_GETCONTROLDETAILSF_VALUE);
}
#endif

#ifdef HOOK_THREAD
HHOOK Hook;

LRESULT CALLBACK PassOn(int Code, WPARAM Message, LPARAM Event) {
  return CallNextHookEx(Hook, Code, Message, Event);
}

// The process's end removes the hook and ends the thread.
DWORD WINAPI RunHook(LPVOID) {
  Hook = SetWindowsHookExA(WH_MOUSE_LL, PassOn, GetModuleHandleA(nullptr), 0);
  MSG Message = {};
  while (GetMessageA(&Message, nullptr, 0, 0) > 0)
    DispatchMessageA(&Message);
  return 0;
}
#endif

void AddTrayIcon() {
  TrayIcon.cbSize = sizeof TrayIcon;
  TrayIcon.hWnd = Window;
  TrayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  TrayIcon.uCallbackMessage = TrayMessage;
  TrayIcon.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  lstrcpynA(TrayIcon.szTip, "Minimal", sizeof TrayIcon.szTip);
  Shell_NotifyIconA(NIM_ADD, &TrayIcon);
}

LRESULT CALLBACK WindowProc(HWND Target, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message != WM_DESTROY)
    return DefWindowProcA(Target, Message, WParam, LParam);
  Shell_NotifyIconA(NIM_DELETE, &TrayIcon);
  mixerClose(VolumeMixer);
  mixerClose(MuteMixer);
  PostQuitMessage(0);
  return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA Class = {};
  Class.lpfnWndProc = WindowProc;
  Class.hInstance = Instance;
  Class.lpszClassName = ClassName;
  RegisterClassA(&Class);
  Window = CreateWindowExA(WS_EX_NOACTIVATE | WS_EX_TOPMOST, ClassName, " ", WS_POPUP, 0, 0, 150,
                           60, nullptr, nullptr, Instance, nullptr);
  BindControl(VolumeMixer, MIXERCONTROL_CONTROLTYPE_VOLUME);
  const DWORD MuteId = BindControl(MuteMixer, MIXERCONTROL_CONTROLTYPE_MUTE);
#ifdef READ_MUTE_ONCE
  ReadControl(MuteMixer, MuteId);
#else
  (void)MuteId;
#endif
  AddTrayIcon();
#ifdef HOOK_THREAD
  CloseHandle(CreateThread(nullptr, 0, RunHook, nullptr, 0, nullptr));
#endif
  MSG Message = {};
  while (GetMessageA(&Message, nullptr, 0, 0) > 0) {
    TranslateMessage(&Message);
    DispatchMessageA(&Message);
  }
  return 0;
}
