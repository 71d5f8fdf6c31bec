#include "endpointSession.h"

#include <new>

#include "comObject.h"
#include "endpointControl.h"

namespace {

// Only posts: the system calls it on threads of its own.
template <typename TInterface> class TPostingCallback : public TComObject<TInterface> {
public:
  TPostingCallback(HWND Target, UINT Posted) : Window(Target), Message(Posted) {}

protected:
  void Post() const { PostMessageW(Window, Message, 0, 0); }

private:
  HWND Window;
  UINT Message;
};

class TVolumeWatcher : public TPostingCallback<IAudioEndpointVolumeCallback> {
public:
  using TPostingCallback::TPostingCallback;
  HRESULT STDMETHODCALLTYPE OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA) override {
    Post();
    return S_OK;
  }
};

// Only the console role's default render device matters: a device that goes away
// while default is followed by a change of the default (to none, or to another).
class TDeviceWatcher : public TPostingCallback<IMMNotificationClient> {
public:
  using TPostingCallback::TPostingCallback;
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow Flow, ERole Role, LPCWSTR) override {
    if (Flow == eRender && Role == eConsole)
      Post();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override {
    return S_OK;
  }
};

// The service keeps no reference of its own to a watcher, and may go on calling one
// whose unregister failed: that one is leaked on purpose, never freed under it.
void KeepIfStillRegistered(IUnknown *Watcher, HRESULT Unregistered) {
  if (FAILED(Unregistered))
    Watcher->AddRef();
}

} // namespace

HRESULT TEndpointSession::CreateEnumerator() {
  HRESULT Created = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                                     __uuidof(IMMDeviceEnumerator), Enumerator.OutVoid());
  if (SUCCEEDED(Created) && RefusesWrites())
    Created = E_NOTIMPL;
  if (Created == REGDB_E_CLASSNOTREG || Created == E_NOTIMPL)
    Close();
  return Created;
}

// Without the watcher the endpoint still works; it only stops following a change of
// the default device until a later bind registers it.
void TEndpointSession::WatchDevices() {
  if (DeviceWatcher)
    return;
  auto Watcher = TComPtr<IMMNotificationClient>::Adopt(new (std::nothrow)
                                                           TDeviceWatcher(Window, RebindMessage));
  if (Watcher && SUCCEEDED(Enumerator->RegisterEndpointNotificationCallback(Watcher.Get())))
    DeviceWatcher = Watcher;
}

// Wine's endpoint reads 1.0 for ever and refuses every write; only writing tells.
// Any other failure may pass with the service's start, so it tells nothing. One
// write taken tells for the whole run: each one undoes a change that lands between
// its read and its write, such as a headset's volume sync on connect.
bool TEndpointSession::RefusesWrites() {
  TComPtr<IAudioEndpointVolume> Probe;
  float Scalar = 0.0f;
  if (WriteTaken || FAILED(ActivateDefault(Probe)) ||
      FAILED(Probe->GetMasterVolumeLevelScalar(&Scalar)))
    return false;
  const HRESULT Written =
      Probe->SetMasterVolumeLevelScalar(Scalar, &TEndpointControl::ChangeContext);
  WriteTaken = SUCCEEDED(Written);
  return Written == E_NOTIMPL;
}

void TEndpointSession::Open(HWND Notified, UINT Change, UINT Rebind) {
  Window = Notified;
  ChangeMessage = Change;
  RebindMessage = Rebind;
  Opened = true;
  WriteTaken = false;
}

HRESULT TEndpointSession::ActivateDefault(TComPtr<IAudioEndpointVolume> &Found) {
  TComPtr<IMMDevice> Device;
  HRESULT Result = Enumerator->GetDefaultAudioEndpoint(eRender, eConsole, Device.Out());
  if (SUCCEEDED(Result))
    Result = Device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_INPROC_SERVER, nullptr,
                              Found.OutVoid());
  return Result;
}

HRESULT TEndpointSession::ActivateThroughEnumerator(TComPtr<IAudioEndpointVolume> &Found) {
  HRESULT Result = Enumerator ? S_OK : CreateEnumerator();
  if (!Opened)
    return Result;
  if (SUCCEEDED(Result)) {
    WatchDevices();
    Result = ActivateDefault(Found);
  }
  if (FAILED(Result) && Result != E_NOTFOUND)
    ReleaseEnumerator();
  return Result;
}

// An enumerator made before the service restarted fails whatever it is asked: what
// fails through an old one is tried once more through a new one.
HRESULT TEndpointSession::BindDefault(TComPtr<IAudioEndpointVolume> &Bound) {
  Unbind();
  TComPtr<IAudioEndpointVolume> Found;
  const bool Old = static_cast<bool>(Enumerator);
  HRESULT Result = ActivateThroughEnumerator(Found);
  if (Old && !Enumerator && Opened)
    Result = ActivateThroughEnumerator(Found);
  if (FAILED(Result))
    return Result;
  auto Watcher = TComPtr<IAudioEndpointVolumeCallback>::Adopt(
      new (std::nothrow) TVolumeWatcher(Window, ChangeMessage));
  if (Watcher && SUCCEEDED(Found->RegisterControlChangeNotify(Watcher.Get())))
    VolumeWatcher = Watcher;
  Endpoint = Found;
  Bound = Found;
  return S_OK;
}

void TEndpointSession::Unbind() {
  if (VolumeWatcher)
    KeepIfStillRegistered(VolumeWatcher.Get(),
                          Endpoint->UnregisterControlChangeNotify(VolumeWatcher.Get()));
  VolumeWatcher.Reset();
  Endpoint.Reset();
}

void TEndpointSession::ReleaseEnumerator() {
  if (DeviceWatcher)
    KeepIfStillRegistered(DeviceWatcher.Get(),
                          Enumerator->UnregisterEndpointNotificationCallback(DeviceWatcher.Get()));
  DeviceWatcher.Reset();
  Enumerator.Reset();
}

void TEndpointSession::Close() {
  Unbind();
  ReleaseEnumerator();
  Opened = false;
}
