// What the mmdevapi.dll stand-in shares with probe.exe: the fake endpoints' state and
// one command at a time, which the stand-in carries out on a thread of its own, as
// the system makes its notifications.
#pragma once

#include "fake_endpoint.h"

enum TFakeEndpointCommandKind : LONG { FakeCommandChange = 1, FakeCommandDefault = 2 };

struct TFakeEndpointCommand {
  LONG Kind;
  LONG Device; // the device changed, or the new default (NoDevice for none)
  float Scalar;
  BOOL Mute;
};

struct TFakeEndpointShared {
  TFakeAudioState State;
  TFakeEndpointCommand Command;
};

constexpr char FakeEndpointMapping[] = "SonaltoFakeEndpoints";
constexpr char FakeEndpointCommandEvent[] = "SonaltoFakeEndpointsCommand";
constexpr char FakeEndpointDoneEvent[] = "SonaltoFakeEndpointsDone";
