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

namespace {

constexpr DWORD EndpointRetryPeriod = 3000; // ms between binds while the service has not answered
constexpr DWORD RebindInterval = 1000;      // ms at least between rebinds that failed calls ask for

// Null when memory runs out: the control is then absent, which every user allows for.
template <typename TControl, typename... TArguments>
std::unique_ptr<TAudioControl> MakeControl(TArguments &&...Arguments) {
  return std::unique_ptr<TAudioControl>(new (std::nothrow)
                                            TControl(std::forward<TArguments>(Arguments)...));
}

// None while there is no output device or the service has not answered: the
// controls are then absent. No device needs no retry, as its arrival is notified;
// a service that has not started yet notifies nothing.
void BindEndpointControls() {
  VolumeControl.reset();
  MuteControl.reset();
  KillTimer(MainWindow, ENDPOINT_RETRY_TIMER_ID);
  TComPtr<IAudioEndpointVolume> Endpoint;
  const HRESULT Bound = Endpoints.BindDefault(Endpoint);
  if (FAILED(Bound) && Bound != E_NOTFOUND)
    SetTimer(MainWindow, ENDPOINT_RETRY_TIMER_ID, EndpointRetryPeriod, nullptr);
  if (!Endpoint)
    return;
  VolumeControl =
      MakeControl<TEndpointControl>(Endpoint, TEndpointKind::Volume, MainWindow, WM_ENDPOINTREBIND);
  MuteControl =
      MakeControl<TEndpointControl>(Endpoint, TEndpointKind::Mute, MainWindow, WM_ENDPOINTREBIND);
}

// Only the endpoint binds; on the mixer, or once shut down, there is nothing to do.
void BindAndShow() {
  if (!Endpoints.IsOpen())
    return;
  BindEndpointControls();
  ModifyTrayIcon();
  InvalidateRect(MainWindow, nullptr, TRUE);
}

} // namespace

// Since Vista the mixer's controls belong to the program's own audio session, so
// the endpoint is tried first and the mixer serves only where it never can.
void CreateAudioControls() {
  // The start's bind is no rebind: the first failed call rebinds at once.
  LastRebindTick = GetTickCount() - RebindInterval;
  ComStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  if (ComStarted && Endpoints.Open(MainWindow, WM_ENDPOINTCHANGE, WM_ENDPOINTREBIND)) {
    BindEndpointControls();
    return;
  }
  VolumeControl = MakeControl<TnsMixerControl>(MainWindow, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 0,
                                               MIXERCONTROL_CONTROLTYPE_VOLUME);
  MuteControl = MakeControl<TnsMixerControl>(MainWindow, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 0,
                                             MIXERCONTROL_CONTROLTYPE_MUTE);
}

// A new default device is bound at once. A control that keeps failing would ask
// again from the tray's read right after each rebind, so failed calls rebind at
// most once per interval; one that comes too soon waits for the retry timer.
void RebindAudioControls(WPARAM Cause) {
  if (!Endpoints.IsOpen())
    return;
  const DWORD Elapsed = GetTickCount() - LastRebindTick;
  if (Cause == TEndpointControl::FailedCall && Elapsed < RebindInterval)
    SetTimer(MainWindow, ENDPOINT_RETRY_TIMER_ID, RebindInterval - Elapsed, nullptr);
  else
    RetryAudioControls();
}

void RetryAudioControls() {
  LastRebindTick = GetTickCount();
  BindAndShow();
}

// The service may answer before the retry is due: a user's action does not wait.
void BindAbsentAudioControls() {
  if (!VolumeControl || !MuteControl)
    BindAndShow();
}

// A retry still due finds the session closed, and ends with the window.
void ReleaseAudioControls() {
  VolumeControl.reset();
  MuteControl.reset();
  Endpoints.Close();
  if (ComStarted)
    CoUninitialize();
  ComStarted = false;
}
