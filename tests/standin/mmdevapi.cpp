// Stands in for Wine's mmdevapi.dll in the program's process (WINEDLLOVERRIDES), with
// the unit tests' fake endpoints, whose state lives in shared memory for probe.exe.
#include <windows.h>

#include <cstdlib>

#include "shared.h"

namespace {

TFakeEndpointShared *Shared;

DWORD WINAPI RunCommands(LPVOID) {
  const HANDLE Command = CreateEventA(nullptr, FALSE, FALSE, FakeEndpointCommandEvent);
  const HANDLE Done = CreateEventA(nullptr, FALSE, FALSE, FakeEndpointDoneEvent);
  while (WaitForSingleObject(Command, INFINITE) == WAIT_OBJECT_0) {
    const TFakeEndpointCommand Order = Shared->Command;
    if (Order.Kind == FakeCommandChange)
      FakeExternalChange(Order.Device, Order.Scalar, Order.Mute);
    else if (Order.Kind == FakeCommandDefault)
      FakeSetDefaultDevice(Order.Device);
    else if (Order.Kind == FakeCommandService)
      FakeAudio->ServiceResult = Order.Result;
    else if (Order.Kind == FakeCommandFail) {
      FakeAudio->FailResult = Order.Result;
      InterlockedExchange(&FakeAudio->FailingCalls, Order.Count);
    }
    SetEvent(Done);
  }
  return 0;
}

HRESULT ServiceAtStart() {
  char Text[16] = {};
  if (GetEnvironmentVariableA(FakeEndpointServiceVariable, Text, sizeof Text) == 0)
    return S_OK;
  return static_cast<HRESULT>(std::strtoul(Text, nullptr, 0));
}

// The first process to map the state sets it up: two devices, device 0 the default.
bool MapState() {
  if (Shared != nullptr)
    return true;
  const HANDLE Mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            sizeof(TFakeEndpointShared), FakeEndpointMapping);
  const bool Existed = GetLastError() == ERROR_ALREADY_EXISTS;
  if (Mapping == nullptr)
    return false;
  Shared = static_cast<TFakeEndpointShared *>(
      MapViewOfFile(Mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(TFakeEndpointShared)));
  if (Shared == nullptr)
    return false;
  FakeAudio = &Shared->State;
  if (!Existed) {
    ResetFakeAudio(*FakeAudio);
    FakeAudio->ServiceResult = ServiceAtStart();
  }
  CloseHandle(CreateThread(nullptr, 0, RunCommands, nullptr, 0, nullptr));
  return true;
}

class TFactory : public IClassFactory {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Id, void **Object) override {
    if (Id == __uuidof(IUnknown) || Id == __uuidof(IClassFactory)) {
      *Object = static_cast<IClassFactory *>(this);
      return S_OK;
    }
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  // One static object for the life of the process.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *Outer, REFIID Id, void **Object) override {
    *Object = nullptr;
    return Outer != nullptr ? CLASS_E_NOAGGREGATION : CreateFakeEnumerator(Id, Object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
} Factory;

} // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID Class, REFIID Id, void **Object) {
  *Object = nullptr;
  if (Class != __uuidof(MMDeviceEnumerator))
    return CLASS_E_CLASSNOTAVAILABLE;
  if (!MapState())
    return E_OUTOFMEMORY;
  return Factory.QueryInterface(Id, Object);
}

// The command thread runs until the process ends.
extern "C" HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }
