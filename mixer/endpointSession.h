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
  // The endpoint is the way from now on. Notified receives Change for a volume or
  // mute change, Rebind for a new default.
  void Open(HWND Notified, UINT Change, UINT Rebind);
  bool IsOpen() const { return Opened; }

  // Drops the endpoint bound before and binds the default one now, creating the
  // enumerator and its device watcher first where there are none. E_NOTFOUND while
  // there is no device. Where the endpoint can never serve, the session closes: there
  // is no enumerator class (XP), or the default endpoint refuses with E_NOTIMPL to
  // take its own volume back (Wine's). Any other failure is a service that has not
  // answered, or has gone: everything made through it is released, as objects of a
  // service that restarted stay dead for ever.
  HRESULT BindDefault(TComPtr<IAudioEndpointVolume> &Bound);

  // Unregisters both notifications and releases everything but a watcher the
  // service may still call.
  void Close();

private:
  HRESULT CreateEnumerator();
  void WatchDevices();
  HRESULT ActivateThroughEnumerator(TComPtr<IAudioEndpointVolume> &Found);
  HRESULT ActivateDefault(TComPtr<IAudioEndpointVolume> &Endpoint);
  bool RefusesWrites();
  void Unbind();
  void ReleaseEnumerator();

  HWND Window = nullptr;
  UINT ChangeMessage = 0;
  UINT RebindMessage = 0;
  bool Opened = false;
  bool WriteTaken = false;                      // the trial write went through: none is made again
  TComPtr<IMMDeviceEnumerator> Enumerator;      // null until the service has answered
  TComPtr<IMMNotificationClient> DeviceWatcher; // set while registered
  TComPtr<IAudioEndpointVolume> Endpoint;
  TComPtr<IAudioEndpointVolumeCallback> VolumeWatcher; // set while registered
};
