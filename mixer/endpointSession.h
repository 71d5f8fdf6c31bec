// The default render endpoint of the console role, followed as it changes: the
// device enumerator, its device notifications, and the bound endpoint with its
// change notifications. The system calls both notifications on threads of its own,
// so they only post a message to the program's window and return.
#pragma once

#include <windows.h>

#include <endpointvolume.h>
#include <mmdeviceapi.h>

#include "comPtr.h"

class TEndpointSession {
public:
  // True when the endpoint can be used: the enumerator exists, and the default
  // endpoint takes its own current volume back, or there is no device at the
  // moment. Otherwise everything is released again and the mixer is the way.
  // Notified receives Change for a volume or mute change, Rebind for a new default.
  bool Open(HWND Notified, UINT Change, UINT Rebind);
  bool IsOpen() const { return static_cast<bool>(Enumerator); }

  // Drops the endpoint bound before and binds the default one now; null when
  // there is none.
  TComPtr<IAudioEndpointVolume> BindDefault();

  // Unregisters both notifications and releases everything.
  void Close();

private:
  HRESULT ActivateDefault(TComPtr<IAudioEndpointVolume> &Endpoint);
  void Unbind();

  HWND Window = nullptr;
  UINT ChangeMessage = 0;
  TComPtr<IMMDeviceEnumerator> Enumerator;
  TComPtr<IMMNotificationClient> DeviceWatcher; // set while registered
  TComPtr<IAudioEndpointVolume> Endpoint;
  TComPtr<IAudioEndpointVolumeCallback> VolumeWatcher; // set while registered
};
