// Stand-ins for the platform's audio endpoints: a device enumerator with two render
// devices, each with its endpoint volume. The same classes serve the unit tests in
// their own process and, built as mmdevapi.dll, the real program under Wine.
// Everything else the interfaces offer answers E_NOTIMPL.
#pragma once

#include <windows.h>

#include <endpointvolume.h>
#include <mmdeviceapi.h>

constexpr LONG FakeDeviceCount = 2;
constexpr LONG NoDevice = -1;

// Plain data throughout, so the DLL can keep it in shared memory, where a helper of
// the end-to-end tests reads and drives it.
struct TFakeDeviceState {
  float Scalar;
  BOOL Mute;
  HRESULT SetResult;  // what writes answer: E_NOTIMPL like Wine's endpoint
  HRESULT CallResult; // what every call answers first: AUDCLNT_E_DEVICE_INVALIDATED once gone
  LONG Writes;
  LONG Registered; // change notifications registered on the device's endpoints
  GUID LastContext;
};

struct TFakeAudioState {
  HRESULT CreateResult; // the enumerator's creation
  HRESULT ActivateResult;
  // What the enumerator's creation, GetDefaultAudioEndpoint and Activate answer first
  // until it is S_OK again: AUDCLNT_E_SERVICE_NOT_RUNNING, as at logon.
  HRESULT ServiceResult;
  LONG PassingCalls; // volume and mute calls that pass before the FailingCalls start
  LONG FailingCalls; // the next this many volume and mute calls answer FailResult
  HRESULT FailResult;
  LONG DefaultDevice; // NoDevice while there is none
  TFakeDeviceState Devices[FakeDeviceCount];
  LONG LiveObjects;    // fake COM objects not released yet
  LONG DeviceWatchers; // device notification clients registered
  LONG Notifications;  // calls made into the program's notifications
  LONG Activations;    // endpoints handed out
  LONG Enumerators;    // enumerators created
  LONG Restarts;       // of the audio service: every object made before answers RPC_E_DISCONNECTED
};

extern TFakeAudioState *FakeAudio;

// Two devices at half volume, not muted, device 0 the default; the notifications
// registered in this process are forgotten.
void ResetFakeAudio(TFakeAudioState &State);

HRESULT CreateFakeEnumerator(REFIID Id, void **Object);

// Watchers still registered that only the registry holds: the system keeps no
// reference of its own, so on Windows each would have been freed while still called.
LONG FakeUnheldWatchers();

// Changes made outside the program. Each calls the program's notifications on the
// thread that makes it, as the system calls them on threads of its own.
void FakeExternalChange(LONG Device, float Scalar, BOOL Mute);
void FakeSetDefaultDevice(LONG Device);
