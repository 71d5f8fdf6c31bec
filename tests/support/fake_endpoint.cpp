#include "fake_endpoint.h"

#include "comObject.h"

#include <initializer_list>

TFakeAudioState *FakeAudio;

namespace {

// The notifications the program registered, kept in the process that registered
// them, each with a reference of its own.
constexpr int MaxRegistrations = 8;
struct TRegistry {
  CRITICAL_SECTION Lock;
  IMMNotificationClient *Clients[MaxRegistrations];
  IAudioEndpointVolumeCallback *Callbacks[MaxRegistrations];
  LONG CallbackDevices[MaxRegistrations];
  TRegistry() : Clients(), Callbacks(), CallbackDevices() { InitializeCriticalSection(&Lock); }
} Registry;

template <typename T> bool Add(T *(&Slots)[MaxRegistrations], T *Item, LONG *Device, LONG Index) {
  bool Added = false;
  EnterCriticalSection(&Registry.Lock);
  for (int Slot = 0; Slot < MaxRegistrations && !Added; ++Slot)
    if (Slots[Slot] == nullptr) {
      Item->AddRef();
      Slots[Slot] = Item;
      if (Device != nullptr)
        Device[Slot] = Index;
      Added = true;
    }
  LeaveCriticalSection(&Registry.Lock);
  return Added;
}

template <typename T> bool Remove(T *(&Slots)[MaxRegistrations], T *Item) {
  T *Found = nullptr;
  EnterCriticalSection(&Registry.Lock);
  for (T *&Slot : Slots)
    if (Found == nullptr && Slot == Item) {
      Found = Slot;
      Slot = nullptr;
    }
  LeaveCriticalSection(&Registry.Lock);
  if (Found != nullptr)
    Found->Release();
  return Found != nullptr;
}

// Calls every registered item outside the lock, holding a reference meanwhile, as
// the program may unregister from its own thread at the same moment.
template <typename T, typename F>
void CallEach(T *(&Slots)[MaxRegistrations], LONG Device, F Call) {
  T *Taken[MaxRegistrations] = {};
  EnterCriticalSection(&Registry.Lock);
  for (int Slot = 0; Slot < MaxRegistrations; ++Slot)
    if (Slots[Slot] != nullptr &&
        (Device == NoDevice || Registry.CallbackDevices[Slot] == Device)) {
      Taken[Slot] = Slots[Slot];
      Taken[Slot]->AddRef();
    }
  LeaveCriticalSection(&Registry.Lock);
  for (T *Item : Taken)
    if (Item != nullptr) {
      InterlockedIncrement(&FakeAudio->Notifications);
      Call(Item);
      Item->Release();
    }
}

void NotifyVolume(LONG Device, const GUID &Context) {
  const TFakeDeviceState &State = FakeAudio->Devices[Device];
  AUDIO_VOLUME_NOTIFICATION_DATA Data = {};
  Data.guidEventContext = Context;
  Data.bMuted = State.Mute;
  Data.fMasterVolume = State.Scalar;
  Data.nChannels = 1;
  Data.afChannelVolumes[0] = State.Scalar;
  CallEach(Registry.Callbacks, Device,
           [&](IAudioEndpointVolumeCallback *Callback) { Callback->OnNotify(&Data); });
}

// Counts one down, if any is left, against other threads doing the same.
bool TakeOne(LONG &Count) {
  for (LONG Left = Count; Left > 0;) {
    const LONG Seen = InterlockedCompareExchange(&Count, Left - 1, Left);
    if (Seen == Left)
      return true;
    Left = Seen;
  }
  return false;
}

template <typename TInterface> class TFakeObject : public TComObject<TInterface> {
public:
  TFakeObject() { InterlockedIncrement(&FakeAudio->LiveObjects); }
  ~TFakeObject() override { InterlockedDecrement(&FakeAudio->LiveObjects); }

protected:
  bool Dead() const { return Restarts != FakeAudio->Restarts; }

private:
  const LONG Restarts = FakeAudio->Restarts;
};

class TFakeEndpointVolume : public TFakeObject<IAudioEndpointVolume> {
public:
  explicit TFakeEndpointVolume(LONG Device_) : Device(Device_) {}

  HRESULT STDMETHODCALLTYPE
  RegisterControlChangeNotify(IAudioEndpointVolumeCallback *Callback) override {
    if (!Add(Registry.Callbacks, Callback, Registry.CallbackDevices, Device))
      return E_OUTOFMEMORY;
    InterlockedIncrement(&State().Registered);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  UnregisterControlChangeNotify(IAudioEndpointVolumeCallback *Callback) override {
    if (Dead())
      return RPC_E_DISCONNECTED;
    if (!Remove(Registry.Callbacks, Callback))
      return E_INVALIDARG;
    InterlockedDecrement(&State().Registered);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(FLOAT Level, LPCGUID Context) override {
    const HRESULT Refused = WriteAnswer();
    if (FAILED(Refused))
      return Refused;
    if (Level < 0.0f || Level > 1.0f)
      return E_INVALIDARG;
    const bool Same = State().Scalar == Level;
    State().Scalar = Level;
    return Written(Context, Same);
  }
  HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(FLOAT *Level) override {
    *Level = State().Scalar;
    return Answer();
  }
  HRESULT STDMETHODCALLTYPE SetMute(WINBOOL Mute, LPCGUID Context) override {
    const HRESULT Refused = WriteAnswer();
    if (FAILED(Refused))
      return Refused;
    const bool Same = (State().Mute != FALSE) == (Mute != FALSE);
    State().Mute = Mute;
    return Written(Context, Same);
  }
  HRESULT STDMETHODCALLTYPE GetMute(WINBOOL *Mute) override {
    *Mute = State().Mute;
    return Answer();
  }

  HRESULT STDMETHODCALLTYPE GetChannelCount(UINT *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(FLOAT, LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(FLOAT *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT, FLOAT, LPCGUID) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT, FLOAT, LPCGUID) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT, FLOAT *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT, FLOAT *) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetVolumeStepInfo(UINT *, UINT *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE VolumeStepUp(LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE VolumeStepDown(LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetVolumeRange(FLOAT *, FLOAT *, FLOAT *) override { return E_NOTIMPL; }

private:
  TFakeDeviceState &State() const { return FakeAudio->Devices[Device]; }

  // The device's lasting failure, else one of the injected ones while any is left.
  HRESULT Answer() const {
    if (Dead())
      return RPC_E_DISCONNECTED;
    if (FAILED(State().CallResult))
      return State().CallResult;
    if (!TakeOne(FakeAudio->PassingCalls) && TakeOne(FakeAudio->FailingCalls))
      return FakeAudio->FailResult;
    return State().CallResult;
  }
  HRESULT WriteAnswer() const {
    const HRESULT Result = Answer();
    return FAILED(Result) ? Result : State().SetResult;
  }

  // Like the system's endpoint: S_FALSE when nothing changed, and every write
  // reported to the notifications with the writer's context.
  HRESULT Written(LPCGUID Context, bool Same) {
    InterlockedIncrement(&State().Writes);
    State().LastContext = Context != nullptr ? *Context : GUID{};
    NotifyVolume(Device, State().LastContext);
    return Same ? S_FALSE : S_OK;
  }

  LONG Device;
};

class TFakeDevice : public TFakeObject<IMMDevice> {
public:
  explicit TFakeDevice(LONG Device_) : Device(Device_) {}

  HRESULT STDMETHODCALLTYPE Activate(REFIID Id, DWORD, PROPVARIANT *, void **Object) override {
    *Object = nullptr;
    if (FAILED(FakeAudio->ServiceResult))
      return FakeAudio->ServiceResult;
    if (FAILED(FakeAudio->ActivateResult))
      return FakeAudio->ActivateResult;
    if (Id != __uuidof(IAudioEndpointVolume))
      return E_NOINTERFACE;
    *Object = static_cast<IAudioEndpointVolume *>(new TFakeEndpointVolume(Device));
    InterlockedIncrement(&FakeAudio->Activations);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore **) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetId(LPWSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetState(DWORD *) override { return E_NOTIMPL; }

private:
  LONG Device;
};

class TFakeEnumerator : public TFakeObject<IMMDeviceEnumerator> {
public:
  HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow Flow, ERole Role,
                                                    IMMDevice **Device) override {
    *Device = nullptr;
    const LONG Default = FakeAudio->DefaultDevice;
    if (Dead())
      return RPC_E_DISCONNECTED;
    if (FAILED(FakeAudio->ServiceResult))
      return FakeAudio->ServiceResult;
    if (Flow != eRender || Role != eConsole)
      return E_INVALIDARG;
    if (Default == NoDevice)
      return E_NOTFOUND;
    *Device = new TFakeDevice(Default);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  RegisterEndpointNotificationCallback(IMMNotificationClient *Client) override {
    if (!Add(Registry.Clients, Client, nullptr, 0))
      return E_OUTOFMEMORY;
    InterlockedIncrement(&FakeAudio->DeviceWatchers);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  UnregisterEndpointNotificationCallback(IMMNotificationClient *Client) override {
    if (Dead())
      return RPC_E_DISCONNECTED;
    if (!Remove(Registry.Clients, Client))
      return E_INVALIDARG;
    InterlockedDecrement(&FakeAudio->DeviceWatchers);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection **) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice **) override { return E_NOTIMPL; }
};

// What an earlier test left registered must not fill the slots of the next one.
void ForgetRegistrations() {
  EnterCriticalSection(&Registry.Lock);
  for (int Slot = 0; Slot < MaxRegistrations; ++Slot) {
    if (Registry.Clients[Slot] != nullptr)
      Registry.Clients[Slot]->Release();
    if (Registry.Callbacks[Slot] != nullptr)
      Registry.Callbacks[Slot]->Release();
    Registry.Clients[Slot] = nullptr;
    Registry.Callbacks[Slot] = nullptr;
  }
  LeaveCriticalSection(&Registry.Lock);
}

} // namespace

void ResetFakeAudio(TFakeAudioState &State) {
  ForgetRegistrations();
  State = {};
  State.CreateResult = S_OK;
  State.ActivateResult = S_OK;
  State.ServiceResult = S_OK;
  State.DefaultDevice = 0;
  for (TFakeDeviceState &Device : State.Devices)
    Device.Scalar = 0.5f;
}

HRESULT CreateFakeEnumerator(REFIID Id, void **Object) {
  *Object = nullptr;
  if (FAILED(FakeAudio->ServiceResult))
    return FakeAudio->ServiceResult;
  if (FAILED(FakeAudio->CreateResult))
    return FakeAudio->CreateResult;
  InterlockedIncrement(&FakeAudio->Enumerators);
  IMMDeviceEnumerator *Enumerator = new TFakeEnumerator;
  const HRESULT Result = Enumerator->QueryInterface(Id, Object);
  Enumerator->Release();
  return Result;
}

LONG FakeUnheldWatchers() {
  LONG Unheld = 0;
  EnterCriticalSection(&Registry.Lock);
  for (int Slot = 0; Slot < MaxRegistrations; ++Slot)
    for (IUnknown *Item : {static_cast<IUnknown *>(Registry.Clients[Slot]),
                           static_cast<IUnknown *>(Registry.Callbacks[Slot])})
      if (Item != nullptr && (Item->AddRef(), Item->Release() == 1))
        ++Unheld;
  LeaveCriticalSection(&Registry.Lock);
  return Unheld;
}

void FakeExternalChange(LONG Device, float Scalar, BOOL Mute) {
  FakeAudio->Devices[Device].Scalar = Scalar;
  FakeAudio->Devices[Device].Mute = Mute;
  NotifyVolume(Device, GUID{});
}

// The system names the new default by its id; the program asks for it anew anyway.
void FakeSetDefaultDevice(LONG Device) {
  FakeAudio->DefaultDevice = Device;
  const wchar_t *Id = Device == 0 ? L"{fake}.0" : Device == 1 ? L"{fake}.1" : nullptr;
  CallEach(Registry.Clients, NoDevice, [&](IMMNotificationClient *Client) {
    Client->OnDefaultDeviceChanged(eRender, eMultimedia, Id);
    Client->OnDefaultDeviceChanged(eRender, eConsole, Id);
  });
}
