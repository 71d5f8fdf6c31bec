// What the mmdevapi.dll stand-in shares with probe.exe: the fake endpoints' state and
// one command at a time, which the stand-in carries out on a thread of its own, as
// the system makes its notifications.
#pragma once

#include "fake_endpoint.h"

enum TFakeEndpointCommandKind : LONG {
  FakeCommandChange = 1,
  FakeCommandDefault = 2,
  FakeCommandService = 3, // the service answers Result from now on
  FakeCommandFail = 4     // the next Count volume and mute calls answer Result
};

struct TFakeEndpointCommand {
  LONG Kind;
  LONG Device; // the device changed, or the new default (NoDevice for none)
  float Scalar;
  BOOL Mute;
  LONG Count;
  HRESULT Result;
};

struct TFakeEndpointShared {
  TFakeAudioState State;
  TFakeEndpointCommand Command;
};

constexpr char FakeEndpointMapping[] = "SonaltoFakeEndpoints";
constexpr char FakeEndpointCommandEvent[] = "SonaltoFakeEndpointsCommand";
constexpr char FakeEndpointDoneEvent[] = "SonaltoFakeEndpointsDone";
// The service's answer from the program's first call on, set before any command can
// reach the stand-in: an HRESULT in any notation strtoul reads.
constexpr char FakeEndpointServiceVariable[] = "SONALTO_FAKE_SERVICE";
