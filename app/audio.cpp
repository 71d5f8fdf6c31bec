// Volume controls: the one place that chooses between the endpoint and the mixer,
// and keeps the endpoint's controls bound to the default device as it changes.
#include "main.h"

#include <objbase.h>

#include <new>
#include <utility>

#include "endpointControl.h"
#include "mixerControl.h"

TEndpointSession Endpoints;
bool ComStarted;
DWORD LastRebindTick;
bool MixerServes;
DWORD EndpointRetryPeriod;

namespace {

constexpr DWORD FirstRetryPeriod = 3000; // ms before the first bind again
constexpr DWORD LastRetryPeriod = 60000; // ms: the longest wait of the back-off
constexpr DWORD RebindInterval = 1000;   // ms at least between rebinds that failed calls ask for

// Null when memory runs out: the control is then absent, which every user allows for.
template <typename TControl, typename... TArguments>
std::unique_ptr<TAudioControl> MakeControl(TArguments &&...Arguments) {
  return std::unique_ptr<TAudioControl>(new (std::nothrow)
                                            TControl(std::forward<TArguments>(Arguments)...));
}

void CreateMixerControls() {
  VolumeControl = MakeControl<TnsMixerControl>(MainWindow, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 0,
                                               MIXERCONTROL_CONTROLTYPE_VOLUME);
  MuteControl = MakeControl<TnsMixerControl>(MainWindow, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 0,
                                             MIXERCONTROL_CONTROLTYPE_MUTE);
}

// None while there is no output device or the service has not answered: the
// controls are then absent, unless the mixer serves meanwhile. No device needs no
// retry, as its arrival is notified; a service that has not started yet, or has
// gone, notifies nothing.
HRESULT BindEndpointControls() {
  if (!MixerServes) {
    VolumeControl.reset();
    MuteControl.reset();
  }
  TComPtr<IAudioEndpointVolume> Endpoint;
  const HRESULT Bound = Endpoints.BindDefault(Endpoint);
  if (!Endpoints.IsOpen()) {
    MixerServes = false;
    CreateMixerControls();
    return Bound;
  }
  if (FAILED(Bound) && Bound != E_NOTFOUND) {
    SetBackOffTimer(ENDPOINT_RETRY_TIMER_ID, EndpointRetryPeriod, LastRetryPeriod);
    return Bound;
  }
  // The service has answered: a later silence backs off from the start again.
  EndpointRetryPeriod = FirstRetryPeriod;
  if (!Endpoint)
    return Bound;
  MixerServes = false;
  VolumeControl =
      MakeControl<TEndpointControl>(Endpoint, TEndpointKind::Volume, MainWindow, WM_ENDPOINTREBIND);
  MuteControl =
      MakeControl<TEndpointControl>(Endpoint, TEndpointKind::Mute, MainWindow, WM_ENDPOINTREBIND);
  return Bound;
}

} // namespace

// Since Vista the mixer's controls belong to the program's own audio session, so
// the endpoint is tried first and the mixer serves only where it never can, or until
// the endpoint binds: Wine without an audio driver answers E_FAIL, but so may a
// Windows whose audio service is still starting at logon.
void CreateAudioControls() {
  // The start's bind is no rebind: the first failed call rebinds at once.
  LastRebindTick = GetTickCount() - RebindInterval;
  EndpointRetryPeriod = FirstRetryPeriod;
  MixerServes = false;
  ComStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  if (!ComStarted) {
    CreateMixerControls();
    return;
  }
  Endpoints.Open(MainWindow, WM_ENDPOINTCHANGE, WM_ENDPOINTREBIND);
  if (BindEndpointControls() == E_FAIL && Endpoints.IsOpen()) {
    CreateMixerControls();
    MixerServes = true;
  }
}

// A new default device is bound at once. A control that keeps failing would ask
// again from the tray's read right after each rebind, so failed calls rebind at
// most once per interval; one that comes too soon waits for the retry timer.
// A failed call whose controls have been bound anew since asks for nothing more.
void RebindAudioControls(WPARAM Cause) {
  if (!Endpoints.IsOpen() || (Cause == TEndpointControl::FailedCall && !AudioControlsLost()))
    return;
  const DWORD Elapsed = GetTickCount() - LastRebindTick;
  if (Cause == TEndpointControl::FailedCall && Elapsed < RebindInterval)
    SetTimer(MainWindow, ENDPOINT_RETRY_TIMER_ID, RebindInterval - Elapsed, nullptr);
  else
    RetryAudioControls();
}

// Only the endpoint binds; on the mixer, or once shut down, there is nothing to do.
// A retry still due is dropped first: only a bind that fails arms it again, so a
// session that has closed leaves none ticking.
void RetryAudioControls() {
  KillTimer(MainWindow, ENDPOINT_RETRY_TIMER_ID);
  if (!Endpoints.IsOpen())
    return;
  LastRebindTick = GetTickCount();
  BindEndpointControls();
  ModifyTrayIcon();
  InvalidateRect(MainWindow, nullptr, TRUE);
}

// The service may answer before the retry is due, and a control may have failed
// since the last bind: a user's action does not wait. While the mixer stands in,
// the action tries the endpoint first, at most once per interval.
void BindAbsentAudioControls() {
  if (!VolumeControl || !MuteControl || AudioControlsLost() ||
      (MixerServes && GetTickCount() - LastRebindTick >= RebindInterval))
    RetryAudioControls();
}

bool AudioControlsLost() {
  return (VolumeControl && VolumeControl->Lost()) || (MuteControl && MuteControl->Lost());
}

// A retry still due finds the session closed, and ends at its tick.
void ReleaseAudioControls() {
  VolumeControl.reset();
  MuteControl.reset();
  Endpoints.Close();
  if (ComStarted)
    CoUninitialize();
  ComStarted = false;
}
