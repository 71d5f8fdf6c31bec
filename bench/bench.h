// Shared by the benchmark programs: QueryPerformanceCounter timing, repeated
// samples summarised as minimum and median, and one output line per result that
// bench/report.py turns into the results table.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

struct TSummary {
  double Min;
  double Median;
};

inline LONGLONG PerformanceCount() {
  LARGE_INTEGER Count = {};
  QueryPerformanceCounter(&Count);
  return Count.QuadPart;
}

inline double MicrosecondsBetween(LONGLONG Start, LONGLONG End) {
  static const double TicksPerMicrosecond = [] {
    LARGE_INTEGER Frequency = {};
    QueryPerformanceFrequency(&Frequency);
    return static_cast<double>(Frequency.QuadPart) / 1e6;
  }();
  return static_cast<double>(End - Start) / TicksPerMicrosecond;
}

inline TSummary Summarise(std::vector<double> Samples) {
  if (Samples.empty())
    return {0, 0};
  std::sort(Samples.begin(), Samples.end());
  const size_t Middle = Samples.size() / 2;
  const double Median =
      Samples.size() % 2 != 0 ? Samples[Middle] : (Samples[Middle - 1] + Samples[Middle]) / 2;
  return {Samples.front(), Median};
}

// Microseconds per run of Body, over one batch of Count runs: a single run of a
// tiny operation is shorter than the counter can resolve.
template <typename TBody> double TimePerRun(int Count, TBody Body) {
  const LONGLONG Start = PerformanceCount();
  for (int Run = 0; Run < Count; ++Run)
    Body(Run);
  return MicrosecondsBetween(Start, PerformanceCount()) / Count;
}

// "row KEY MIN MEDIAN UNIT": one measured quantity, summarised.
inline void ReportRow(const char *Key, TSummary Summary, const char *Unit) {
  std::printf("row %s %.3f %.3f %s\n", Key, Summary.Min, Summary.Median, Unit);
  std::fflush(stdout);
}

// "info KEY VALUE": a fact about the run that the notes quote.
inline void ReportInfo(const char *Key, const char *Value) {
  std::printf("info %s %s\n", Key, Value);
  std::fflush(stdout);
}

inline void ReportInfo(const char *Key, double Value) {
  std::printf("info %s %.3f\n", Key, Value);
  std::fflush(stdout);
}

// One mouse event through the system's input, as a device would send it: under Wine
// SendInput returns once the low-level hooks have taken it.
inline void InjectMouse(DWORD Flags, LONG Dx, DWORD WheelDelta) {
  INPUT Input = {};
  Input.type = INPUT_MOUSE;
  Input.mi.dx = Dx;
  Input.mi.mouseData = WheelDelta;
  Input.mi.dwFlags = Flags;
  SendInput(1, &Input, sizeof Input);
}

// Dispatches whatever is queued, as the program's own loop would between events:
// the mixer's change notifications, the tip refresh, the timer.
inline void DispatchPending() {
  MSG Message = {};
  while (PeekMessageA(&Message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&Message);
    DispatchMessageA(&Message);
  }
}
