#include "endpointControl.h"

#include <utility>

#include "endpointScale.h"

// {5E6C1A3B-27D4-4F0B-9A61-3C8D0E7B52A9}
const GUID TEndpointControl::ChangeContext = {
    0x5e6c1a3b, 0x27d4, 0x4f0b, {0x9a, 0x61, 0x3c, 0x8d, 0x0e, 0x7b, 0x52, 0xa9}};

TEndpointControl::TEndpointControl(TComPtr<IAudioEndpointVolume> Bound, TEndpointKind Which,
                                   HWND Window, UINT Message)
    : Endpoint(std::move(Bound)), Kind(Which), RebindWindow(Window), RebindMessage(Message) {}

// S_FALSE (nothing changed) is success. A failed call is seldom this control's
// fault: the device went away, its driver hiccuped, or its resources changed. The
// window binds both controls anew, which this control must not do inside its own
// call; until then it stays inert.
bool TEndpointControl::Succeeded(HRESULT Result) {
  if (SUCCEEDED(Result))
    return true;
  Ready = false;
  PostMessageW(RebindWindow, RebindMessage, FailedCall, 0);
  return false;
}

DWORD TEndpointControl::GetValue() {
  if (!Ready)
    return LastValue;
  if (Kind == TEndpointKind::Mute) {
    BOOL Mute = FALSE;
    if (Succeeded(Endpoint->GetMute(&Mute)))
      LastValue = Mute ? 1 : 0;
    return LastValue;
  }
  float Scalar = 0.0f;
  if (Succeeded(Endpoint->GetMasterVolumeLevelScalar(&Scalar)))
    LastValue = ScalarToFader(Scalar);
  return LastValue;
}

// The master level, not the channels': the balance between them stays as it was.
BOOL TEndpointControl::SetValue(DWORD Value) {
  if (!Ready)
    return FALSE;
  const bool Written =
      Kind == TEndpointKind::Mute
          ? Succeeded(Endpoint->SetMute(Value != 0, &ChangeContext))
          : Succeeded(Endpoint->SetMasterVolumeLevelScalar(FaderToScalar(Value), &ChangeContext));
  if (Written)
    LastValue = Value;
  return Written;
}
