// The endpoint of Vista and later against fake endpoints: which way the program
// chooses at start-up, the values it reads and writes, the notifications the system
// makes on its own threads, the default device changing or going away, and the
// release of everything at shutdown.
#include "endpointControl.h"
#include "endpointScale.h"
#include "fakes.h"
#include "main.h"
#include "program.h"
#include "resource.h"

#include <audioclient.h>

#include <functional>
#include <thread>

namespace {

constexpr LONG Other = 1; // the second fake device

// A call the system makes on a thread of its own.
void FromAnotherThread(const std::function<void()> &Call) { std::thread(Call).join(); }

int Queued(UINT Message) {
  int Count = 0;
  MSG Found = {};
  while (PeekMessageA(&Found, nullptr, Message, Message, PM_REMOVE))
    ++Count;
  return Count;
}

bool OnTheMixer() { return FakeMixer.Count("mixerOpen") == 2 && FakeMixer.OpenHandles == 2; }

bool RetryTimerSet() {
  for (const TTimerCall &Timer : Fake.TimersSet)
    if (Timer.Window == MainWindow && Timer.Id == ENDPOINT_RETRY_TIMER_ID && Timer.Period > 0)
      return true;
  return false;
}

// Everything the program took from the endpoints has been given back.
void ExpectAllReleased() {
  EXPECT_EQ(0, FakeEndpoints.LiveObjects);
  EXPECT_EQ(0, FakeEndpoints.DeviceWatchers);
  for (const TFakeDeviceState &Device : FakeEndpoints.Devices)
    EXPECT_EQ(0, Device.Registered);
}

class TEndpointTest : public testing::Test {
protected:
  void SetUp() override {
    Start([] {});
  }
  void TearDown() override { StopProgram(); }

  static void Start(const std::function<void()> &Arrange) {
    StartProgram([&] {
      FakeEndpoints.CreateResult = S_OK;
      Arrange();
    });
  }
  static void Restart(const std::function<void()> &Arrange) {
    StopProgram();
    Start(Arrange);
  }
};

// The controls alone, on fake endpoints without the program.
class EndpointValues : public testing::Test {
protected:
  void SetUp() override {
    ResetFakes();
    FakeEndpoints.CreateResult = S_OK;
  }
};

using EndpointChoice = TEndpointTest;
using EndpointNotifications = TEndpointTest;
using EndpointDevices = TEndpointTest;

TEST_F(EndpointChoice, WorkingEndpointIsUsedAndTheMixerNeverOpened) {
  EXPECT_EQ(DWORD{COINIT_APARTMENTTHREADED}, Fake.ComModel);
  EXPECT_EQ(0, FakeMixer.Count("mixerOpen"));
  ASSERT_TRUE(VolumeControl && MuteControl);
  EXPECT_EQ(32768u, VolumeControl->GetValue());
  // The trial wrote the endpoint's own value back, changing nothing.
  EXPECT_EQ(1, FakeEndpoints.Devices[0].Writes);
  EXPECT_EQ(0.5f, FakeEndpoints.Devices[0].Scalar);
  EXPECT_EQ(1, FakeEndpoints.DeviceWatchers);
  EXPECT_EQ(1, FakeEndpoints.Devices[0].Registered);
}

TEST_F(EndpointChoice, OnlyAnEndpointThatCanNeverServeTakesTheMixerAndReleasesEverything) {
  const std::function<void()> Failures[] = {
      [] { FakeEndpoints.CreateResult = REGDB_E_CLASSNOTREG; }, // XP: no enumerator
      [] { FakeEndpoints.Devices[0].SetResult = E_NOTIMPL; }};  // Wine 8
  for (const auto &Failure : Failures) {
    Restart(Failure);
    EXPECT_TRUE(OnTheMixer());
    ExpectAllReleased();
    EXPECT_EQ(0.5f, FakeEndpoints.Devices[0].Scalar);
    // Only the endpoint asks for a rebinding; another process's message changes nothing.
    const TAudioControl *Before = VolumeControl.get();
    SendMessageA(MainWindow, WM_ENDPOINTREBIND, 0, 0);
    EXPECT_EQ(Before, VolumeControl.get());
  }
}

// At logon: the enumerator's creation or the device's activation fails until the
// service runs. A trial write that fails otherwise does not tell Wine's endpoint either.
TEST_F(EndpointChoice, ServiceNotAnsweringKeepsTheEndpointAndTheNextActionBinds) {
  HRESULT *const Answers[] = {&FakeEndpoints.ServiceResult, &FakeEndpoints.ActivateResult};
  for (HRESULT *Answer : Answers) {
    Restart([&] { *Answer = AUDCLNT_E_SERVICE_NOT_RUNNING; });
    EXPECT_EQ(0, FakeMixer.Count("mixerOpen"));
    EXPECT_FALSE(VolumeControl || MuteControl);
    EXPECT_TRUE(RetryTimerSet());
    *Answer = S_OK;
    VolumeUp();
    EXPECT_EQ(ScalarToFader(0.5f) + 500, ScalarToFader(FakeEndpoints.Devices[0].Scalar));
    EXPECT_EQ(1, FakeEndpoints.DeviceWatchers);
  }
  Restart([] { FakeEndpoints.Devices[0].SetResult = E_FAIL; });
  EXPECT_EQ(0, FakeMixer.Count("mixerOpen"));
  Restart([] { FakeEndpoints.ServiceResult = AUDCLNT_E_SERVICE_NOT_RUNNING; });
  FakeEndpoints.ServiceResult = S_OK;
  FakeEndpoints.Devices[0].SetResult = E_NOTIMPL; // Wine's, once its service answers
  SendMessageA(MainWindow, WM_TIMER, ENDPOINT_RETRY_TIMER_ID, 0);
  EXPECT_FALSE(KillTimer(MainWindow, ENDPOINT_RETRY_TIMER_ID)); // gone with the session
}

// Wine without a driver answers E_FAIL, but so may a Windows at logon.
TEST_F(EndpointChoice, MixerServesAfterEFailAtStartUntilTheEndpointBinds) {
  Restart([] { FakeEndpoints.CreateResult = E_FAIL; });
  EXPECT_TRUE(OnTheMixer());
  SendMessageA(MainWindow, WM_TIMER, ENDPOINT_RETRY_TIMER_ID, 0);
  FakeEndpoints.CreateResult = S_OK;
  Fake.TickCount = LastRebindTick + 999;
  VolumeUp();
  EXPECT_TRUE(OnTheMixer()); // an action tries the endpoint first, at most once a second
  Fake.TickCount = LastRebindTick + 1000;
  VolumeDown();
  EXPECT_EQ(0, FakeMixer.OpenHandles);
  EXPECT_EQ(ScalarToFader(0.5f) - 500, ScalarToFader(FakeEndpoints.Devices[0].Scalar));
}

TEST_F(EndpointChoice, RetriesBackOffToAMinuteAndStartAgainOnceTheServiceHasAnswered) {
  Restart([] { FakeEndpoints.ServiceResult = AUDCLNT_E_SERVICE_NOT_RUNNING; });
  for (int Retry = 0; Retry < 6; ++Retry)
    SendMessageA(MainWindow, WM_TIMER, ENDPOINT_RETRY_TIMER_ID, 0);
  std::vector<UINT> Periods;
  for (const TTimerCall &Timer : Fake.TimersSet)
    Periods.push_back(Timer.Period);
  EXPECT_EQ((std::vector<UINT>{3000, 6000, 12000, 24000, 48000, 60000, 60000}), Periods);
  EXPECT_EQ(6000u, Fake.Tolerances.back());
  FakeEndpoints.ServiceResult = S_OK;
  SendMessageA(MainWindow, WM_TIMER, ENDPOINT_RETRY_TIMER_ID, 0);
  ++FakeEndpoints.Restarts;
  FakeEndpoints.ServiceResult = AUDCLNT_E_SERVICE_NOT_RUNNING;
  VolumeUp();
  EXPECT_EQ(3000u, Fake.TimersSet.back().Period);
}

TEST_F(EndpointChoice, NoDeviceAtStartStaysOnTheEndpointWithAbsentControls) {
  Restart([] { FakeEndpoints.DefaultDevice = NoDevice; });
  EXPECT_EQ(0, FakeMixer.Count("mixerOpen"));
  EXPECT_FALSE(VolumeControl);
  EXPECT_FALSE(MuteControl);
  EXPECT_EQ(1, FakeEndpoints.DeviceWatchers);
  EXPECT_FALSE(RetryTimerSet()); // its arrival is notified
  PumpMessages();
  EXPECT_EQ(IDI_ENMUTEON, TrayImage()); // as for an absent mute switch
  VolumeUp();
  ToggleMute();

  FromAnotherThread([] { FakeSetDefaultDevice(0); });
  PumpMessages();
  ASSERT_TRUE(VolumeControl && MuteControl);
  EXPECT_EQ(IDI_ENMUTEOFF, TrayImage());
}

// A control on the fake default endpoint, with no notification registered.
TEndpointControl ControlOf(TEndpointKind Kind) {
  TComPtr<IMMDeviceEnumerator> Enumerator;
  TComPtr<IMMDevice> Device;
  TComPtr<IAudioEndpointVolume> Endpoint;
  CreateFakeEnumerator(__uuidof(IMMDeviceEnumerator), Enumerator.OutVoid());
  Enumerator->GetDefaultAudioEndpoint(eRender, eConsole, Device.Out());
  Device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_INPROC_SERVER, nullptr,
                   Endpoint.OutVoid());
  return TEndpointControl(Endpoint, Kind, nullptr, WM_ENDPOINTREBIND);
}

TEST_F(EndpointValues, EveryFaderValueReadsBackAsWrittenAndUnchangedWritesSucceed) {
  TEndpointControl Volume = ControlOf(TEndpointKind::Volume);
  DWORD Wrong = 0;
  for (DWORD Value = 0; Value <= FaderTop; ++Value)
    if (!Volume.SetValue(Value) || Volume.GetValue() != Value)
      ++Wrong;
  EXPECT_EQ(0u, Wrong);
  EXPECT_EQ(1.0f, FakeEndpoints.Devices[0].Scalar);
  EXPECT_TRUE(Volume.SetValue(FaderTop)); // S_FALSE: nothing changed
  EXPECT_EQ(TEndpointControl::ChangeContext, FakeEndpoints.Devices[0].LastContext);

  TEndpointControl Mute = ControlOf(TEndpointKind::Mute);
  EXPECT_TRUE(Mute.SetValue(Muted));
  EXPECT_TRUE(Mute.SetValue(Muted));
  EXPECT_EQ(Muted, Mute.GetValue());
  EXPECT_TRUE(Mute.SetValue(Unmuted));
  EXPECT_EQ(Unmuted, Mute.GetValue());
}

TEST_F(EndpointValues, FailedCallSwitchesTheControlOffAndAsksForARebind) {
  TEndpointControl Volume = ControlOf(TEndpointKind::Volume);
  EXPECT_EQ(32768u, Volume.GetValue());
  FakeEndpoints.Devices[0].CallResult = E_FAIL;
  EXPECT_FALSE(Volume.SetValue(100));
  FakeEndpoints.Devices[0].CallResult = S_OK;
  // The last value until the controls are bound anew: never an empty bar.
  EXPECT_EQ(32768u, Volume.GetValue());
  EXPECT_FALSE(Volume.SetValue(100));
  EXPECT_EQ(0.5f, FakeEndpoints.Devices[0].Scalar);
  EXPECT_EQ(1, Queued(WM_ENDPOINTREBIND));
}

TEST_F(EndpointNotifications, ChangeFromAnotherThreadIsOnlyPostedThenTurnsTheTray) {
  PumpMessages();
  ASSERT_EQ(IDI_ENMUTEOFF, TrayImage());
  const size_t TrayCalls = Fake.TrayCalls.size();
  FromAnotherThread([] { FakeExternalChange(0, 0.25f, TRUE); });
  EXPECT_EQ(TrayCalls, Fake.TrayCalls.size());
  MSG Posted = {};
  EXPECT_TRUE(PeekMessageA(&Posted, MainWindow, WM_ENDPOINTCHANGE, WM_ENDPOINTCHANGE, PM_NOREMOVE));
  PumpMessages();
  EXPECT_EQ(IDI_ENMUTEON, TrayImage());
  EXPECT_EQ(16384u, VolumeControl->GetValue());
}

TEST_F(EndpointNotifications, OwnMuteToggleTurnsTheTrayThroughItsNotification) {
  PumpMessages();
  const size_t TrayCalls = Fake.TrayCalls.size();
  ToggleMute();
  EXPECT_EQ(TEndpointControl::ChangeContext, FakeEndpoints.Devices[0].LastContext);
  EXPECT_EQ(TRUE, FakeEndpoints.Devices[0].Mute);
  PumpMessages();
  EXPECT_EQ(TrayCalls + 1, Fake.TrayCalls.size());
  EXPECT_EQ(IDI_ENMUTEON, TrayImage());
}

TEST_F(EndpointDevices, NewDefaultMovesTheNextChangeToIt) {
  FromAnotherThread([] { FakeSetDefaultDevice(Other); });
  EXPECT_EQ(1, Queued(WM_ENDPOINTREBIND)); // the console role's change only
  SendMessageA(MainWindow, WM_ENDPOINTREBIND, 0, 0);
  EXPECT_EQ(0, FakeEndpoints.Devices[0].Registered);
  EXPECT_EQ(1, FakeEndpoints.Devices[Other].Registered);
  VolumeDown();
  EXPECT_EQ(0.5f, FakeEndpoints.Devices[0].Scalar);
  EXPECT_EQ(ScalarToFader(0.5f) - 500, ScalarToFader(FakeEndpoints.Devices[Other].Scalar));
}

TEST_F(EndpointDevices, LossLeavesTheControlsAbsentUntilADeviceReturns) {
  FromAnotherThread([] { FakeSetDefaultDevice(NoDevice); });
  PumpMessages();
  EXPECT_FALSE(VolumeControl);
  EXPECT_FALSE(MuteControl);
  EXPECT_EQ(IDI_ENMUTEON, TrayImage());
  EXPECT_EQ(1, FakeEndpoints.LiveObjects); // the enumerator alone

  FromAnotherThread([] { FakeSetDefaultDevice(0); });
  PumpMessages();
  ASSERT_TRUE(VolumeControl && MuteControl);
  ToggleMute();
  EXPECT_EQ(TRUE, FakeEndpoints.Devices[0].Mute);
}

TEST_F(EndpointDevices, LostDeviceInTheMiddleOfACallRebindsInsteadOfSwitchingOff) {
  FakeEndpoints.Devices[0].CallResult = AUDCLNT_E_DEVICE_INVALIDATED;
  FakeEndpoints.DefaultDevice = Other;
  EXPECT_EQ(0u, VolumeControl->GetValue());
  PumpMessages();
  VolumeDown();
  EXPECT_EQ(ScalarToFader(0.5f) - 500, ScalarToFader(FakeEndpoints.Devices[Other].Scalar));
  FakeEndpoints.FailResult = E_FAIL;
  FakeEndpoints.FailingCalls = 1; // the unmute's read: the retry makes it, and steps no more
  VolumeUp();
  EXPECT_EQ(ScalarToFader(0.5f), ScalarToFader(FakeEndpoints.Devices[Other].Scalar));
  FakeExternalChange(Other, 1.0f, TRUE);
  ShowWindow(MainWindow, SW_HIDE);
  FakeEndpoints.PassingCalls = 2; // the unmute goes through, the fader's read fails
  FakeEndpoints.FailingCalls = 1;
  VolumeUp();
  EXPECT_TRUE(IsWindowVisible(MainWindow)); // the unmute shown, at the top too
}

// The tray's read after each rebind would ask again at once, for ever.
TEST_F(EndpointDevices, EndpointThatKeepsFailingIsReboundAtMostOncePerInterval) {
  Restart([] { Fake.TickCount = 50000; });
  const DWORD Start = *Fake.TickCount;
  FakeEndpoints.Devices[0].CallResult = E_FAIL;
  const LONG Activations = FakeEndpoints.Activations;
  Fake.TimersSet.clear();
  VolumeDown();
  PumpMessages();
  EXPECT_EQ(Activations + 1, FakeEndpoints.Activations);
  EXPECT_TRUE(RetryTimerSet());

  FakeEndpoints.Devices[0].CallResult = S_OK;
  Fake.TickCount = Start + 60000;
  SendMessageA(MainWindow, WM_TIMER, ENDPOINT_RETRY_TIMER_ID, 0);
  EXPECT_EQ(Activations + 2, FakeEndpoints.Activations);
  VolumeDown();
  EXPECT_EQ(ScalarToFader(0.5f) - 500, ScalarToFader(FakeEndpoints.Devices[0].Scalar));
}

// Everything made before a restart of the audio service stays dead.
TEST_F(EndpointDevices, FirstActionAfterTheServiceRestartedBindsAnewAndChangesTheVolume) {
  ++FakeEndpoints.Restarts;
  VolumeDown();
  EXPECT_EQ(ScalarToFader(0.5f) - 500, ScalarToFader(FakeEndpoints.Devices[0].Scalar));
  EXPECT_EQ(2, FakeEndpoints.Enumerators);
  EXPECT_EQ(2, FakeEndpoints.Devices[0].Writes); // the new enumerator made no trial write
  EXPECT_EQ(0, FakeUnheldWatchers());            // the old ones failed to unregister: kept alive
  FromAnotherThread([] { FakeExternalChange(0, 0.25f, TRUE); });
  PumpMessages();
  EXPECT_EQ(IDI_ENMUTEON, TrayImage());
}

TEST_F(EndpointDevices, ShutdownAfterManyRebindsReleasesEverythingBeforeCom) {
  for (int Rebind = 0; Rebind < 300; ++Rebind) {
    FakeSetDefaultDevice(Rebind % 3 == 2 ? NoDevice : Rebind % 2);
    PumpMessages();
  }
  FakeSetDefaultDevice(0);
  PumpMessages();
  EXPECT_EQ(2, FakeEndpoints.LiveObjects); // the enumerator and the bound endpoint
  StopProgram();
  ExpectAllReleased();
  EXPECT_EQ(std::vector<LONG>{0}, Fake.LiveAtUninitialize);
  EXPECT_EQ(0, Fake.ComInitialised);
}

} // namespace
