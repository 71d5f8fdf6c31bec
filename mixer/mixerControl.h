// One control (volume fader or mute switch) on a line of the first mixer device.
// Failures are results: an object that could not bind (winmm missing from the system
// folder too), or whose read or write once failed, stays inert for good and makes no
// further mixer call.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include "audioControl.h"

class TnsMixerControl : public TAudioControl {
public:
  // Binds ControlType on the destination line of LineComponentType, or on its
  // source line of SourceComponentType when that is not 0. Mixer change
  // notifications for the opened device go to CallbackWindow.
  TnsMixerControl(HWND CallbackWindow, DWORD LineComponentType, DWORD SourceComponentType,
                  DWORD ControlType);
  ~TnsMixerControl() override; // Destroy

  TnsMixerControl(const TnsMixerControl &) = delete;
  TnsMixerControl &operator=(const TnsMixerControl &) = delete;

  // 0 when not ready or the read fails: a real 0 and a failure look the same.
  DWORD GetValue() override;
  // Reads before it writes; TRUE when the value was written.
  BOOL SetValue(DWORD Value) override;

  // All bits set, so that any reader of the field sees a plain nonzero "true".
  static constexpr DWORD ReadyTrue = 0xFFFFFFFF;

  HMIXER MixerHandle;
  DWORD ControlId;
  MMRESULT LastError;
  DWORD ChannelCount;
  DWORD Ready; // doubles as a busy mark against a nested read or write

private:
  void Clear();
  bool FindSourceLine(MIXERLINEW &Line, DWORD SourceComponentType);
  MMRESULT ReadValue(MIXERCONTROLDETAILS &Request);
};
