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

namespace {

// Null when memory runs out: the control is then absent, which every user allows for.
template <typename TControl, typename... TArguments>
std::unique_ptr<TAudioControl> MakeControl(TArguments &&...Arguments) {
  return std::unique_ptr<TAudioControl>(new (std::nothrow)
                                            TControl(std::forward<TArguments>(Arguments)...));
}

// None while there is no output device: the controls are then absent.
void BindEndpointControls() {
  VolumeControl.reset();
  MuteControl.reset();
  TComPtr<IAudioEndpointVolume> Endpoint = Endpoints.BindDefault();
  if (!Endpoint)
    return;
  VolumeControl =
      MakeControl<TEndpointControl>(Endpoint, TEndpointKind::Volume, MainWindow, WM_ENDPOINTREBIND);
  MuteControl =
      MakeControl<TEndpointControl>(Endpoint, TEndpointKind::Mute, MainWindow, WM_ENDPOINTREBIND);
}

} // namespace

// Since Vista the mixer's controls belong to the program's own audio session, so
// the endpoint is tried first and the mixer serves where there is none to use.
void CreateAudioControls() {
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

// Only the endpoint asks for this; on the mixer, or once shut down, it is another
// process's message and changes nothing.
void RebindAudioControls() {
  if (!Endpoints.IsOpen())
    return;
  BindEndpointControls();
  ModifyTrayIcon();
  InvalidateRect(MainWindow, nullptr, TRUE);
}

void ReleaseAudioControls() {
  VolumeControl.reset();
  MuteControl.reset();
  Endpoints.Close();
  if (ComStarted)
    CoUninitialize();
  ComStarted = false;
}
