// Measures sonalto.exe from outside, side by side with bench_minimal.exe: the wall
// time from process creation until its tray icon exists, its private memory once
// started, and the CPU time it uses and how often it wakes while idle. The programs
// lie beside this one.
//
//   bench_launch [starts] [idle seconds]
//   bench_launch warm-up      brings up Wine's desktop and tray, then waits a little
#include "bench.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>

namespace {

// Without a tray manager on the X display, Wine's explorer shows its own tray
// window, and each icon in it is a child window created while NIM_ADD is handled.
constexpr char TrayClassName[] = "__winex11_standalone_tray";
constexpr DWORD StartTimeout = 30000;  // ms
constexpr DWORD SettleTime = 1000;     // ms after the icon, before memory is read
constexpr DWORD IdleSettleTime = 3000; // ms after the icons, before the idle time starts
constexpr DWORD WarmUpTime = 3000;     // ms for Wine's own background processes to settle
constexpr int WarmUpStarts = 2;
constexpr DWORD NotchSettleTime = 100; // ms after input, for what it set off to be over

struct TSubject {
  const char *Key;
  const char *ExeName;
  const char *ClassName;
  std::string Path;
};

TSubject Program = {"program", "sonalto.exe", "Tsonalto", {}};
TSubject Minimal = {"baseline", "bench_minimal.exe", "SonaltoBenchMinimal", {}};
TSubject MinimalRead = {"baseline_read", "bench_minimal_read.exe", "SonaltoBenchMinimalRead", {}};
TSubject MinimalHook = {"baseline_hook", "bench_minimal_hook.exe", "SonaltoBenchMinimalHook", {}};

std::string FolderOfThisProgram() {
  char Path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, Path, sizeof Path);
  std::string Folder = Path;
  return Folder.substr(0, Folder.find_last_of('\\') + 1);
}

int TrayIconCount() {
  const HWND Tray = FindWindowA(TrayClassName, nullptr);
  int Count = 0;
  for (HWND Icon = Tray ? FindWindowExA(Tray, nullptr, nullptr, nullptr) : nullptr; Icon;
       Icon = FindWindowExA(Tray, Icon, nullptr, nullptr))
    ++Count;
  return Count;
}

bool WaitForIconCount(int Count, DWORD Timeout) {
  const DWORD Start = GetTickCount();
  while (TrayIconCount() != Count) {
    if (GetTickCount() - Start > Timeout)
      return false;
    Sleep(1);
  }
  return true;
}

struct TStarted {
  PROCESS_INFORMATION Process;
  double StartupMs;
};

// The clock starts before the process exists and stops at the first poll that
// sees one more icon in the tray.
bool Start(const TSubject &Subject, TStarted &Started) {
  const int IconsBefore = TrayIconCount();
  STARTUPINFOA StartInfo = {};
  StartInfo.cb = sizeof StartInfo;
  std::string CommandLine = "\"" + Subject.Path + "\"";
  Started = {};
  const LONGLONG Begin = PerformanceCount();
  if (!CreateProcessA(Subject.Path.c_str(), &CommandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &StartInfo, &Started.Process)) {
    std::fprintf(stderr, "cannot start %s\n", Subject.Path.c_str());
    return false;
  }
  const DWORD Start = GetTickCount();
  while (TrayIconCount() <= IconsBefore) {
    if (GetTickCount() - Start > StartTimeout ||
        WaitForSingleObject(Started.Process.hProcess, 0) == WAIT_OBJECT_0) {
      std::fprintf(stderr, "%s showed no tray icon\n", Subject.ExeName);
      return false;
    }
    Sleep(1);
  }
  Started.StartupMs = MicrosecondsBetween(Begin, PerformanceCount()) / 1000;
  return true;
}

// Closed as a user's system would close it: WM_CLOSE to its window.
void Stop(const TSubject &Subject, TStarted &Started) {
  const int IconsBefore = TrayIconCount();
  const HWND Window = FindWindowA(Subject.ClassName, nullptr);
  if (Window != nullptr)
    PostMessageA(Window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(Started.Process.hProcess, StartTimeout) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "%s did not end; ending it\n", Subject.ExeName);
    TerminateProcess(Started.Process.hProcess, 1);
    WaitForSingleObject(Started.Process.hProcess, StartTimeout);
  }
  CloseHandle(Started.Process.hProcess);
  CloseHandle(Started.Process.hThread);
  WaitForIconCount(IconsBefore > 0 ? IconsBefore - 1 : 0, StartTimeout);
}

// Wine leaves PrivateUsage at 0 for another process; its PagefileUsage is the
// process's private resident memory (the Unix RssAnon plus swap), the nearest Wine
// has to private bytes.
double PrivateBytes(HANDLE Process, const char **Source) {
  PROCESS_MEMORY_COUNTERS_EX Counters = {};
  Counters.cb = sizeof Counters;
  if (!GetProcessMemoryInfo(Process, reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&Counters),
                            sizeof Counters))
    return 0;
  if (Counters.PrivateUsage != 0) {
    *Source = "PrivateUsage";
    return static_cast<double>(Counters.PrivateUsage);
  }
  *Source = "PagefileUsage";
  return static_cast<double>(Counters.PagefileUsage);
}

// Against the minimal program with a hook thread of its own, as the program has: the
// program starts its hook after its tray icon, so the start-up is still the bare
// platform work, and under Wine every thread costs about 1 MB of private memory.
void MeasureStartups(int Starts) {
  std::vector<double> Times[2], Memory[2];
  const char *MemorySource = "none";
  TSubject *Subjects[2] = {&Program, &MinimalHook};
  for (int Round = 0; Round < WarmUpStarts + Starts; ++Round) {
    for (int Turn = 0; Turn < 2; ++Turn) {
      // Taken in turn, the first of each round swapped, so load drift hits both.
      const int Index = (Round + Turn) % 2;
      TStarted Started;
      if (!Start(*Subjects[Index], Started))
        std::exit(1);
      Sleep(SettleTime);
      const double Bytes = PrivateBytes(Started.Process.hProcess, &MemorySource);
      Stop(*Subjects[Index], Started);
      if (Round < WarmUpStarts)
        continue;
      Times[Index].push_back(Started.StartupMs);
      Memory[Index].push_back(Bytes / 1024);
    }
  }
  ReportRow("startup.program", Summarise(Times[0]), "ms");
  ReportRow("startup.baseline", Summarise(Times[1]), "ms");
  ReportRow("private.program", Summarise(Memory[0]), "KiB");
  ReportRow("private.baseline", Summarise(Memory[1]), "KiB");
  ReportInfo("private.source", MemorySource);
  ReportInfo("startup.starts", Starts);
}

// ---- CPU time and wakeups of an idle process ----

std::string Normalised(std::string Path) {
  for (char &Character : Path)
    Character = Character == '\\' ? '/' : static_cast<char>(std::tolower(Character));
  if (Path.size() > 2 && Path[1] == ':')
    Path.erase(0, 2);
  return Path;
}

std::string ReadWholeFile(const std::string &Path) {
  const HANDLE File = CreateFileA(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    return {};
  std::string Text;
  char Buffer[4096];
  DWORD Read = 0;
  while (ReadFile(File, Buffer, sizeof Buffer, &Read, nullptr) && Read > 0)
    Text.append(Buffer, Read);
  CloseHandle(File);
  return Text;
}

template <typename TVisit> void ForEachNumberedEntry(const std::string &Folder, TVisit Visit) {
  WIN32_FIND_DATAA Entry = {};
  const HANDLE Search = FindFirstFileA((Folder + "\\*").c_str(), &Entry);
  if (Search == INVALID_HANDLE_VALUE)
    return;
  do {
    if (std::isdigit(static_cast<unsigned char>(Entry.cFileName[0])))
      Visit(std::string(Entry.cFileName));
  } while (FindNextFileA(Search, &Entry));
  FindClose(Search);
}

// Wine runs each Windows process as one Unix process, whose command line starts
// with the program's path (Unix or Windows form). The Unix side, seen through
// Wine's drive Z:, gives nanosecond CPU times and context switches; Wine's
// GetProcessTimes does not report another process's times and GetThreadTimes counts
// in 10 ms ticks.
std::string UnixProcessOf(const TSubject &Subject) {
  const std::string Wanted = Normalised(Subject.Path);
  std::string Found;
  ForEachNumberedEntry("Z:\\proc", [&](const std::string &Id) {
    std::string CommandLine = ReadWholeFile("Z:\\proc\\" + Id + "\\cmdline");
    CommandLine = CommandLine.substr(0, CommandLine.find('\0'));
    if (!CommandLine.empty() && CommandLine.front() == '"')
      CommandLine = CommandLine.substr(1, CommandLine.find('"', 1) - 1);
    if (Normalised(CommandLine) == Wanted)
      Found = Id;
  });
  return Found;
}

// One thread of the Unix process: nanoseconds on the CPU, and context switches,
// voluntary (it went back to sleep once woken) and not (it was preempted).
struct TTaskReading {
  double CpuNs, Switches;
};

// By thread id.
using TTaskReadings = std::map<std::string, TTaskReading>;

double StatusField(const std::string &Status, const char *Name) {
  const size_t At = Status.find("\n" + std::string(Name) + ":");
  return At == std::string::npos
             ? 0
             : std::strtod(Status.c_str() + At + std::strlen(Name) + 2, nullptr);
}

TTaskReadings ReadUnixTasks(const std::string &UnixProcess) {
  TTaskReadings Tasks;
  if (UnixProcess.empty())
    return Tasks;
  const std::string Folder = "Z:\\proc\\" + UnixProcess + "\\task";
  ForEachNumberedEntry(Folder, [&](const std::string &Task) {
    const std::string Status = ReadWholeFile(Folder + "\\" + Task + "\\status");
    // Ended between the listing and the read.
    if (Status.empty())
      return;
    Tasks[Task] = {
        std::strtod(ReadWholeFile(Folder + "\\" + Task + "\\schedstat").c_str(), nullptr),
        StatusField(Status, "voluntary_ctxt_switches") +
            StatusField(Status, "nonvoluntary_ctxt_switches")};
  });
  return Tasks;
}

// A thread started between the readings counts whole. One that ended took its
// figures since the first reading with it: Linux adds a dead thread's figures to
// its process, but shows that sum to the process alone (getrusage), so only the
// number of such threads can be told.
struct TTaskChange {
  TTaskReading Sum;
  int Started, Ended;
};

TTaskChange ChangeBetween(const TTaskReadings &Before, const TTaskReadings &After) {
  TTaskChange Change = {};
  for (const auto &Task : After) {
    const auto Earlier = Before.find(Task.first);
    const TTaskReading From = Earlier == Before.end() ? TTaskReading{} : Earlier->second;
    Change.Sum.CpuNs += Task.second.CpuNs - From.CpuNs;
    Change.Sum.Switches += Task.second.Switches - From.Switches;
    Change.Started += Earlier == Before.end();
  }
  for (const auto &Task : Before)
    Change.Ended += After.count(Task.first) == 0;
  return Change;
}

double FileTimeMs(const FILETIME &Time) {
  return static_cast<double>((static_cast<ULONGLONG>(Time.dwHighDateTime) << 32) |
                             Time.dwLowDateTime) /
         1e4;
}

double ThreadTimesMs(DWORD ProcessId) {
  double Total = 0;
  const HANDLE Snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 Entry = {};
  Entry.dwSize = sizeof Entry;
  for (BOOL More = Thread32First(Snapshot, &Entry); More; More = Thread32Next(Snapshot, &Entry)) {
    if (Entry.th32OwnerProcessID != ProcessId)
      continue;
    const HANDLE Thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, Entry.th32ThreadID);
    FILETIME Creation, Exit, Kernel, User;
    if (Thread && GetThreadTimes(Thread, &Creation, &Exit, &Kernel, &User))
      Total += FileTimeMs(Kernel) + FileTimeMs(User);
    if (Thread)
      CloseHandle(Thread);
  }
  CloseHandle(Snapshot);
  return Total;
}

double ProcessTimesMs(HANDLE Process) {
  FILETIME Creation, Exit, Kernel, User;
  if (!GetProcessTimes(Process, &Creation, &Exit, &Kernel, &User))
    return 0;
  return FileTimeMs(Kernel) + FileTimeMs(User);
}

struct TCpuReading {
  TTaskReadings Tasks;
  double ThreadMs, ProcessMs;
};

TCpuReading ReadCpu(const std::string &UnixProcess, const TStarted &Started) {
  return {ReadUnixTasks(UnixProcess), ThreadTimesMs(Started.Process.dwProcessId),
          ProcessTimesMs(Started.Process.hProcess)};
}

// All idle at the same time, the display hidden, nobody touching them. The rest
// row holds the program against the bare minimal program; the other two account
// for the memory of the threads it lacks.
void MeasureIdle(int Seconds) {
  constexpr int Count = 4;
  TSubject *Subjects[Count] = {&Program, &Minimal, &MinimalRead, &MinimalHook};
  TStarted Started[Count];
  std::string UnixProcess[Count];
  TCpuReading Before[Count], After[Count];
  for (int Index = 0; Index < Count; ++Index)
    if (!Start(*Subjects[Index], Started[Index]))
      std::exit(1);
  Sleep(IdleSettleTime);
  for (int Index = 0; Index < Count; ++Index) {
    char Key[64];
    const char *Source = "none";
    const double Bytes = PrivateBytes(Started[Index].Process.hProcess, &Source);
    std::snprintf(Key, sizeof Key, "idle_private_kib.%s", Subjects[Index]->Key);
    ReportInfo(Key, Bytes / 1024);
    UnixProcess[Index] = UnixProcessOf(*Subjects[Index]);
    Before[Index] = ReadCpu(UnixProcess[Index], Started[Index]);
  }
  const LONGLONG Begin = PerformanceCount();
  Sleep(static_cast<DWORD>(Seconds) * 1000);
  const double Elapsed = MicrosecondsBetween(Begin, PerformanceCount()) / 1e6;
  for (int Index = 0; Index < Count; ++Index)
    After[Index] = ReadCpu(UnixProcess[Index], Started[Index]);
  for (int Index = 0; Index < Count; ++Index) {
    char Buffer[64];
    const auto Key = [&](const char *Format) {
      std::snprintf(Buffer, sizeof Buffer, Format, Subjects[Index]->Key);
      return Buffer;
    };
    const TTaskChange Change = ChangeBetween(Before[Index].Tasks, After[Index].Tasks);
    const double UnixMs = Change.Sum.CpuNs / 1e6;
    ReportRow(Key("idle_cpu.%s"), {UnixMs, UnixMs}, "ms");
    ReportRow(Key("idle_wakeups.%s"), {Change.Sum.Switches, Change.Sum.Switches}, "switches");
    ReportInfo(Key("idle_wakeups.%s.threads_started"), Change.Started);
    ReportInfo(Key("idle_wakeups.%s.threads_ended"), Change.Ended);
    ReportInfo(Key("idle_cpu.%s.thread_times_ms"), After[Index].ThreadMs - Before[Index].ThreadMs);
    ReportInfo(Key("idle_cpu.%s.process_times_ms"),
               After[Index].ProcessMs - Before[Index].ProcessMs);
    ReportInfo(Key("idle_cpu.%s.unix_pid"),
               UnixProcess[Index].empty() ? "not-found" : UnixProcess[Index].c_str());
    ReportInfo(Key("idle_cpu.%s.unix_threads"), static_cast<double>(After[Index].Tasks.size()));
  }
  ReportInfo("idle_cpu.seconds", Elapsed);
  ReportInfo("idle_cpu.display_visible",
             IsWindowVisible(FindWindowA(Program.ClassName, nullptr)) ? "yes" : "no");
  for (int Index = Count - 1; Index >= 0; --Index)
    Stop(*Subjects[Index], Started[Index]);
}

// ---- Wakeups per mouse move ----

constexpr int MovesPerBatch = 1000;
constexpr int MoveBatches = 7;
constexpr POINT AwayFromBorders = {400, 300};

// Context switches of all of a process's threads between two readings.
double SwitchesBetween(const TTaskReadings &Before, const TTaskReadings &After) {
  return ChangeBetween(Before, After).Sum.Switches;
}

// The program and the minimal program with its pass-on hook run side by side, so that
// each batch of injected moves meets both hooks and load drift hits both alike.
// Every move runs each hook once: what a program wakes for beyond its hook's call
// (a watcher of the raw input, its window) shows as switches of its own.
void MeasureMoveWakeups() {
  TSubject *Subjects[2] = {&Program, &MinimalHook};
  TStarted Started[2];
  std::string UnixProcess[2];
  for (int Index = 0; Index < 2; ++Index) {
    if (!Start(*Subjects[Index], Started[Index]))
      std::exit(1);
  }
  Sleep(IdleSettleTime);
  for (int Index = 0; Index < 2; ++Index)
    UnixProcess[Index] = UnixProcessOf(*Subjects[Index]);
  SetCursorPos(AwayFromBorders.x, AwayFromBorders.y);
  std::vector<double> Switches[2];
  for (int Batch = 0; Batch < MoveBatches; ++Batch) {
    TTaskReadings Before[2];
    for (int Index = 0; Index < 2; ++Index)
      Before[Index] = ReadUnixTasks(UnixProcess[Index]);
    for (int Move = 0; Move < MovesPerBatch; ++Move)
      InjectMouse(MOUSEEVENTF_MOVE, Move % 2 == 0 ? 1 : -1, 0);
    // The last moves' messages handled, wherever they went.
    Sleep(NotchSettleTime);
    for (int Index = 0; Index < 2; ++Index)
      Switches[Index].push_back(SwitchesBetween(Before[Index], ReadUnixTasks(UnixProcess[Index])));
  }
  ReportRow("move_wakeups.program", Summarise(Switches[0]), "switches");
  ReportRow("move_wakeups.baseline", Summarise(Switches[1]), "switches");
  ReportInfo("move_wakeups.moves", MovesPerBatch);
  for (int Index = 1; Index >= 0; --Index)
    Stop(*Subjects[Index], Started[Index]);
}

// ---- A notch at the border to the display's changed pixels ----

constexpr POINT AtLeftBorder = {0, 300};
constexpr int NotchSamples = 60;
constexpr DWORD PixelTimeout = 1000; // ms
constexpr int ShowTries = 50;

void InjectNotch(bool Forward) {
  InjectMouse(MOUSEEVENTF_WHEEL, 0, static_cast<DWORD>(Forward ? WHEEL_DELTA : -WHEEL_DELTA));
}

// The display's area of the screen, copied into a bitmap of the bench's own.
struct TScreenCopy {
  RECT Area;
  HDC Screen, Copy;
  const BYTE *Bits;
  size_t Size;
  void Take() const {
    BitBlt(Copy, 0, 0, Area.right - Area.left, Area.bottom - Area.top, Screen, Area.left, Area.top,
           SRCCOPY);
    GdiFlush();
  }
};

TScreenCopy CopyOfScreen(const RECT &Area) {
  BITMAPINFO Info = {};
  Info.bmiHeader.biSize = sizeof Info.bmiHeader;
  Info.bmiHeader.biWidth = Area.right - Area.left;
  Info.bmiHeader.biHeight = Area.bottom - Area.top;
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  void *Bits = nullptr;
  TScreenCopy Copy = {Area, GetDC(nullptr), CreateCompatibleDC(nullptr), nullptr, 0};
  SelectObject(Copy.Copy, CreateDIBSection(Copy.Screen, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0));
  Copy.Bits = static_cast<const BYTE *>(Bits);
  Copy.Size = static_cast<size_t>(4 * Info.bmiHeader.biWidth * Info.bmiHeader.biHeight);
  return Copy;
}

// From the notch's SendInput to the first copy of the screen that differs from the
// one taken before it; forward and back in turn, so that the fader never stops at
// an end.
void MeasureNotchToPixels() {
  TStarted Started;
  if (!Start(Program, Started))
    return;
  SetCursorPos(AtLeftBorder.x, AtLeftBorder.y);
  // The tray icon can come before the hook: notches until the display shows.
  const HWND Display = FindWindowA(Program.ClassName, nullptr);
  for (int Try = 0; Try < ShowTries && !IsWindowVisible(Display); ++Try) {
    InjectNotch(false);
    Sleep(NotchSettleTime);
  }
  RECT Area = {};
  GetWindowRect(Display, &Area);
  ReportInfo("notch_pixels.display_visible", IsWindowVisible(Display) ? "yes" : "no");
  const TScreenCopy Copy = CopyOfScreen(Area);
  std::vector<double> Times;
  for (int Sample = 0; Sample < NotchSamples; ++Sample) {
    Copy.Take();
    const std::vector<BYTE> Before(Copy.Bits, Copy.Bits + Copy.Size);
    const LONGLONG Begin = PerformanceCount();
    InjectNotch(Sample % 2 == 0);
    bool Changed = false;
    while (!Changed && MicrosecondsBetween(Begin, PerformanceCount()) < PixelTimeout * 1000.0) {
      Copy.Take();
      Changed = !std::equal(Before.begin(), Before.end(), Copy.Bits);
    }
    if (Changed)
      Times.push_back(MicrosecondsBetween(Begin, PerformanceCount()));
    Sleep(NotchSettleTime);
  }
  ReportRow("notch_pixels.program", Summarise(Times), "us");
  ReportInfo("notch_pixels.samples", static_cast<double>(Times.size()));
  ReportInfo("notch_pixels.missed",
             static_cast<double>(NotchSamples) - static_cast<double>(Times.size()));
  Stop(Program, Started);
}

} // namespace

int main(int Count, char **Arguments) {
  if (Count > 1 && std::string(Arguments[1]) == "warm-up") {
    // The first use of the desktop window starts Wine's explorer, with the tray.
    GetDesktopWindow();
    TrayIconCount();
    Sleep(WarmUpTime);
    return 0;
  }
  const int Starts = Count > 1 ? std::atoi(Arguments[1]) : 15;
  const int IdleSeconds = Count > 2 ? std::atoi(Arguments[2]) : 30;
  for (TSubject *Subject : {&Program, &Minimal, &MinimalRead, &MinimalHook})
    Subject->Path = FolderOfThisProgram() + Subject->ExeName;
  if (TrayIconCount() != 0 || FindWindowA(Program.ClassName, nullptr) != nullptr) {
    std::fprintf(stderr, "the tray must be empty and no sonalto.exe running\n");
    return 1;
  }
  if (Starts > 0)
    MeasureStartups(Starts);
  if (IdleSeconds > 0)
    MeasureIdle(IdleSeconds);
  MeasureMoveWakeups();
  MeasureNotchToPixels();
  return 0;
}
