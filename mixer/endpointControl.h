// The master volume or the mute of one audio endpoint (Vista and later). Changes,
// the program's own included, are reported by the endpoint's own callback, which
// TEndpointSession registers; this object only reads and writes.
#pragma once

#include <windows.h>

#include <endpointvolume.h>

#include "audioControl.h"
#include "comPtr.h"

enum class TEndpointKind { Volume, Mute };

class TEndpointControl : public TAudioControl {
public:
  // A failed call is reported to RebindWindow as RebindMessage with FailedCall.
  TEndpointControl(TComPtr<IAudioEndpointVolume> Endpoint, TEndpointKind Kind, HWND RebindWindow,
                   UINT RebindMessage);

  // Once a call has failed, the last value read or written: a display painted
  // before the controls are bound anew must not show an empty bar.
  DWORD GetValue() override;
  BOOL SetValue(DWORD Value) override;
  bool Lost() const override { return !Ready; }

  // Passed with every write, so a change notification tells the program's own
  // changes from others'.
  static const GUID ChangeContext;
  // The wParam that tells a failed call from a new default device.
  static constexpr WPARAM FailedCall = 1;

private:
  bool Succeeded(HRESULT Result);

  TComPtr<IAudioEndpointVolume> Endpoint;
  TEndpointKind Kind;
  HWND RebindWindow;
  UINT RebindMessage;
  bool Ready = true; // false for good after a failed call: the window replaces the control
  DWORD LastValue = 0;
};
