// probe.exe: reads and pokes windows of the program under test from outside, under
// the same wineserver, and doubles as the stand-in desktop that keeps a Wine window
// focused so that Wine sees the global hotkeys.
//
// Every answer is a list of key=value lines; a record of a list starts with a line
// "[name]". The exit code is 0 when the command did what was asked, 1 when the
// window or box it needs is missing, 2 for a usage error.
#include <windows.h>
#include <mmsystem.h>

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

std::string TextOf(HWND Window) {
  char Text[1024] = {};
  // WM_GETTEXT answers for windows of other processes too; GetWindowTextA would not
  // ask a control of another process for its text.
  SendMessageTimeoutA(Window, WM_GETTEXT, sizeof Text, reinterpret_cast<LPARAM>(Text),
                      SMTO_ABORTIFHUNG, MessageTimeout, nullptr);
  // Line breaks would cut a key=value line in two.
  for (char &C : Text)
    if (C == '\r' || C == '\n')
      C = '|';
  return Text;
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
std::string RecogniseIcon(HWND IconStatic, int &Mismatch) {
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

LRESULT CALLBACK DesktopProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(Window, Message, WParam, LParam);
}

// A plain full-screen window, neither topmost nor special: the window a user would
// be working in while the program runs.
int RunDesktop() {
  WNDCLASSA Class = {};
  Class.lpfnWndProc = DesktopProc;
  Class.hInstance = GetModuleHandleA(nullptr);
  Class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  Class.hbrBackground = CreateSolidBrush(DesktopColour);
  Class.lpszClassName = DesktopClassName;
  RegisterClassA(&Class);
  const HWND Window = CreateWindowExA(
      0, DesktopClassName, DesktopTitle, WS_POPUP | WS_VISIBLE, 0, 0, GetSystemMetrics(SM_CXSCREEN),
      GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
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

int Usage() {
  std::fprintf(stderr, "usage: probe windows\n"
                       "       probe find CLASS|- [TITLE|-]\n"
                       "       probe children CLASS\n"
                       "       probe boxes\n"
                       "       probe press [BOX|-] [BUTTON_ID]\n"
                       "       probe send|post CLASS MESSAGE [WPARAM [LPARAM]]\n"
                       "       probe foreground\n"
                       "       probe redraw-tray\n"
                       "       probe mixer\n"
                       "       probe watch CLASS\n"
                       "       probe desktop\n");
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
  if (Command == "boxes")
    return ListBoxes();
  if (Command == "press") {
    const char *Box = Argument(2, "-");
    return PressButton(std::strcmp(Box, "-") == 0 ? FirstBox() : ParseWindow(Box),
                       static_cast<int>(ParseNumber(Argument(3, "1"))));
  }
  if ((Command == "send" || Command == "post") && argc >= 4)
    return SendToWindow(Command == "post", argv[2], static_cast<UINT>(ParseNumber(argv[3])),
                        static_cast<WPARAM>(ParseNumber(Argument(4, "0"))),
                        static_cast<LPARAM>(ParseNumber(Argument(5, "0"))));
  if (Command == "foreground")
    return PrintForeground();
  if (Command == "redraw-tray")
    return RedrawTray();
  if (Command == "mixer")
    return PrintMixer();
  if (Command == "watch" && argc >= 3)
    return Watch(argv[2]);
  if (Command == "desktop")
    return RunDesktop();
  return Usage();
}
