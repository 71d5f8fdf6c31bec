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
  // False only where the endpoint can never serve: there is no enumerator class (XP)
  // or Wine's has no audio driver, or the default endpoint refuses with E_NOTIMPL to
  // take its own volume back (Wine's); everything is then released again and the mixer is the way.
  // A service that does not answer yet, or no device at the moment, keeps the endpoint. Notified
  // receives Change for a volume or mute change, Rebind for a new default.
  bool Open(HWND Notified, UINT Change, UINT Rebind);
  bool IsOpen() const { return Opened; }

  // Drops the endpoint bound before and binds the default one now, creating the
  // enumerator first when the service did not answer before. E_NOTFOUND while there
  // is no device; any other failure is a service that has not answered.
  HRESULT BindDefault(TComPtr<IAudioEndpointVolume> &Bound);

  // Unregisters both notifications and releases everything.
  void Close();

private:
  HRESULT CreateEnumerator();
  HRESULT ActivateDefault(TComPtr<IAudioEndpointVolume> &Endpoint);
  bool RefusesWrites();
  void Unbind();

  HWND Window = nullptr;
  UINT ChangeMessage = 0;
  UINT RebindMessage = 0;
  bool Opened = false;
  TComPtr<IMMDeviceEnumerator> Enumerator;      // null until the service has answered
  TComPtr<IMMNotificationClient> DeviceWatcher; // set while registered
  TComPtr<IAudioEndpointVolume> Endpoint;
  TComPtr<IAudioEndpointVolumeCallback> VolumeWatcher; // set while registered
};
