// probe.exe: reads and pokes windows of the program under test from outside, under
// the same wineserver, and doubles as the stand-in desktop that keeps a Wine window
// focused so that Wine sees the global hotkeys.
//
// Every answer is a list of key=value lines; a record of a list starts with a line
// "[name]". The exit code is 0 when the command did what was asked, 1 when the
// window or box it needs is missing, 2 for a usage error.
#include <windows.h>
#include <mmsystem.h>

#include "shared.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char DesktopClassName[] = "SonaltoTestDesktop";
constexpr char DesktopTitle[] = "Sonalto test desktop";
constexpr COLORREF DesktopColour = RGB(96, 96, 96);
constexpr char DialogClassName[] = "#32770";
// Wine's explorer shows this window, titled "Wine System Tray", when no tray
// manager runs on the X display.
constexpr char TrayClassName[] = "__winex11_standalone_tray";
constexpr DWORD MessageTimeout = 5000;

unsigned long HandleValue(const void *Handle) {
  return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(Handle));
}

unsigned long ParseNumber(const char *Text) { return std::strtoul(Text, nullptr, 0); }

// A message given by name is the one registered for that name, as the shell
// registers "TaskbarCreated".
UINT MessageNumber(const char *Text) {
  return Text[0] >= '0' && Text[0] <= '9' ? static_cast<UINT>(ParseNumber(Text))
                                          : RegisterWindowMessageA(Text);
}

HWND ParseWindow(const char *Text) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(ParseNumber(Text)));
}

// "-" stands for a null class or title, so that either can be left out.
const char *OptionalText(const char *Text) { return std::strcmp(Text, "-") == 0 ? nullptr : Text; }

std::string ClassOf(HWND Window) {
  char Name[256] = {};
  GetClassNameA(Window, Name, sizeof Name);
  return Name;
}

// Every text is printed in UTF-8, whatever the session's language.
std::string Utf8(const wchar_t *Text, int Length = -1) {
  char Bytes[4096] = {};
  WideCharToMultiByte(CP_UTF8, 0, Text, Length, Bytes, sizeof Bytes - 1, nullptr, nullptr);
  return Bytes;
}

// The arguments come in the ANSI code page of the session's language.
std::wstring Wide(const std::string &Text) {
  wchar_t Chars[1024] = {};
  MultiByteToWideChar(CP_ACP, 0, Text.c_str(), -1, Chars, ARRAYSIZE(Chars) - 1);
  return Chars;
}

std::string TextOf(HWND Window) {
  wchar_t Text[1024] = {};
  // WM_GETTEXT answers for windows of other processes too; GetWindowTextW would not
  // ask a control of another process for its text.
  SendMessageTimeoutW(Window, WM_GETTEXT, ARRAYSIZE(Text), reinterpret_cast<LPARAM>(Text),
                      SMTO_ABORTIFHUNG, MessageTimeout, nullptr);
  // Line breaks would cut a key=value line in two.
  for (wchar_t &C : Text)
    if (C == L'\r' || C == L'\n')
      C = L'|';
  return Utf8(Text);
}

void PrintWindowState(HWND Window) {
  RECT Rect = {};
  GetWindowRect(Window, &Rect);
  DWORD ProcessId = 0;
  GetWindowThreadProcessId(Window, &ProcessId);
  std::printf("hwnd=0x%08lx\n", HandleValue(Window));
  std::printf("class=%s\n", ClassOf(Window).c_str());
  std::printf("title=%s\n", TextOf(Window).c_str());
  std::printf("visible=%d\n", IsWindowVisible(Window) ? 1 : 0);
  std::printf("left=%ld\ntop=%ld\nright=%ld\nbottom=%ld\n", Rect.left, Rect.top, Rect.right,
              Rect.bottom);
  std::printf("style=0x%08lx\n", static_cast<unsigned long>(GetWindowLongA(Window, GWL_STYLE)));
  std::printf("exstyle=0x%08lx\n", static_cast<unsigned long>(GetWindowLongA(Window, GWL_EXSTYLE)));
  std::printf("pid=%lu\n", ProcessId);
}

BOOL CALLBACK CollectWindow(HWND Window, LPARAM List) {
  reinterpret_cast<std::vector<HWND> *>(List)->push_back(Window);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> Windows;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&Windows));
  return Windows;
}

std::vector<HWND> ChildWindows(HWND Parent) {
  std::vector<HWND> Windows;
  EnumChildWindows(Parent, CollectWindow, reinterpret_cast<LPARAM>(&Windows));
  return Windows;
}

// ---- Which system icon a message box shows ----

struct TCandidateIcon {
  const char *Name;
  LPCSTR Id;
};

const TCandidateIcon CandidateIcons[] = {{"warning", IDI_EXCLAMATION},
                                         {"error", IDI_HAND},
                                         {"information", IDI_ASTERISK},
                                         {"question", IDI_QUESTION},
                                         {"application", IDI_APPLICATION}};

// A 32-bit top-down DIB section that the probe can read pixel by pixel.
struct TPixels {
  HDC Dc = nullptr;
  HBITMAP Bitmap = nullptr;
  HGDIOBJ Previous = nullptr;
  DWORD *Bits = nullptr;
  int Width = 0;
  int Height = 0;

  TPixels(int W, int H) : Width(W), Height(H) {
    BITMAPINFO Info = {};
    Info.bmiHeader.biSize = sizeof Info.bmiHeader;
    Info.bmiHeader.biWidth = W;
    Info.bmiHeader.biHeight = -H;
    Info.bmiHeader.biPlanes = 1;
    Info.bmiHeader.biBitCount = 32;
    Info.bmiHeader.biCompression = BI_RGB;
    void *Memory = nullptr;
    Dc = CreateCompatibleDC(nullptr);
    Bitmap = CreateDIBSection(Dc, &Info, DIB_RGB_COLORS, &Memory, nullptr, 0);
    Bits = static_cast<DWORD *>(Memory);
    Previous = SelectObject(Dc, Bitmap);
  }
  ~TPixels() {
    SelectObject(Dc, Previous);
    DeleteObject(Bitmap);
    DeleteDC(Dc);
  }
  TPixels(const TPixels &) = delete;
  TPixels &operator=(const TPixels &) = delete;
  DWORD At(int X, int Y) const { return Bits[Y * Width + X] & 0x00FFFFFF; }
};

// Icon handles are private to the process that loaded them, so the box's icon is
// recognised by its picture: the pixels on screen against each system icon drawn
// here on the same background. The closest one wins.
std::string RecogniseIconOnce(HWND IconStatic, int &Mismatch) {
  RECT Client = {};
  GetClientRect(IconStatic, &Client);
  const int Width = Client.right;
  const int Height = Client.bottom;
  Mismatch = -1;
  if (Width <= 0 || Height <= 0)
    return "none";
  POINT Origin = {0, 0};
  ClientToScreen(IconStatic, &Origin);
  TPixels Screen(Width, Height);
  const HDC ScreenDc = GetDC(nullptr);
  BitBlt(Screen.Dc, 0, 0, Width, Height, ScreenDc, Origin.x, Origin.y, SRCCOPY);
  ReleaseDC(nullptr, ScreenDc);
  const DWORD Background = Screen.At(0, 0);

  std::string Best = "unknown";
  for (const TCandidateIcon &Candidate : CandidateIcons) {
    TPixels Drawn(Width, Height);
    const HBRUSH Fill =
        CreateSolidBrush(RGB(GetBValue(Background), GetGValue(Background), GetRValue(Background)));
    FillRect(Drawn.Dc, &Client, Fill);
    DeleteObject(Fill);
    DrawIconEx(Drawn.Dc, 0, 0, LoadIconA(nullptr, Candidate.Id), Width, Height, 0, nullptr,
               DI_NORMAL);
    int Differing = 0;
    for (int Y = 0; Y < Height; ++Y)
      for (int X = 0; X < Width; ++X)
        if (Drawn.At(X, Y) != Screen.At(X, Y))
          ++Differing;
    if (Mismatch < 0 || Differing < Mismatch) {
      Mismatch = Differing;
      Best = Candidate.Name;
    }
  }
  // Nothing alike: an empty or covered icon must not pass for one of them.
  if (Mismatch * 4 > Width * Height)
    Best = "unknown";
  return Best;
}

// A box found as it opens may not have painted its icon yet on a busy machine: an
// unknown picture is looked at again for a while before it counts.
std::string RecogniseIcon(HWND IconStatic, int &Mismatch) {
  constexpr int Looks = 20;
  constexpr DWORD LookInterval = 50; // ms
  std::string Icon = RecogniseIconOnce(IconStatic, Mismatch);
  for (int Look = 1; Look < Looks && Icon == "unknown"; ++Look) {
    Sleep(LookInterval);
    Icon = RecogniseIconOnce(IconStatic, Mismatch);
  }
  return Icon;
}

// ---- Commands ----

int ListWindows() {
  for (HWND Window : TopLevelWindows()) {
    std::printf("[window]\n");
    PrintWindowState(Window);
  }
  return 0;
}

// The child windows of a top-level window found by class, e.g. the icons of
// Wine's tray window.
int ListChildren(const char *ClassName) {
  const HWND Parent = FindWindowA(OptionalText(ClassName), nullptr);
  std::printf("found=%d\n", Parent ? 1 : 0);
  if (!Parent)
    return 1;
  for (HWND Child : ChildWindows(Parent)) {
    std::printf("[child]\n");
    PrintWindowState(Child);
    std::printf("id=%d\n", GetDlgCtrlID(Child));
  }
  return 0;
}

int FindTopLevel(const char *ClassName, const char *Title) {
  const HWND Window = FindWindowA(OptionalText(ClassName), OptionalText(Title));
  std::printf("found=%d\n", Window ? 1 : 0);
  if (!Window)
    return 1;
  PrintWindowState(Window);
  return 0;
}

int ListBoxes() {
  int Count = 0;
  for (HWND Box : TopLevelWindows()) {
    if (ClassOf(Box) != DialogClassName)
      continue;
    ++Count;
    std::printf("[box]\n");
    PrintWindowState(Box);
    std::string Buttons;
    int Index = 0;
    for (HWND Child : ChildWindows(Box)) {
      const int Id = GetDlgCtrlID(Child);
      const std::string ChildClass = ClassOf(Child);
      const LONG Style = GetWindowLongA(Child, GWL_STYLE);
      const bool Shown = IsWindowVisible(Child) != FALSE;
      std::printf("control.%d=0x%04x %s visible=%d style=0x%08lx text=%s\n", ++Index,
                  static_cast<unsigned>(Id & 0xFFFF), ChildClass.c_str(), Shown ? 1 : 0,
                  static_cast<unsigned long>(Style), TextOf(Child).c_str());
      if (lstrcmpiA(ChildClass.c_str(), "Static") == 0 && (Style & SS_TYPEMASK) == SS_ICON) {
        int Mismatch = 0;
        const std::string Icon = Shown ? RecogniseIcon(Child, Mismatch) : "none";
        std::printf("icon_id=0x%04x\nicon=%s\nicon_mismatch=%d\n",
                    static_cast<unsigned>(Id & 0xFFFF), Icon.c_str(), Mismatch);
      } else if (lstrcmpiA(ChildClass.c_str(), "Static") == 0) {
        std::printf("text_id=0x%04x\ntext=%s\n", static_cast<unsigned>(Id & 0xFFFF),
                    TextOf(Child).c_str());
      } else if (lstrcmpiA(ChildClass.c_str(), "Button") == 0 && Shown) {
        Buttons += (Buttons.empty() ? "" : ",") + std::to_string(Id) + ":" + TextOf(Child);
      }
    }
    std::printf("buttons=%s\n", Buttons.c_str());
  }
  std::printf("[end]\ncount=%d\n", Count);
  return 0;
}

HWND FirstBox() { return FindWindowA(DialogClassName, nullptr); }

int PressButton(HWND Box, int ButtonId) {
  if (!Box || ClassOf(Box) != DialogClassName) {
    std::printf("pressed=0\n");
    return 1;
  }
  const HWND Button = GetDlgItem(Box, ButtonId);
  if (!Button) {
    std::printf("pressed=0\n");
    return 1;
  }
  // Posted: the box's owner returns from its modal loop while handling the click,
  // and a sent message would keep the probe waiting on a process that may be ending.
  PostMessageA(Button, BM_CLICK, 0, 0);
  std::printf("pressed=1\n");
  return 0;
}

int SendToWindow(bool Post, const char *ClassName, UINT Message, WPARAM WParam, LPARAM LParam) {
  const HWND Window = FindWindowA(OptionalText(ClassName), nullptr);
  if (!Window) {
    std::printf("found=0\n");
    return 1;
  }
  std::printf("found=1\nhwnd=0x%08lx\n", HandleValue(Window));
  if (Post) {
    std::printf("posted=%d\n", PostMessageA(Window, Message, WParam, LParam) ? 1 : 0);
    return 0;
  }
  DWORD_PTR Result = 0;
  const LRESULT Answered = SendMessageTimeoutA(Window, Message, WParam, LParam, SMTO_ABORTIFHUNG,
                                               MessageTimeout, &Result);
  std::printf("answered=%d\nresult=%lu\n", Answered ? 1 : 0, static_cast<unsigned long>(Result));
  return 0;
}

int PrintForeground() {
  const HWND Window = GetForegroundWindow();
  std::printf("hwnd=0x%08lx\n", HandleValue(Window));
  std::printf("class=%s\n", Window ? ClassOf(Window).c_str() : "");
  std::printf("title=%s\n", Window ? TextOf(Window).c_str() : "");
  return 0;
}

// The tray's icons are painted only when the tray window paints, so a picture test
// asks for that first.
int RedrawTray() {
  const HWND Tray = FindWindowA(TrayClassName, nullptr);
  std::printf("found=%d\n", Tray ? 1 : 0);
  if (!Tray)
    return 1;
  std::printf("hwnd=0x%08lx\n", HandleValue(Tray));
  RedrawWindow(Tray, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  return 0;
}

// ---- The mixer ----

// winmm is loaded at run time: the probe's link line names only user32 and gdi32.
template <typename TFunction> TFunction WinmmFunction(const char *Name) {
  static const HMODULE Winmm = LoadLibraryA("winmm.dll");
  return reinterpret_cast<TFunction>(
      reinterpret_cast<void (*)()>(Winmm ? GetProcAddress(Winmm, Name) : nullptr));
}

// Prints "<name>=value" and "<name>_max=maximum" for one control of the line, read
// with one value for all channels, as the program reads it.
void PrintControl(HMIXEROBJ Mixer, DWORD LineId, DWORD Type, const char *Name) {
  const auto GetLineControls =
      WinmmFunction<MMRESULT(WINAPI *)(HMIXEROBJ, LPMIXERLINECONTROLSA, DWORD)>(
          "mixerGetLineControlsA");
  const auto GetDetails =
      WinmmFunction<MMRESULT(WINAPI *)(HMIXEROBJ, LPMIXERCONTROLDETAILS, DWORD)>(
          "mixerGetControlDetailsA");
  MIXERCONTROLA Control = {};
  MIXERLINECONTROLSA Query = {};
  Query.cbStruct = sizeof Query;
  Query.dwLineID = LineId;
  Query.dwControlType = Type;
  Query.cControls = 1;
  Query.cbmxctrl = sizeof Control;
  Query.pamxctrl = &Control;
  if (GetLineControls(Mixer, &Query, MIXER_GETLINECONTROLSF_ONEBYTYPE) != MMSYSERR_NOERROR)
    return;
  MIXERCONTROLDETAILS_UNSIGNED Value = {};
  MIXERCONTROLDETAILS Details = {};
  Details.cbStruct = sizeof Details;
  Details.dwControlID = Control.dwControlID;
  Details.cChannels = 1;
  Details.cbDetails = sizeof Value;
  Details.paDetails = &Value;
  if (GetDetails(Mixer, &Details, MIXER_GETCONTROLDETAILSF_VALUE) == MMSYSERR_NOERROR)
    std::printf("%s=%lu\n%s_max=%lu\n", Name, Value.dwValue, Name, Control.Bounds.dwMaximum);
}

// The speakers line of mixer device 0. Wine keeps the fader and the mute switch per
// process (each has its own audio session), so the values read here are the
// probe's own: what counts is whether the device, the line and its controls exist.
int PrintMixer() {
  const auto GetNumDevs = WinmmFunction<UINT(WINAPI *)()>("mixerGetNumDevs");
  const auto Open =
      WinmmFunction<MMRESULT(WINAPI *)(LPHMIXER, UINT, DWORD_PTR, DWORD_PTR, DWORD)>("mixerOpen");
  const auto GetLineInfo =
      WinmmFunction<MMRESULT(WINAPI *)(HMIXEROBJ, LPMIXERLINEA, DWORD)>("mixerGetLineInfoA");
  const auto Close = WinmmFunction<MMRESULT(WINAPI *)(HMIXER)>("mixerClose");
  if (!GetNumDevs)
    return 1;
  const UINT Devices = GetNumDevs();
  std::printf("devices=%u\n", Devices);
  HMIXER Mixer = nullptr;
  if (Devices == 0 || Open(&Mixer, 0, 0, 0, MIXER_OBJECTF_MIXER) != MMSYSERR_NOERROR)
    return 0;
  const auto Object = reinterpret_cast<HMIXEROBJ>(Mixer);
  MIXERLINEA Line = {};
  Line.cbStruct = sizeof Line;
  Line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
  if (GetLineInfo(Object, &Line, MIXER_GETLINEINFOF_COMPONENTTYPE) == MMSYSERR_NOERROR) {
    std::printf("channels=%lu\n", Line.cChannels);
    PrintControl(Object, Line.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME, "volume");
    PrintControl(Object, Line.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE, "mute");
  }
  Close(Mixer);
  return 0;
}

// ---- The mmdevapi.dll stand-in in the program's process ----

TFakeEndpointShared *MapFakeEndpoints() {
  static TFakeEndpointShared *Shared;
  const HANDLE Mapping =
      Shared ? nullptr : OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, FakeEndpointMapping);
  if (Mapping != nullptr)
    Shared = static_cast<TFakeEndpointShared *>(
        MapViewOfFile(Mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(TFakeEndpointShared)));
  return Shared;
}

// Volumes as fader values, rounded here on their own rather than by the program's code.
unsigned long FaderOf(float Scalar) { return static_cast<unsigned long>(Scalar * 65535.0 + 0.5); }

int PrintFakeEndpoints() {
  const TFakeEndpointShared *Shared = MapFakeEndpoints();
  if (Shared == nullptr)
    return 1;
  const TFakeAudioState &State = Shared->State;
  std::printf("[endpoints]\ndefault=%ld\nlive=%ld\nwatchers=%ld\nnotifications=%ld\n"
              "failing=%ld\nactivations=%ld\n",
              State.DefaultDevice, State.LiveObjects, State.DeviceWatchers, State.Notifications,
              State.FailingCalls, State.Activations);
  for (const TFakeDeviceState &Device : State.Devices)
    std::printf("[device]\nvolume=%lu\nmute=%d\nwrites=%ld\nregistered=%ld\n",
                FaderOf(Device.Scalar), Device.Mute, Device.Writes, Device.Registered);
  return 0;
}

// Carried out by the stand-in's own thread; returns once it is done.
int DriveFakeEndpoints(const TFakeEndpointCommand &Command) {
  TFakeEndpointShared *Shared = MapFakeEndpoints();
  const HANDLE Order = OpenEventA(EVENT_MODIFY_STATE, FALSE, FakeEndpointCommandEvent);
  const HANDLE Done = OpenEventA(SYNCHRONIZE, FALSE, FakeEndpointDoneEvent);
  if (Shared == nullptr || Order == nullptr || Done == nullptr)
    return 1;
  Shared->Command = Command;
  SetEvent(Order);
  return WaitForSingleObject(Done, 10000) == WAIT_OBJECT_0 ? 0 : 1;
}

// The program holds a change notification on the default device alone (on none
// while there is no device).
bool BoundTo(const TFakeAudioState &State, LONG Default) {
  for (LONG Device = 0; Device < FakeDeviceCount; ++Device)
    if (State.Devices[Device].Registered != (Device == Default ? 1 : 0))
      return false;
  return true;
}

// The default moves to device 1, to none, to device 0, and so on, Count times; after
// each move the program must have bound the new default within 5 s.
int CycleFakeDefault(LONG Count) {
  const TFakeEndpointShared *Shared = MapFakeEndpoints();
  const LONG Order[] = {1, NoDevice, 0};
  LONG Done = 0;
  for (; Shared != nullptr && Done < Count; ++Done) {
    const LONG Device = Order[Done % 3];
    if (DriveFakeEndpoints({FakeCommandDefault, Device, 0.0f, FALSE, 0, S_OK}) != 0)
      break;
    const DWORD Start = GetTickCount();
    while (!BoundTo(Shared->State, Device) && GetTickCount() - Start < 5000)
      Sleep(1);
    if (!BoundTo(Shared->State, Device))
      break;
  }
  std::printf("rebinds=%ld\n", Done);
  return Done == Count ? 0 : 1;
}

// ---- A timeline of what a user would notice ----

CRITICAL_SECTION PrintLock;

void PrintEvent(const char *Name, unsigned long Value) {
  EnterCriticalSection(&PrintLock);
  std::printf("event tick=%lu %s=0x%08lx\n", GetTickCount(), Name, Value);
  std::fflush(stdout);
  LeaveCriticalSection(&PrintLock);
}

// Each line read is a request for a time stamp, so that the harness can place its
// own actions (a key sent, a click) on the same clock as the changes it watches.
DWORD WINAPI MarkUntilInputCloses(LPVOID) {
  unsigned long Marks = 0;
  for (int C; (C = std::getchar()) != EOF;)
    if (C == '\n')
      PrintEvent("mark", ++Marks);
  ExitProcess(0);
}

// Polls every few milliseconds and prints one line "event tick=T name=value" for
// each change of the window's handle (0 while there is none), its visibility and
// the foreground window, stamped with the system's tick count, the clock the
// program's own hide timer reads. Runs until its standard input closes.
//
// The mixer is not watched: Wine's mixer values belong to each process's own audio
// session, so another process cannot see the program's fader.
int Watch(const char *ClassName) {
  InitializeCriticalSection(&PrintLock);
  constexpr DWORD PollInterval = 5;
  constexpr int Watched = 3;
  const char *const Names[Watched] = {"window", "visible", "foreground"};
  unsigned long Last[Watched] = {};
  bool First = true;
  PrintEvent("start", 1);
  CreateThread(nullptr, 0, MarkUntilInputCloses, nullptr, 0, nullptr);
  for (;;) {
    const HWND Window = FindWindowA(ClassName, nullptr);
    const unsigned long Now[Watched] = {HandleValue(Window),
                                        Window && IsWindowVisible(Window) ? 1UL : 0UL,
                                        HandleValue(GetForegroundWindow())};
    for (int I = 0; I < Watched; ++I) {
      if (!First && Now[I] == Last[I])
        continue;
      Last[I] = Now[I];
      PrintEvent(Names[I], Now[I]);
    }
    First = false;
    Sleep(PollInterval);
  }
}

// ---- The stand-in desktop ----

// WM_APP answers how many WM_MOUSEWHEEL the desktop received, WM_APP + 1 the
// screen position of the last one: turns the program acted on must never arrive.
constexpr UINT WheelCountQuery = WM_APP;
constexpr UINT LastWheelQuery = WM_APP + 1;
// WM_APP + 2 answers where the last left click landed: a click on the program's
// display must reach the window beneath it.
constexpr UINT LastClickQuery = WM_APP + 2;
LRESULT WheelMessages;
LPARAM LastWheelAt;
LPARAM LastClickAt;

LRESULT CALLBACK DesktopProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_MOUSEWHEEL) {
    ++WheelMessages;
    LastWheelAt = LParam;
  }
  if (Message == WM_LBUTTONDOWN)
    LastClickAt = LParam;
  if (Message == LastClickQuery)
    return LastClickAt;
  if (Message == WheelCountQuery)
    return WheelMessages;
  if (Message == LastWheelQuery)
    return LastWheelAt;
  if (Message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(Window, Message, WParam, LParam);
}

// A plain window over the whole desktop, every monitor of it, neither topmost nor
// special: the window a user would be working in while the program runs.
int RunDesktop() {
  WNDCLASSA Class = {};
  Class.lpfnWndProc = DesktopProc;
  Class.hInstance = GetModuleHandleA(nullptr);
  Class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  Class.hbrBackground = CreateSolidBrush(DesktopColour);
  Class.lpszClassName = DesktopClassName;
  RegisterClassA(&Class);
  const HWND Window = CreateWindowExA(
      0, DesktopClassName, DesktopTitle, WS_POPUP | WS_VISIBLE, GetSystemMetrics(SM_XVIRTUALSCREEN),
      GetSystemMetrics(SM_YVIRTUALSCREEN), GetSystemMetrics(SM_CXVIRTUALSCREEN),
      GetSystemMetrics(SM_CYVIRTUALSCREEN), nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!Window)
    return 1;
  UpdateWindow(Window);
  std::printf("hwnd=0x%08lx\n", HandleValue(Window));
  std::fflush(stdout);
  MSG Message = {};
  while (GetMessageA(&Message, nullptr, 0, 0) > 0) {
    TranslateMessage(&Message);
    DispatchMessageA(&Message);
  }
  return 0;
}

// ---- Another program's hotkey ----

// Holds a global hotkey, as another program would, until it is ended. Prints
// "held=1" once the combination is taken.
int HoldHotKey(UINT Modifiers, UINT Key) {
  const bool Held = RegisterHotKey(nullptr, 1, Modifiers, Key) != FALSE;
  std::printf("held=%d\n", Held ? 1 : 0);
  std::fflush(stdout);
  if (!Held)
    return 1;
  MSG Message = {};
  while (GetMessageA(&Message, nullptr, 0, 0) > 0) {
  }
  return 0;
}

// ---- The tray from the shell's side ----

// Removes a window's tray icon as a restarting taskbar loses it: the icon is gone
// until its program adds it again.
int DeleteTrayIcon(const char *ClassName, UINT Id) {
  const HWND Window = FindWindowA(OptionalText(ClassName), nullptr);
  std::printf("found=%d\n", Window ? 1 : 0);
  if (!Window)
    return 1;
  const HMODULE Shell = LoadLibraryA("shell32.dll");
  const auto Notify = reinterpret_cast<BOOL(WINAPI *)(DWORD, PNOTIFYICONDATAA)>(
      reinterpret_cast<void (*)()>(Shell ? GetProcAddress(Shell, "Shell_NotifyIconA") : nullptr));
  NOTIFYICONDATAA Icon = {};
  Icon.cbSize = sizeof Icon;
  Icon.hWnd = Window;
  Icon.uID = Id;
  std::printf("deleted=%d\n", Notify && Notify(NIM_DELETE, &Icon) ? 1 : 0);
  return 0;
}

// ---- What a popup menu shows ----

// Another process's menu cannot be read, so its items are recognised on screen:
// each text is drawn here in the menu font and colours and looked for, pixel for
// pixel, in the visible popup menu. Prints the menu, then one record per place a
// text was found, in screen coordinates.
int FindMenuTexts(const std::vector<std::string> &Texts) {
  HWND Menu = nullptr;
  for (HWND Window : TopLevelWindows())
    if (ClassOf(Window) == "#32768" && IsWindowVisible(Window)) {
      Menu = Window;
      break;
    }
  std::printf("found=%d\n", Menu ? 1 : 0);
  if (!Menu)
    return 1;
  PrintWindowState(Menu);
  RECT Rect = {};
  GetWindowRect(Menu, &Rect);
  TPixels Screen(Rect.right - Rect.left, Rect.bottom - Rect.top);
  const HDC ScreenDc = GetDC(nullptr);
  BitBlt(Screen.Dc, 0, 0, Screen.Width, Screen.Height, ScreenDc, Rect.left, Rect.top, SRCCOPY);
  ReleaseDC(nullptr, ScreenDc);
  NONCLIENTMETRICSA Metrics = {};
  Metrics.cbSize = sizeof Metrics;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof Metrics, &Metrics, 0);
  const HFONT Font = CreateFontIndirectA(&Metrics.lfMenuFont);
  for (const std::string &Argument : Texts) {
    const std::wstring Text = Wide(Argument);
    const int Length = static_cast<int>(Text.size());
    SIZE Size = {};
    const HGDIOBJ Previous = SelectObject(Screen.Dc, Font);
    GetTextExtentPoint32W(Screen.Dc, Text.c_str(), Length, &Size);
    SelectObject(Screen.Dc, Previous);
    TPixels Drawn(Size.cx, Size.cy);
    const RECT Whole = {0, 0, Size.cx, Size.cy};
    FillRect(Drawn.Dc, &Whole, GetSysColorBrush(COLOR_MENU));
    SelectObject(Drawn.Dc, Font);
    SetTextColor(Drawn.Dc, GetSysColor(COLOR_MENUTEXT));
    SetBkMode(Drawn.Dc, TRANSPARENT);
    TextOutW(Drawn.Dc, 0, 0, Text.c_str(), Length);
    for (int Top = 0; Top + Drawn.Height <= Screen.Height; ++Top)
      for (int Left = 0; Left + Drawn.Width <= Screen.Width; ++Left) {
        bool Same = true;
        for (int Y = 0; Same && Y < Drawn.Height; ++Y)
          for (int X = 0; Same && X < Drawn.Width; ++X)
            Same = Drawn.At(X, Y) == Screen.At(Left + X, Top + Y);
        if (Same)
          std::printf("[text]\ntext=%s\nleft=%ld\ntop=%ld\nright=%ld\nbottom=%ld\n",
                      Utf8(Text.c_str()).c_str(), Rect.left + Left, Rect.top + Top,
                      Rect.left + Left + Drawn.Width, Rect.top + Top + Drawn.Height);
      }
  }
  DeleteObject(Font);
  return 0;
}

// ---- Whether a dialog's texts fit ----

// Each control of the first dialog with this title that shows a text: its width and
// the width its text takes in the dialog's font, in pixels. The font is the dialog's
// own where the system lets another process read it, else the one its template
// names (MS Shell Dlg, 8 points).
int MeasureDialogTexts(const char *Title) {
  const HWND Dialog = FindWindowA(DialogClassName, Title);
  std::printf("found=%d\n", Dialog ? 1 : 0);
  if (!Dialog)
    return 1;
  PrintWindowState(Dialog);
  const HDC Dc = GetDC(nullptr);
  LOGFONTW Face = {};
  const auto Own = reinterpret_cast<HGDIOBJ>(SendMessageW(Dialog, WM_GETFONT, 0, 0));
  if (GetObjectW(Own, sizeof Face, &Face) != sizeof Face) {
    Face = {};
    Face.lfHeight = -MulDiv(8, GetDeviceCaps(Dc, LOGPIXELSY), 72);
    Face.lfCharSet = DEFAULT_CHARSET;
    lstrcpyW(Face.lfFaceName, L"MS Shell Dlg");
  }
  const HFONT Font = CreateFontIndirectW(&Face);
  const HGDIOBJ Previous = SelectObject(Dc, Font);
  for (HWND Control : ChildWindows(Dialog)) {
    wchar_t Text[256] = {};
    SendMessageTimeoutW(Control, WM_GETTEXT, ARRAYSIZE(Text), reinterpret_cast<LPARAM>(Text),
                        SMTO_ABORTIFHUNG, MessageTimeout, nullptr);
    RECT Extent = {};
    if (Text[0] == L'\0' || DrawTextW(Dc, Text, -1, &Extent, DT_CALCRECT | DT_SINGLELINE) == 0)
      continue;
    RECT Place = {};
    GetWindowRect(Control, &Place);
    std::printf("[control]\nid=%d\nclass=%s\ntext=%s\nwidth=%ld\nneeded=%ld\nright=%ld\n",
                GetDlgCtrlID(Control), ClassOf(Control).c_str(), Utf8(Text).c_str(),
                Place.right - Place.left, Extent.right, Place.right);
  }
  SelectObject(Dc, Previous);
  DeleteObject(Font);
  ReleaseDC(nullptr, Dc);
  return 0;
}

// ---- Forged hook messages ----

// Any process can send or post the hook library's message number with an address of
// its choosing; the program must act only on its own hook's reports. These commands
// play that other process: they find and write memory of the program's process and
// send and post the message with addresses in it.

constexpr UINT HookMouseMessage = WM_USER + 133;
constexpr SIZE_T PageSize = 4096;
// Far enough below the thread's stack pointer that the frames of the forged
// message's own handling do not reach it before it would be read.
constexpr DWORD StackDepth = 0x8000;

std::uintptr_t AddressValue(const void *Address) {
  return reinterpret_cast<std::uintptr_t>(Address);
}

void *AsAddress(std::uintptr_t Value) { return reinterpret_cast<void *>(Value); }

HANDLE OpenProgram(HWND Window, DWORD Access, DWORD *ThreadId = nullptr) {
  DWORD ProcessId = 0;
  const DWORD Thread = GetWindowThreadProcessId(Window, &ProcessId);
  if (ThreadId)
    *ThreadId = Thread;
  return OpenProcess(Access, FALSE, ProcessId);
}

// What a turn of the wheel forward at the left edge of the screen reports.
MSLLHOOKSTRUCT WheelRecord() {
  MSLLHOOKSTRUCT Record = {};
  Record.pt.x = 0;
  Record.pt.y = 300;
  Record.mouseData = static_cast<DWORD>(WHEEL_DELTA) << 16;
  return Record;
}

// Bytes of a well-formed record written at Address, as far as they fit.
SIZE_T Plant(HANDLE Process, std::uintptr_t Address, SIZE_T Size) {
  const MSLLHOOKSTRUCT Record = WheelRecord();
  SIZE_T Written = 0;
  if (!WriteProcessMemory(Process, AsAddress(Address), &Record, Size, &Written))
    return 0;
  return Written;
}

std::uintptr_t Allocate(HANDLE Process, SIZE_T Size) {
  return AddressValue(
      VirtualAllocEx(Process, nullptr, Size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

// The program's one thread is waiting for a message; its stack pointer then lies
// just below the frames of the message loop.
std::uintptr_t StackPointer(DWORD ThreadId) {
  const HANDLE Thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SUSPEND_RESUME, FALSE, ThreadId);
  if (!Thread)
    return 0;
  CONTEXT Context = {};
  Context.ContextFlags = CONTEXT_CONTROL;
  SuspendThread(Thread);
  const bool Read = GetThreadContext(Thread, &Context) != FALSE;
  ResumeThread(Thread);
  CloseHandle(Thread);
  return Read ? Context.Esp : 0;
}

// One target: a named kind of address, or a number. Prints the address, how many
// bytes of a record it holds, and whether the message was answered and posted.
void Forge(HWND Window, HANDLE Process, DWORD ThreadId, const std::string &Target) {
  std::uintptr_t Address = 0;
  SIZE_T Planted = 0;
  if (Target == "heap") {
    Address = Allocate(Process, PageSize);
    Planted = Plant(Process, Address, sizeof(MSLLHOOKSTRUCT));
  } else if (Target == "misaligned") {
    Address = Allocate(Process, PageSize) + 1;
    Planted = Plant(Process, Address, sizeof(MSLLHOOKSTRUCT));
  } else if (Target == "straddling") {
    // Only the position fits before the next page, which is reserved but not committed.
    const std::uintptr_t Base =
        AddressValue(VirtualAllocEx(Process, nullptr, 2 * PageSize, MEM_RESERVE, PAGE_READWRITE));
    VirtualAllocEx(Process, AsAddress(Base), PageSize, MEM_COMMIT, PAGE_READWRITE);
    Address = Base + PageSize - sizeof(POINT);
    Planted = Plant(Process, Address, sizeof(POINT));
  } else if (Target == "unmapped") {
    Address = Allocate(Process, PageSize);
    VirtualFreeEx(Process, AsAddress(Address), 0, MEM_RELEASE);
  } else if (Target == "stack") {
    const std::uintptr_t Top = StackPointer(ThreadId);
    Address = Top > StackDepth ? (Top - StackDepth) & ~std::uintptr_t{3} : 0;
    Planted = Address ? Plant(Process, Address, sizeof(MSLLHOOKSTRUCT)) : 0;
    std::printf("[stack]\nesp=0x%08lx\n", static_cast<unsigned long>(Top));
  } else {
    Address = ParseNumber(Target.c_str());
    Planted = Plant(Process, Address, sizeof(MSLLHOOKSTRUCT));
  }
  const auto LParam = static_cast<LPARAM>(Address);
  DWORD_PTR Result = 0;
  const bool Answered = SendMessageTimeoutA(Window, HookMouseMessage, WM_MOUSEWHEEL, LParam,
                                            SMTO_ABORTIFHUNG, MessageTimeout, &Result) != 0;
  const bool Posted = PostMessageA(Window, HookMouseMessage, WM_MOUSEWHEEL, LParam) != FALSE;
  std::printf("[forged]\ntarget=%s\naddress=0x%08lx\nplanted=%lu\nanswered=%d\nposted=%d\n",
              Target.c_str(), static_cast<unsigned long>(Address),
              static_cast<unsigned long>(Planted), Answered ? 1 : 0, Posted ? 1 : 0);
}

int ForgeHookMessages(const char *ClassName, const std::vector<std::string> &Targets) {
  const HWND Window = FindWindowA(OptionalText(ClassName), nullptr);
  std::printf("found=%d\n", Window ? 1 : 0);
  if (!Window)
    return 1;
  DWORD ThreadId = 0;
  const HANDLE Process = OpenProgram(
      Window, PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, &ThreadId);
  if (!Process)
    return 1;
  for (const std::string &Target : Targets)
    Forge(Window, Process, ThreadId, Target);
  CloseHandle(Process);
  return 0;
}

// Where the program's memory holds a record with this position and wheel data.
std::vector<std::uintptr_t> RecordAddresses(HANDLE Process, const MSLLHOOKSTRUCT &Event) {
  const LONG Pattern[3] = {Event.pt.x, Event.pt.y, static_cast<LONG>(Event.mouseData)};
  std::vector<std::uintptr_t> Found;
  std::vector<char> Bytes;
  MEMORY_BASIC_INFORMATION Region = {};
  for (std::uintptr_t At = 0;
       VirtualQueryEx(Process, AsAddress(At), &Region, sizeof Region) == sizeof Region;
       At = AddressValue(Region.BaseAddress) + Region.RegionSize) {
    if (Region.State != MEM_COMMIT || Region.Type != MEM_PRIVATE ||
        (Region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0)
      continue;
    Bytes.resize(Region.RegionSize);
    SIZE_T Read = 0;
    if (!ReadProcessMemory(Process, Region.BaseAddress, Bytes.data(), Bytes.size(), &Read))
      continue;
    for (SIZE_T Offset = 0; Offset + sizeof Pattern <= Read; Offset += sizeof(LONG))
      if (std::memcmp(Bytes.data() + Offset, Pattern, sizeof Pattern) == 0)
        Found.push_back(AddressValue(Region.BaseAddress) + Offset);
  }
  return Found;
}

const char *ReplayClass;
POINT ReplayAt;

// Installed before the program's hook, this one runs after it: a turn the program
// does not act on goes on to it, and meanwhile the hook library's thread waits in its
// own hook with the turn's record still live on its stack. That very address is then
// forged, holding a forward turn at the left edge, and so are the first tickets the
// library hands out, the one of this very turn among them.
constexpr LONG RecentTickets = 16;
LRESULT CALLBACK ReplayLiveRecord(int Code, WPARAM Message, LPARAM Event) {
  const auto &Record = *reinterpret_cast<const MSLLHOOKSTRUCT *>(Event);
  if (Code == HC_ACTION && Message == WM_MOUSEWHEEL && Record.pt.x == ReplayAt.x &&
      Record.pt.y == ReplayAt.y) {
    const HWND Window = FindWindowA(ReplayClass, nullptr);
    DWORD ThreadId = 0;
    const HANDLE Process = Window ? OpenProgram(Window,
                                                PROCESS_VM_READ | PROCESS_VM_OPERATION |
                                                    PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                                                &ThreadId)
                                  : nullptr;
    if (Process) {
      for (const std::uintptr_t Address : RecordAddresses(Process, Record))
        Forge(Window, Process, ThreadId, std::to_string(Address));
      for (LONG Ticket = 1; Ticket <= RecentTickets; ++Ticket)
        Forge(Window, Process, ThreadId, std::to_string(Ticket));
      CloseHandle(Process);
    }
    std::printf("replayed=1\n");
    std::fflush(stdout);
    PostQuitMessage(0);
  }
  return CallNextHookEx(nullptr, Code, Message, Event);
}

int ReplayHookRecord(const char *ClassName, LONG X, LONG Y) {
  ReplayClass = ClassName;
  ReplayAt = POINT{X, Y};
  if (!SetWindowsHookExA(WH_MOUSE_LL, ReplayLiveRecord, GetModuleHandleA(nullptr), 0))
    return 1;
  std::printf("ready=1\n");
  std::fflush(stdout);
  MSG Message = {};
  while (GetMessageA(&Message, nullptr, 0, 0) > 0)
    DispatchMessageA(&Message);
  return 0;
}

// ---- A later hook that takes the wheel ----

LONG SwallowedTurns;

LRESULT CALLBACK SwallowWheel(int Code, WPARAM Message, LPARAM Event) {
  if (Code == HC_ACTION && Message == WM_MOUSEWHEEL) {
    ++SwallowedTurns;
    return 1;
  }
  return CallNextHookEx(nullptr, Code, Message, Event);
}

// As a program that hands the mouse to another computer does: a low-level hook,
// installed after the program's and so called before it, keeps every wheel turn
// from the rest of the desktop for Ms milliseconds; prints how many it kept.
int HoldWheel(DWORD Ms) {
  if (!SetWindowsHookExA(WH_MOUSE_LL, SwallowWheel, GetModuleHandleA(nullptr), 0) ||
      !SetTimer(nullptr, 0, Ms, nullptr))
    return 1;
  std::printf("ready=1\n");
  std::fflush(stdout);
  MSG Message = {};
  while (GetMessageA(&Message, nullptr, 0, 0) > 0 && Message.message != WM_TIMER)
    DispatchMessageA(&Message);
  std::printf("swallowed=%ld\n", SwallowedTurns);
  return 0;
}

// ---- Wheel input of any delta, and a program thread held ----

// Turns as a driver sends them, with exactly these deltas, at a pointer placed
// there first: fine-grained wheels send parts of a notch, fast spins several.
int SendWheel(LONG X, LONG Y, const std::vector<LONG> &Deltas) {
  constexpr DWORD PointerSettle = 100; // ms for the pointer's move to reach the server
  if (!SetCursorPos(X, Y))
    return 1;
  Sleep(PointerSettle);
  for (const LONG Delta : Deltas) {
    INPUT Input = {};
    Input.type = INPUT_MOUSE;
    Input.mi.dwFlags = MOUSEEVENTF_WHEEL;
    Input.mi.mouseData = static_cast<DWORD>(Delta);
    if (SendInput(1, &Input, sizeof Input) != 1)
      return 1;
  }
  std::printf("sent=%u\n", static_cast<unsigned>(Deltas.size()));
  return 0;
}

// Holds the thread of the window's owner as a call that hangs would, for Ms
// milliseconds; prints when it holds and when it lets go.
int SuspendOwner(const char *ClassName, DWORD Ms) {
  const HWND Window = FindWindowA(OptionalText(ClassName), nullptr);
  const HANDLE Thread =
      Window ? OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(Window, nullptr))
             : nullptr;
  if (!Thread || SuspendThread(Thread) == static_cast<DWORD>(-1))
    return 1;
  std::printf("suspended=1\n");
  std::fflush(stdout);
  Sleep(Ms);
  ResumeThread(Thread);
  CloseHandle(Thread);
  std::printf("resumed=1\n");
  return 0;
}

// ---- Floods, long runs and the program's resource figures ----

// xorshift32: one seed gives the same run on every machine, so a failure can be
// replayed from the seed the run printed.
class TRandom {
public:
  explicit TRandom(DWORD Seed) : State(Seed != 0 ? Seed : 0x9E3779B9UL) {}
  DWORD Next() {
    State ^= State << 13;
    State ^= State >> 17;
    State ^= State << 5;
    return State;
  }
  DWORD Below(DWORD Bound) { return Next() % Bound; }

private:
  DWORD State;
};

// The numbers the program itself handles; the registered "TaskbarCreated" is added
// at run time.
struct TProgramMessage {
  const char *Name;
  UINT Number;
};
const TProgramMessage ProgramMessages[] = {
    {"create", WM_CREATE},       {"paint", WM_PAINT},         {"displaychange", WM_DISPLAYCHANGE},
    {"timer", WM_TIMER},         {"hotkey", WM_HOTKEY},       {"mixer", MM_MIXM_CONTROL_CHANGE},
    {"traynotify", WM_USER + 1}, {"refreshtip", WM_USER + 2}, {"hookmouse", HookMouseMessage}};
constexpr int ProgramMessageCount = sizeof ProgramMessages / sizeof ProgramMessages[0];
constexpr UINT TrayNotifyMessage = WM_USER + 1;
// WM_ISACTIVEICON, which the headers leave out.
constexpr UINT IsActiveIconMessage = 0x0035;

// Messages of the system range a flood leaves out, each for a reason outside the
// program's own handling:
bool IsExcluded(UINT Message) {
  switch (Message) {
  // They end the window, the loop or the session by design.
  case WM_DESTROY:
  case WM_CLOSE:
  case WM_QUERYENDSESSION:
  case WM_QUIT:
  case WM_ENDSESSION:
  case WM_NCDESTROY:
  // DefWindowProcA turns them into window commands: close (Alt+F4), the move and
  // size loops, the system menu, a key that activates the window.
  case WM_SYSCOMMAND:
  case WM_CONTEXTMENU:
  case WM_SETHOTKEY:
  // It clears WS_VISIBLE without hiding: the display would stay on screen while
  // the program believes it hidden, a state only the sender chose.
  case WM_SETREDRAW:
  // It switches the keyboard layout of the program's thread.
  case WM_INPUTLANGCHANGEREQUEST:
  // Activation is the system's to give (DefWindowProcA takes the focus on
  // WM_ACTIVATE), and the caption's active flag is the flood's own marker.
  case WM_ACTIVATE:
  case WM_NCACTIVATE:
  case IsActiveIconMessage:
    return true;
  }
  // Keyboard messages: F10, Alt and Alt+F4 become WM_SYSCOMMAND as above.
  if (Message >= WM_KEYFIRST && Message <= WM_KEYLAST)
    return true;
  // Non-client clicks start the caption's move and size loops or the system menu.
  if (Message >= WM_NCLBUTTONDOWN && Message <= WM_NCXBUTTONDBLCLK)
    return true;
  // The IME window reads some requests' lParam as an address in the program.
  if ((Message >= WM_IME_STARTCOMPOSITION && Message <= WM_IME_COMPOSITION) ||
      (Message >= WM_IME_SETCONTEXT && Message <= WM_IME_KEYUP))
    return true;
  return false;
}

// The system copies what these messages point to from the sender to the receiver,
// and refuses to post them: a random address would fault in the sender. Found by
// posting each number of the system range to a window of the probe's own.
std::vector<bool> PointerMessages() {
  std::vector<bool> Pointer(WM_USER, false);
  const HWND Own = CreateWindowExA(0, "Static", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
  for (UINT Message = 0; Message < WM_USER; ++Message) {
    SetLastError(0);
    if (!PostMessageA(Own, Message, 0, 0))
      Pointer[Message] = GetLastError() == ERROR_MESSAGE_SYNC_ONLY;
    MSG Dropped = {};
    while (PeekMessageA(&Dropped, Own, 0, 0, PM_REMOVE)) {
    }
  }
  DestroyWindow(Own);
  return Pointer;
}

DWORD RandomParameter(TRandom &Random) {
  switch (Random.Below(6)) {
  case 0:
    return 0;
  case 1:
    return Random.Below(1024);
  case 2:
    return Random.Below(0x10000);
  case 3:
    return 0xFFFFFFFFUL - Random.Below(4);
  case 4:
    // Inside the program's own image: readable memory, and code.
    return 0x00400000UL + Random.Below(0x10000);
  default:
    return Random.Next();
  }
}

struct TFloodTarget {
  HWND Window;
  DWORD HotKeyIds[4];
  UINT TaskbarCreated;
  CREATESTRUCTA Create; // what a sent WM_CREATE points to
};

constexpr WPARAM DeviceEventBit = 0x8000;

// Parameters fitting the message, so that the program's own handlers get values
// they could meet (its hotkey ids, mouse message numbers, screen sizes) as well as
// nonsense.
void ChooseParameters(const TFloodTarget &Target, UINT Message, TRandom &Random, WPARAM &WParam,
                      LPARAM &LParam) {
  WParam = RandomParameter(Random);
  LParam = static_cast<LPARAM>(RandomParameter(Random));
  const bool Fitting = Random.Below(2) == 0;
  if (Message == WM_HOTKEY && Fitting)
    WParam = Target.HotKeyIds[Random.Below(4)];
  if (Message == HookMouseMessage && Fitting)
    WParam = WM_MOUSEFIRST + Random.Below(WM_MOUSELAST - WM_MOUSEFIRST + 1);
  if (Message == TrayNotifyMessage && Fitting)
    LParam = static_cast<LPARAM>(WM_MOUSEFIRST + Random.Below(WM_MOUSELAST - WM_MOUSEFIRST + 1));
  // Right button up on the icon opens the modal menu, which would hold the flood.
  if (Message == TrayNotifyMessage && LOWORD(LParam) == WM_RBUTTONUP)
    LParam = WM_RBUTTONDOWN;
  if (Message == WM_DISPLAYCHANGE && Fitting)
    LParam = static_cast<LPARAM>(MAKELONG(Random.Below(4097), Random.Below(4097)));
  if (Message == WM_CREATE)
    LParam = reinterpret_cast<LPARAM>(&Target.Create);
  // A device context in wParam is the sender's: the system refuses to carry it.
  if (Message == WM_PAINT && Fitting)
    WParam = 0;
  // For device events (bit 15 of wParam) the system copies the record lParam points
  // to, as long as the record's own size field says: a random address either faults
  // in the sender or asks for a copy larger than the window server takes, and the
  // probe dies, whatever the program does.
  if (Message == WM_DEVICECHANGE)
    WParam &= ~static_cast<WPARAM>(DeviceEventBit);
}

// One random message number: half of them the program's own, the rest from the
// system range (less the exclusions and what carries pointers), WM_USER, WM_APP and
// the registered range.
UINT ChooseMessage(const TFloodTarget &Target, const std::vector<bool> &Pointer, TRandom &Random,
                   int &ProgramIndex) {
  ProgramIndex = -1;
  if (Random.Below(2) == 0) {
    ProgramIndex = static_cast<int>(Random.Below(ProgramMessageCount + 1));
    return ProgramIndex == ProgramMessageCount ? Target.TaskbarCreated
                                               : ProgramMessages[ProgramIndex].Number;
  }
  for (;;) {
    UINT Message = 0;
    switch (Random.Below(4)) {
    case 0:
      Message = Random.Below(WM_USER);
      break;
    case 1:
      Message = WM_USER + Random.Below(WM_APP - WM_USER);
      break;
    case 2:
      Message = WM_APP + Random.Below(0xC000 - WM_APP);
      break;
    default:
      Message = 0xC000 + Random.Below(0x4000);
      break;
    }
    if (Message < WM_USER && (IsExcluded(Message) || Pointer[Message]))
      continue;
    return Message;
  }
}

// Whether DefWindowProcA holds the window's caption as active: set by WM_NCACTIVATE,
// read back by WM_ISACTIVEICON, and touched by nothing else the flood sends.
int ActiveCaption(HWND Window) {
  DWORD_PTR Active = 0;
  if (!SendMessageTimeoutA(Window, IsActiveIconMessage, 0, 0, SMTO_ABORTIFHUNG, MessageTimeout,
                           &Active))
    return -1;
  return Active != 0 ? 1 : 0;
}

// Posted messages are handled in order, so the program has handled every one posted
// before a WM_NCACTIVATE once its window reports the caption state that one set.
// Leaves the caption inactive, as it was, when Final.
bool WaitForPostedMessages(HWND Window, bool Final) {
  const int Now = ActiveCaption(Window);
  if (Now < 0)
    return false;
  const int Wanted = Final ? 0 : 1 - Now;
  // lParam -1: the caption is not repainted; the display has none.
  if (!PostMessageA(Window, WM_NCACTIVATE, static_cast<WPARAM>(Wanted), -1))
    return false;
  for (int Attempt = 0; Attempt < 5000; ++Attempt) {
    const int Active = ActiveCaption(Window);
    if (Active < 0)
      return false;
    if (Active == Wanted)
      return true;
    Sleep(1);
  }
  return false;
}

// Returns once the window's thread has handled every message posted to it so far.
int Drain(const char *ClassName) {
  const HWND Window = FindWindowA(OptionalText(ClassName), nullptr);
  std::printf("found=%d\n", Window ? 1 : 0);
  if (!Window)
    return 1;
  const bool Drained = WaitForPostedMessages(Window, true);
  std::printf("drained=%d\n", Drained ? 1 : 0);
  return Drained ? 0 : 1;
}

// Sends and posts COUNT random messages, in batches after each of which it waits
// until the posted ones have been handled; stops early when the program no longer
// answers.
int Flood(const char *ClassName, DWORD Count, DWORD Seed, bool HookOnly) {
  TFloodTarget Target = {};
  Target.Window = FindWindowA(OptionalText(ClassName), nullptr);
  std::printf("found=%d\nseed=%lu\n", Target.Window ? 1 : 0, Seed);
  if (!Target.Window)
    return 1;
  const char *const AtomNames[4] = {"sonalHKMute", "sonalHKVolUp", "sonalHKVolDown",
                                    "sonalHKEnabDis"};
  for (int I = 0; I < 4; ++I)
    Target.HotKeyIds[I] = GlobalFindAtomA(AtomNames[I]);
  Target.TaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
  const std::vector<bool> Pointer = PointerMessages();
  TRandom Random(Seed);
  constexpr DWORD Batch = 256;
  constexpr int MaxSilentSends = 3;
  unsigned long Sent = 0, Posted = 0, Refused = 0, SendRefused = 0, Unanswered = 0, Batches = 0,
                Lost = 0;
  unsigned long Program[ProgramMessageCount + 1] = {};
  int Silent = 0;
  const DWORD Start = GetTickCount();
  for (DWORD I = 0; I < Count && Silent < MaxSilentSends; ++I) {
    int ProgramIndex = -1;
    UINT Message = HookMouseMessage;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    if (HookOnly) {
      // A wheel message with a ticket or an address of the sender's choosing, or
      // another mouse message number; never while the hook waits on a turn.
      WParam = Random.Below(4) != 0 ? WM_MOUSEWHEEL : RandomParameter(Random);
      LParam = static_cast<LPARAM>(RandomParameter(Random));
    } else {
      Message = ChooseMessage(Target, Pointer, Random, ProgramIndex);
      ChooseParameters(Target, Message, Random, WParam, LParam);
    }
    if (ProgramIndex >= 0)
      ++Program[ProgramIndex];
    // A pointer message can only be sent.
    const bool Post = Random.Below(2) == 0 && Message != WM_CREATE;
    if (Post) {
      if (PostMessageA(Target.Window, Message, WParam, LParam))
        ++Posted;
      else
        ++Refused;
    } else {
      DWORD_PTR Result = 0;
      ++Sent;
      const DWORD SendStart = GetTickCount();
      if (SendMessageTimeoutA(Target.Window, Message, WParam, LParam, SMTO_ABORTIFHUNG,
                              MessageTimeout, &Result)) {
        Silent = 0;
      } else if (GetLastError() != ERROR_TIMEOUT && GetTickCount() - SendStart < MessageTimeout) {
        // Failed at once: the system does not carry a handle of the sender's in
        // wParam (a device context, region or font: WM_PAINT, WM_ERASEBKGND,
        // WM_CTLCOLOR..., WM_SETFONT) to another process. Never delivered.
        if (SendRefused < 8)
          std::printf("send_refused.%lu=0x%04x error %lu\n", SendRefused, Message, GetLastError());
        ++SendRefused;
      } else {
        // A program that did not answer in time: hung, or in a modal loop.
        if (Unanswered < 8)
          std::printf("unanswered.%lu=0x%04x error %lu\n", Unanswered, Message, GetLastError());
        ++Unanswered;
        ++Silent;
      }
    }
    if ((I + 1) % Batch == 0 || I + 1 == Count) {
      ++Batches;
      if (!WaitForPostedMessages(Target.Window, I + 1 == Count)) {
        ++Lost;
        ++Silent;
      }
    }
  }
  std::printf("count=%lu\nsent=%lu\nsend_refused=%lu\nposted=%lu\npost_refused=%lu\n"
              "unanswered=%lu\nbatches=%lu\nbatches_unconfirmed=%lu\nduration_ms=%lu\n",
              static_cast<unsigned long>(Count), Sent, SendRefused, Posted, Refused, Unanswered,
              Batches, Lost, static_cast<unsigned long>(GetTickCount() - Start));
  for (int I = 0; I <= ProgramMessageCount; ++I)
    std::printf("program.%s=%lu\n",
                I == ProgramMessageCount ? "taskbarcreated" : ProgramMessages[I].Name, Program[I]);
  unsigned long Excluded = 0, Pointers = 0;
  for (UINT Message = 0; Message < WM_USER; ++Message) {
    Excluded += IsExcluded(Message) ? 1 : 0;
    Pointers += Pointer[Message] ? 1 : 0;
  }
  std::printf("system_excluded=%lu\nsystem_pointer=%lu\n", Excluded, Pointers);
  return Silent < MaxSilentSends ? 0 : 1;
}

// Keeps an icon of its own in Wine's tray until it is ended. The stand-alone tray
// hides its window when its last icon goes and then waits two seconds for a window
// manager that the virtual display does not have; beside this icon, a program that
// deletes and adds its icon again is not held up by that wait.
int HoldTrayIcon() {
  const HMODULE Shell = LoadLibraryA("shell32.dll");
  const auto Notify = reinterpret_cast<BOOL(WINAPI *)(DWORD, PNOTIFYICONDATAA)>(
      reinterpret_cast<void (*)()>(Shell ? GetProcAddress(Shell, "Shell_NotifyIconA") : nullptr));
  const HWND Window = CreateWindowExA(0, "Static", "tray holder", WS_POPUP, 0, 0, 0, 0, nullptr,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
  NOTIFYICONDATAA Icon = {};
  Icon.cbSize = sizeof Icon;
  Icon.hWnd = Window;
  Icon.uID = 1;
  Icon.uFlags = NIF_ICON;
  Icon.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  const bool Held = Notify && Window && Notify(NIM_ADD, &Icon);
  std::printf("held=%d\n", Held ? 1 : 0);
  std::fflush(stdout);
  if (!Held)
    return 1;
  MSG Message = {};
  while (GetMessageA(&Message, nullptr, 0, 0) > 0)
    DispatchMessageA(&Message);
  return 0;
}

// Sends WM_HOTKEY COUNT times, cycling through the ids of the named global atoms,
// as the system does for each press of a registered combination.
int SendHotKeys(const char *ClassName, DWORD Count, const std::vector<std::string> &Atoms) {
  const HWND Window = FindWindowA(OptionalText(ClassName), nullptr);
  std::printf("found=%d\n", Window ? 1 : 0);
  if (!Window)
    return 1;
  std::vector<DWORD> Ids;
  for (const std::string &Atom : Atoms) {
    Ids.push_back(GlobalFindAtomA(Atom.c_str()));
    std::printf("id.%s=0x%04lx\n", Atom.c_str(), static_cast<unsigned long>(Ids.back()));
    if (Ids.back() == 0)
      return 1;
  }
  unsigned long Answered = 0;
  const DWORD Start = GetTickCount();
  for (DWORD I = 0; I < Count; ++I) {
    DWORD_PTR Result = 0;
    if (SendMessageTimeoutA(Window, WM_HOTKEY, Ids[I % Ids.size()], 0, SMTO_ABORTIFHUNG,
                            MessageTimeout, &Result))
      ++Answered;
    else
      break;
  }
  std::printf("answered=%lu\nduration_ms=%lu\n", Answered,
              static_cast<unsigned long>(GetTickCount() - Start));
  return Answered == Count ? 0 : 1;
}

// The visible popup menu of a process, if any.
HWND VisibleMenuOf(DWORD ProcessId) {
  for (HWND Window : TopLevelWindows()) {
    DWORD Owner = 0;
    GetWindowThreadProcessId(Window, &Owner);
    if (Owner == ProcessId && ClassOf(Window) == "#32768" && IsWindowVisible(Window))
      return Window;
  }
  return nullptr;
}

bool WaitForMenu(DWORD ProcessId, bool Shown) {
  for (int Attempt = 0; Attempt < 5000; ++Attempt) {
    if ((VisibleMenuOf(ProcessId) != nullptr) == Shown)
      return true;
    Sleep(1);
  }
  return false;
}

// Opens the window's popup menu COUNT times by posting the message that opens it,
// waits for the menu to show, and closes it with WM_CANCELMODE, which a menu's
// owner gets when the system takes the input away (a dialog comes up).
int OpenMenus(const char *ClassName, DWORD Count, UINT Message, WPARAM WParam, LPARAM LParam) {
  const HWND Window = FindWindowA(OptionalText(ClassName), nullptr);
  std::printf("found=%d\n", Window ? 1 : 0);
  if (!Window)
    return 1;
  DWORD ProcessId = 0;
  GetWindowThreadProcessId(Window, &ProcessId);
  unsigned long Opened = 0, Closed = 0;
  const DWORD Start = GetTickCount();
  for (DWORD I = 0; I < Count; ++I) {
    PostMessageA(Window, Message, WParam, LParam);
    if (!WaitForMenu(ProcessId, true))
      break;
    ++Opened;
    DWORD_PTR Result = 0;
    SendMessageTimeoutA(Window, WM_CANCELMODE, 0, 0, SMTO_ABORTIFHUNG, MessageTimeout, &Result);
    if (!WaitForMenu(ProcessId, false))
      break;
    ++Closed;
  }
  std::printf("opened=%lu\nclosed=%lu\nduration_ms=%lu\n", Opened, Closed,
              static_cast<unsigned long>(GetTickCount() - Start));
  return Closed == Count ? 0 : 1;
}

// What the system's own counters say about a process, and what the probe can count
// itself where a counter is missing (Wine answers GetGuiResources with 0):
//   gdi_table   in-use entries of the process's GDI handle table, which Wine keeps
//               where Windows does, at the address the PEB holds at 0x94;
//   handles_listed  the process's entries of the system's handle list;
//   private_committed  committed private pages, summed over VirtualQueryEx;
//   windows     the process's top-level windows and their children.
struct TBasicInformation {
  LONG ExitStatus;
  void *PebBaseAddress;
  ULONG_PTR AffinityMask;
  LONG BasePriority;
  ULONG_PTR UniqueProcessId;
  ULONG_PTR InheritedFromUniqueProcessId;
};

struct THandleEntry {
  ULONG OwnerPid;
  BYTE ObjectType;
  BYTE HandleFlags;
  USHORT HandleValue;
  void *ObjectPointer;
  ULONG AccessMask;
};

template <typename TFunction> TFunction LibraryFunction(const char *Library, const char *Name) {
  const HMODULE Module =
      GetModuleHandleA(Library) ? GetModuleHandleA(Library) : LoadLibraryA(Library);
  return reinterpret_cast<TFunction>(
      reinterpret_cast<void (*)()>(Module ? GetProcAddress(Module, Name) : nullptr));
}

long CountGdiTable(HANDLE Process) {
  constexpr DWORD PebGdiTableOffset = 0x94;
  constexpr DWORD EntrySize = 24;
  constexpr DWORD TypeOffset = 14;
  constexpr DWORD Entries = 0x10000;
  const auto Query = LibraryFunction<LONG(WINAPI *)(HANDLE, ULONG, void *, ULONG, ULONG *)>(
      "ntdll.dll", "NtQueryInformationProcess");
  TBasicInformation Basic = {};
  if (!Query || Query(Process, 0, &Basic, sizeof Basic, nullptr) != 0)
    return -1;
  DWORD Table = 0;
  if (!ReadProcessMemory(Process, static_cast<char *>(Basic.PebBaseAddress) + PebGdiTableOffset,
                         &Table, sizeof Table, nullptr) ||
      Table == 0)
    return -1;
  std::vector<BYTE> Bytes(static_cast<size_t>(Entries) * EntrySize);
  SIZE_T Read = 0;
  if (!ReadProcessMemory(Process, AsAddress(Table), Bytes.data(), Bytes.size(), &Read))
    return -1;
  long InUse = 0;
  for (SIZE_T At = 0; At + EntrySize <= Read; At += EntrySize)
    InUse += Bytes[At + TypeOffset] != 0 ? 1 : 0;
  return InUse;
}

long CountListedHandles(DWORD ProcessId) {
  constexpr ULONG SystemHandleInformation = 16;
  constexpr LONG InfoLengthMismatch = static_cast<LONG>(0xC0000004UL);
  const auto Query = LibraryFunction<LONG(WINAPI *)(ULONG, void *, ULONG, ULONG *)>(
      "ntdll.dll", "NtQuerySystemInformation");
  if (!Query)
    return -1;
  std::vector<BYTE> Buffer(1 << 16);
  LONG Status = 0;
  while ((Status = Query(SystemHandleInformation, Buffer.data(), static_cast<ULONG>(Buffer.size()),
                         nullptr)) == InfoLengthMismatch &&
         Buffer.size() < (64u << 20))
    Buffer.resize(Buffer.size() * 2);
  if (Status != 0)
    return -1;
  ULONG Count = 0;
  std::memcpy(&Count, Buffer.data(), sizeof Count);
  long Own = 0;
  for (ULONG I = 0; I < Count; ++I) {
    THandleEntry Entry = {};
    const size_t At = sizeof(ULONG) + I * sizeof Entry;
    if (At + sizeof Entry > Buffer.size())
      break;
    std::memcpy(&Entry, Buffer.data() + At, sizeof Entry);
    Own += Entry.OwnerPid == ProcessId ? 1 : 0;
  }
  return Own;
}

unsigned long PrivateCommitted(HANDLE Process) {
  unsigned long Total = 0;
  MEMORY_BASIC_INFORMATION Region = {};
  for (std::uintptr_t At = 0;
       VirtualQueryEx(Process, AsAddress(At), &Region, sizeof Region) == sizeof Region;
       At = AddressValue(Region.BaseAddress) + Region.RegionSize) {
    if (Region.State == MEM_COMMIT && Region.Type == MEM_PRIVATE)
      Total += static_cast<unsigned long>(Region.RegionSize);
    if (AddressValue(Region.BaseAddress) + Region.RegionSize <= At)
      break;
  }
  return Total;
}

long CountWindows(DWORD ProcessId) {
  long Count = 0;
  for (HWND Window : TopLevelWindows()) {
    DWORD Owner = 0;
    GetWindowThreadProcessId(Window, &Owner);
    if (Owner == ProcessId)
      Count += 1 + static_cast<long>(ChildWindows(Window).size());
  }
  return Count;
}

// Wine answers GetGuiResources with 0. Its user handles (windows, menus, icons,
// cursors, hooks) are entries of one table in the wineserver for the whole session,
// which hands out freed entries first, newest first, and then new entries at its
// end, a new one with generation 1. Taking menus until one comes with generation 1
// tells both: its index is the table's length, and the menus taken before it were
// the free entries. The difference is the user handles alive in the session.
long CountSessionUserHandles() {
  constexpr unsigned long FirstUserHandle = 0x0020;
  constexpr size_t MaxTaken = 200000;
  std::vector<HMENU> Taken;
  long Alive = -1;
  while (Taken.size() < MaxTaken) {
    const HMENU Menu = CreateMenu();
    if (!Menu)
      break;
    Taken.push_back(Menu);
    const unsigned long Value = HandleValue(Menu);
    if (HIWORD(Value) == 1) {
      const long Length = static_cast<long>((LOWORD(Value) - FirstUserHandle) / 2);
      Alive = Length - static_cast<long>(Taken.size() - 1);
      break;
    }
  }
  for (HMENU Menu : Taken)
    DestroyMenu(Menu);
  return Alive;
}

int PrintResources(const char *ClassName) {
  const HWND Window = FindWindowA(OptionalText(ClassName), nullptr);
  std::printf("found=%d\n", Window ? 1 : 0);
  if (!Window)
    return 1;
  DWORD ProcessId = 0;
  const HANDLE Process = OpenProgram(Window, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, nullptr);
  GetWindowThreadProcessId(Window, &ProcessId);
  if (!Process)
    return 1;
  std::printf("pid=%lu\n", static_cast<unsigned long>(ProcessId));
  SetLastError(0);
  std::printf("gdi_objects=%lu\n",
              static_cast<unsigned long>(GetGuiResources(Process, GR_GDIOBJECTS)));
  std::printf("user_objects=%lu\n",
              static_cast<unsigned long>(GetGuiResources(Process, GR_USEROBJECTS)));
  std::printf("gui_resources_error=%lu\n", static_cast<unsigned long>(GetLastError()));
  std::printf("gdi_table=%ld\n", CountGdiTable(Process));
  std::printf("user_handles_session=%ld\n", CountSessionUserHandles());
  const auto HandleCount =
      LibraryFunction<BOOL(WINAPI *)(HANDLE, DWORD *)>("kernel32.dll", "GetProcessHandleCount");
  DWORD Handles = 0;
  std::printf("handles=%ld\n",
              HandleCount && HandleCount(Process, &Handles) ? static_cast<long>(Handles) : -1L);
  std::printf("handles_listed=%ld\n", CountListedHandles(ProcessId));
  struct TCounters {
    DWORD cb, PageFaultCount;
    SIZE_T PeakWorkingSetSize, WorkingSetSize, QuotaPeakPagedPoolUsage, QuotaPagedPoolUsage,
        QuotaPeakNonPagedPoolUsage, QuotaNonPagedPoolUsage, PagefileUsage, PeakPagefileUsage,
        PrivateUsage;
  } Counters = {};
  Counters.cb = sizeof Counters;
  const auto MemoryInfo = LibraryFunction<BOOL(WINAPI *)(HANDLE, TCounters *, DWORD)>(
      "kernel32.dll", "K32GetProcessMemoryInfo");
  if (MemoryInfo && MemoryInfo(Process, &Counters, sizeof Counters))
    std::printf("private_usage=%lu\npagefile_usage=%lu\nworking_set=%lu\n",
                static_cast<unsigned long>(Counters.PrivateUsage),
                static_cast<unsigned long>(Counters.PagefileUsage),
                static_cast<unsigned long>(Counters.WorkingSetSize));
  std::printf("private_committed=%lu\n", PrivateCommitted(Process));
  std::printf("windows=%ld\n", CountWindows(ProcessId));
  CloseHandle(Process);
  return 0;
}

// ---- Monitors and the program's manifest ----

BOOL CALLBACK PrintMonitor(HMONITOR Monitor, HDC, LPRECT, LPARAM) {
  MONITORINFO Info = {};
  Info.cbSize = sizeof Info;
  GetMonitorInfoA(Monitor, &Info);
  std::printf("[monitor]\nleft=%ld\ntop=%ld\nright=%ld\nbottom=%ld\nprimary=%d\n",
              Info.rcMonitor.left, Info.rcMonitor.top, Info.rcMonitor.right, Info.rcMonitor.bottom,
              (Info.dwFlags & MONITORINFOF_PRIMARY) ? 1 : 0);
  return TRUE;
}

int ListMonitors() {
  EnumDisplayMonitors(nullptr, nullptr, PrintMonitor, 0);
  return 0;
}

// The manifest resource (id 1) of a program, as Windows reads it when it starts.
int PrintManifest(const char *Path) {
  const HMODULE Program = LoadLibraryExA(Path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  const HRSRC Found =
      Program ? FindResourceA(Program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;
  if (!Found)
    return 1;
  std::fwrite(LockResource(LoadResource(Program, Found)), 1, SizeofResource(Program, Found),
              stdout);
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: probe windows\n"
                       "       probe find CLASS|- [TITLE|-]\n"
                       "       probe children CLASS\n"
                       "       probe dialog-texts TITLE\n"
                       "       probe boxes\n"
                       "       probe press [BOX|-] [BUTTON_ID]\n"
                       "       probe send|post CLASS MESSAGE|NAME [WPARAM [LPARAM]]\n"
                       "       probe foreground\n"
                       "       probe redraw-tray\n"
                       "       probe mixer\n"
                       "       probe watch CLASS\n"
                       "       probe desktop\n"
                       "       probe flood CLASS COUNT SEED\n"
                       "       probe flood-hook CLASS COUNT SEED\n"
                       "       probe hotkeys CLASS COUNT ATOM...\n"
                       "       probe menus CLASS COUNT MESSAGE WPARAM LPARAM\n"
                       "       probe resources CLASS\n"
                       "       probe tray-hold\n"
                       "       probe drain CLASS\n"
                       "       probe forge-hook CLASS TARGET... (heap|misaligned|straddling|\n"
                       "             unmapped|stack|ADDRESS)\n"
                       "       probe replay-hook CLASS X Y\n"
                       "       probe send-wheel X Y DELTA...\n"
                       "       probe suspend CLASS MS\n"
                       "       probe hold-wheel MS\n"
                       "       probe hold-hotkey MODIFIERS KEY\n"
                       "       probe tray-delete CLASS [ID]\n"
                       "       probe menu-texts TEXT...\n"
                       "       probe monitors\n"
                       "       probe manifest PROGRAM\n"
                       "       probe endpoints\n"
                       "       probe endpoint-change DEVICE VOLUME MUTE\n"
                       "       probe endpoint-default DEVICE\n"
                       "       probe endpoint-cycle COUNT\n"
                       "       probe endpoint-service HRESULT\n"
                       "       probe endpoint-fail COUNT HRESULT\n");
  return 2;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2)
    return Usage();
  const std::string Command = argv[1];
  const auto Argument = [&](int Index, const char *Default) {
    return Index < argc ? argv[Index] : Default;
  };
  if (Command == "windows")
    return ListWindows();
  if (Command == "find" && argc >= 3)
    return FindTopLevel(argv[2], Argument(3, "-"));
  if (Command == "children" && argc >= 3)
    return ListChildren(argv[2]);
  if (Command == "dialog-texts" && argc >= 3)
    return MeasureDialogTexts(argv[2]);
  if (Command == "boxes")
    return ListBoxes();
  if (Command == "press") {
    const char *Box = Argument(2, "-");
    return PressButton(std::strcmp(Box, "-") == 0 ? FirstBox() : ParseWindow(Box),
                       static_cast<int>(ParseNumber(Argument(3, "1"))));
  }
  if ((Command == "send" || Command == "post") && argc >= 4)
    return SendToWindow(Command == "post", argv[2], MessageNumber(argv[3]),
                        static_cast<WPARAM>(ParseNumber(Argument(4, "0"))),
                        static_cast<LPARAM>(ParseNumber(Argument(5, "0"))));
  if (Command == "foreground")
    return PrintForeground();
  if (Command == "redraw-tray")
    return RedrawTray();
  if (Command == "mixer")
    return PrintMixer();
  if (Command == "endpoints")
    return PrintFakeEndpoints();
  if (Command == "endpoint-change" && argc >= 5)
    return DriveFakeEndpoints({FakeCommandChange, std::atol(argv[2]),
                               static_cast<float>(std::atol(argv[3]) / 65535.0), std::atoi(argv[4]),
                               0, S_OK});
  if (Command == "endpoint-cycle" && argc >= 3)
    return CycleFakeDefault(std::atol(argv[2]));
  if (Command == "endpoint-default" && argc >= 3)
    return DriveFakeEndpoints({FakeCommandDefault, std::atol(argv[2]), 0.0f, FALSE, 0, S_OK});
  if (Command == "endpoint-service" && argc >= 3)
    return DriveFakeEndpoints(
        {FakeCommandService, 0, 0.0f, FALSE, 0, static_cast<HRESULT>(ParseNumber(argv[2]))});
  if (Command == "endpoint-fail" && argc >= 4)
    return DriveFakeEndpoints({FakeCommandFail, 0, 0.0f, FALSE, std::atol(argv[2]),
                               static_cast<HRESULT>(ParseNumber(argv[3]))});
  if (Command == "watch" && argc >= 3)
    return Watch(argv[2]);
  if (Command == "desktop")
    return RunDesktop();
  if (Command == "forge-hook" && argc >= 4)
    return ForgeHookMessages(argv[2], std::vector<std::string>(argv + 3, argv + argc));
  if (Command == "send-wheel" && argc >= 5) {
    std::vector<LONG> Deltas;
    for (int Index = 4; Index < argc; ++Index)
      Deltas.push_back(std::strtol(argv[Index], nullptr, 0));
    return SendWheel(std::strtol(argv[2], nullptr, 0), std::strtol(argv[3], nullptr, 0), Deltas);
  }
  if (Command == "hold-wheel" && argc >= 3)
    return HoldWheel(static_cast<DWORD>(ParseNumber(argv[2])));
  if (Command == "suspend" && argc >= 4)
    return SuspendOwner(argv[2], static_cast<DWORD>(ParseNumber(argv[3])));
  if (Command == "replay-hook" && argc >= 5)
    return ReplayHookRecord(argv[2], static_cast<LONG>(std::strtol(argv[3], nullptr, 0)),
                            static_cast<LONG>(std::strtol(argv[4], nullptr, 0)));
  if (Command == "hold-hotkey" && argc >= 4)
    return HoldHotKey(static_cast<UINT>(ParseNumber(argv[2])),
                      static_cast<UINT>(ParseNumber(argv[3])));
  if (Command == "tray-delete" && argc >= 3)
    return DeleteTrayIcon(argv[2], static_cast<UINT>(ParseNumber(Argument(3, "0"))));
  if (Command == "menu-texts" && argc >= 3)
    return FindMenuTexts(std::vector<std::string>(argv + 2, argv + argc));
  if ((Command == "flood" || Command == "flood-hook") && argc >= 5)
    return Flood(argv[2], static_cast<DWORD>(ParseNumber(argv[3])),
                 static_cast<DWORD>(ParseNumber(argv[4])), Command == "flood-hook");
  if (Command == "hotkeys" && argc >= 5)
    return SendHotKeys(argv[2], static_cast<DWORD>(ParseNumber(argv[3])),
                       std::vector<std::string>(argv + 4, argv + argc));
  if (Command == "menus" && argc >= 7)
    return OpenMenus(
        argv[2], static_cast<DWORD>(ParseNumber(argv[3])), static_cast<UINT>(ParseNumber(argv[4])),
        static_cast<WPARAM>(ParseNumber(argv[5])), static_cast<LPARAM>(ParseNumber(argv[6])));
  if (Command == "resources" && argc >= 3)
    return PrintResources(argv[2]);
  if (Command == "tray-hold")
    return HoldTrayIcon();
  if (Command == "drain" && argc >= 3)
    return Drain(argv[2]);
  if (Command == "monitors")
    return ListMonitors();
  if (Command == "manifest" && argc >= 3)
    return PrintManifest(argv[2]);
  return Usage();
}
