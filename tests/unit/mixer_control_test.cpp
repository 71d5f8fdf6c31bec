// TnsMixerControl against the fake mixer: the calls it makes and their arguments, and
// how every failure leaves the object inert for good.
#include "fakes.h"
#include "mixerControl.h"
#include "systemLibrary.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using TNames = std::vector<std::string>;

const HWND Window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x4242));
constexpr DWORD Speakers = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
constexpr DWORD Volume = MIXERCONTROL_CONTROLTYPE_VOLUME;
constexpr DWORD Mute = MIXERCONTROL_CONTROLTYPE_MUTE;
constexpr DWORD WaveOut = MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
constexpr DWORD CompactDisc = MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
constexpr DWORD Synthesizer = MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER;
constexpr MMRESULT Failure = MMSYSERR_NODRIVER;

const TNames Binding = {"mixerGetNumDevs", "mixerOpen", "mixerGetLineInfoW",
                        "mixerGetLineControlsW"};

class TMixerTest : public ::testing::Test {
protected:
  void SetUp() override { ResetFakes(); }

  std::unique_ptr<TnsMixerControl> Bind(DWORD Source = 0, DWORD Control = Volume) {
    return std::make_unique<TnsMixerControl>(Window, Speakers, Source, Control);
  }

  static const TMixerCall &Last() { return FakeMixer.Calls.back(); }

  // The handle handed out by the n-th mixerOpen.
  static UINT_PTR Opened(int Index = 0) {
    for (const TMixerCall &Call : FakeMixer.Calls)
      if (Call.Function == "mixerOpen" && Index-- == 0)
        return Call.Mixer;
    return 0;
  }

  static void ExpectCallsOn(UINT_PTR Handle, size_t From = 0) {
    ASSERT_NE(0u, Handle);
    for (size_t I = From; I < FakeMixer.Calls.size(); ++I) {
      const TMixerCall &Call = FakeMixer.Calls[I];
      if (Call.Function != "mixerGetNumDevs" && Call.Function != "mixerOpen") {
        EXPECT_EQ(Handle, Call.Mixer) << Call.Function << " #" << I;
      }
    }
  }

  static void ExpectClosedLast() {
    EXPECT_EQ("mixerClose", Last().Function);
    EXPECT_EQ(Opened(), Last().Mixer);
  }

  // One value for the bound control, by value, whatever the channel count.
  static void ExpectValueRequest(const TMixerCall &Call, DWORD ControlId) {
    EXPECT_EQ(24u, Call.StructSize);
    EXPECT_EQ(ControlId, Call.ControlId);
    EXPECT_EQ(0u, Call.MultipleItems);
    EXPECT_EQ(4u, Call.DetailsSize);
    EXPECT_EQ(0u, Call.Flags);
  }

  // An inert object answers 0 and FALSE without touching the mixer or its last error.
  static void ExpectInert(TnsMixerControl &Control) {
    const size_t Before = FakeMixer.Calls.size();
    const MMRESULT Error = Control.LastError;
    FakeMixer.GetResult = FakeMixer.SetResult = MMSYSERR_NOERROR;
    EXPECT_EQ(0u, Control.GetValue());
    EXPECT_FALSE(Control.SetValue(7));
    EXPECT_EQ(Before, FakeMixer.Calls.size());
    EXPECT_EQ(0u, Control.Ready);
    EXPECT_EQ(Error, Control.LastError);
  }
};

using MixerLibrary = TMixerTest;
using MixerBinding = TMixerTest;
using MixerValues = TMixerTest;
using MixerChannels = TMixerTest;
using MixerSourceLine = TMixerTest;

// winmm is not a static import: a copy planted beside the program would be loaded.
TEST_F(MixerLibrary, WinmmIsAskedForInTheSystemFolderAlone) {
  Bind();
  SystemFolderSearch = true;
  Bind();
  ASSERT_EQ(2u, FakeLoader.Requests.size());
  EXPECT_EQ(SystemFolderPath(L"winmm.dll"), FakeLoader.Requests[0].Name);
  EXPECT_EQ(DWORD{LOAD_WITH_ALTERED_SEARCH_PATH}, FakeLoader.Requests[0].Flags);
  EXPECT_EQ(L"winmm.dll", FakeLoader.Requests[1].Name);
  EXPECT_EQ(DWORD{LOAD_LIBRARY_SEARCH_SYSTEM32}, FakeLoader.Requests[1].Flags);
  EXPECT_EQ(2, FakeMixer.Count("mixerOpen"));
}

TEST_F(MixerLibrary, MissingWinmmOrFunctionLeavesObjectInertWithoutAMixerCall) {
  FakeLoader.WinmmMissing = true;
  auto Control = Bind();
  ExpectInert(*Control);
  FakeLoader.WinmmMissing = false;
  FakeLoader.MissingFunction = "mixerSetControlDetails";
  auto Incomplete = Bind();
  ExpectInert(*Incomplete);
  Control.reset();
  Incomplete.reset();
  EXPECT_TRUE(FakeMixer.Calls.empty());
}

TEST_F(MixerBinding, BindsSpeakersVolumeWithTheExactCallsAndClosesItsHandle) {
  auto Control = Bind();
  ASSERT_EQ(Binding, FakeMixer.Functions());
  const TMixerCall &Open = FakeMixer.Calls[1];
  EXPECT_EQ(0u, Open.Device);
  EXPECT_EQ(reinterpret_cast<DWORD_PTR>(Window), Open.Callback);
  EXPECT_EQ(0u, Open.Instance);
  EXPECT_EQ(0x10000u, Open.Flags);
  const TMixerCall &Line = FakeMixer.Calls[2];
  EXPECT_EQ(280u, Line.StructSize);
  EXPECT_EQ(0x80000003u, Line.Flags);
  EXPECT_EQ(4u, Line.ComponentType);
  const TMixerCall &Query = FakeMixer.Calls[3];
  EXPECT_EQ(24u, Query.StructSize);
  EXPECT_EQ(FakeMixer.SpeakersLineId, Query.LineId);
  EXPECT_EQ(Volume, Query.ControlType);
  EXPECT_EQ(1u, Query.ControlCount);
  EXPECT_EQ(228u, Query.ControlSize);
  EXPECT_EQ(0x80000002u, Query.Flags);
  ExpectCallsOn(Opened());

  EXPECT_EQ(TnsMixerControl::ReadyTrue, Control->Ready);
  EXPECT_EQ(1u, Control->ControlId);
  EXPECT_EQ(MMSYSERR_NOERROR, Control->LastError);
  EXPECT_EQ(Opened(), reinterpret_cast<UINT_PTR>(Control->MixerHandle));

  Control.reset();
  ExpectClosedLast();
  EXPECT_EQ(0, FakeMixer.OpenHandles);
}

TEST_F(MixerBinding, TwoObjectsOpenTheDeviceTwiceAndCloseBothHandles) {
  auto VolumeControl = Bind(0, Volume);
  auto MuteControl = Bind(0, Mute);
  EXPECT_NE(Opened(0), Opened(1));
  EXPECT_EQ(2, FakeMixer.OpenHandles);
  EXPECT_EQ(1u, VolumeControl->ControlId);
  EXPECT_EQ(2u, MuteControl->ControlId);
  ExpectCallsOn(Opened(1), Binding.size());

  const size_t Before = FakeMixer.Calls.size();
  EXPECT_EQ(0u, MuteControl->GetValue());
  EXPECT_EQ(65535u, VolumeControl->GetValue());
  EXPECT_EQ(Opened(1), FakeMixer.Calls[Before].Mixer);
  EXPECT_EQ(Opened(0), FakeMixer.Calls[Before + 1].Mixer);

  VolumeControl.reset();
  MuteControl.reset();
  EXPECT_EQ(2, FakeMixer.Count("mixerClose"));
  EXPECT_EQ(Opened(0), FakeMixer.Calls[Before + 2].Mixer);
  EXPECT_EQ(Opened(1), FakeMixer.Calls[Before + 3].Mixer);
}

TEST_F(MixerBinding, NoDeviceMakesNoFurtherCallAndNothingToClose) {
  FakeMixer.Devices = 0;
  auto Control = Bind();
  EXPECT_EQ(TNames{"mixerGetNumDevs"}, FakeMixer.Functions());
  EXPECT_EQ(MMSYSERR_NOERROR, Control->LastError);
  ExpectInert(*Control);
  Control.reset();
  EXPECT_EQ(TNames{"mixerGetNumDevs"}, FakeMixer.Functions());
}

TEST_F(MixerBinding, FailedOpenKeepsItsCodeAndClosesNothing) {
  FakeMixer.OpenResult = MMSYSERR_ALLOCATED;
  auto Control = Bind();
  EXPECT_EQ((TNames{"mixerGetNumDevs", "mixerOpen"}), FakeMixer.Functions());
  EXPECT_EQ(MMSYSERR_ALLOCATED, Control->LastError);
  ExpectInert(*Control);
  Control.reset();
  EXPECT_EQ(0, FakeMixer.Count("mixerClose"));
}

TEST_F(MixerBinding, MissingSpeakersLineLeavesHandleOpenUntilDestroyed) {
  FakeMixer.HasSpeakersLine = false;
  auto Control = Bind();
  EXPECT_EQ((TNames{"mixerGetNumDevs", "mixerOpen", "mixerGetLineInfoW"}), FakeMixer.Functions());
  EXPECT_EQ(MMSYSERR_NOERROR, Control->LastError);
  EXPECT_EQ(Opened(), reinterpret_cast<UINT_PTR>(Control->MixerHandle));
  ExpectInert(*Control);
  Control.reset();
  ExpectClosedLast();
}

TEST_F(MixerBinding, MissingControlLeavesObjectUnboundAndClosesHandle) {
  FakeMixer.ControlIds.erase(Volume);
  auto Control = Bind();
  EXPECT_EQ(Binding, FakeMixer.Functions());
  EXPECT_EQ(MMSYSERR_NOERROR, Control->LastError);
  ExpectInert(*Control);
  Control.reset();
  ExpectClosedLast();
}

TEST_F(MixerValues, GetValueReadsTheBoundControlWithAOneValueRequest) {
  FakeMixer.Values[1] = 12345;
  auto Control = Bind();
  EXPECT_EQ(12345u, Control->GetValue());
  EXPECT_EQ("mixerGetControlDetailsW", Last().Function);
  ExpectValueRequest(Last(), 1);
  ExpectCallsOn(Opened());
  EXPECT_EQ(TnsMixerControl::ReadyTrue, Control->Ready);
}

TEST_F(MixerValues, SetValueReadsFirstThenWritesEvenTheValueAlreadySet) {
  auto Control = Bind(0, Mute);
  EXPECT_TRUE(Control->SetValue(1));
  EXPECT_TRUE(Control->SetValue(1));
  const TNames Functions = FakeMixer.Functions();
  EXPECT_EQ((TNames{"mixerGetControlDetailsW", "mixerSetControlDetails", "mixerGetControlDetailsW",
                    "mixerSetControlDetails"}),
            TNames(Functions.begin() + 4, Functions.end()));
  for (size_t I = 4; I < FakeMixer.Calls.size(); ++I)
    ExpectValueRequest(FakeMixer.Calls[I], 2);
  EXPECT_EQ(1u, FakeMixer.Calls[5].Value);
  EXPECT_EQ(1u, FakeMixer.Calls[7].Value);
  ExpectCallsOn(Opened());
  EXPECT_EQ(1u, FakeMixer.Values[2]);
  EXPECT_EQ(TnsMixerControl::ReadyTrue, Control->Ready);
  EXPECT_EQ(MMSYSERR_NOERROR, Control->LastError);
}

TEST_F(MixerValues, FailedReadSwitchesObjectOffForGood) {
  auto Control = Bind();
  FakeMixer.GetResult = Failure;
  EXPECT_EQ(0u, Control->GetValue());
  EXPECT_EQ(Failure, Control->LastError);
  ExpectInert(*Control);
}

TEST_F(MixerValues, SetValueWhosePreliminaryReadFailsWritesNothing) {
  auto Control = Bind();
  FakeMixer.GetResult = Failure;
  EXPECT_FALSE(Control->SetValue(100));
  EXPECT_EQ("mixerGetControlDetailsW", Last().Function);
  EXPECT_EQ(0, FakeMixer.Count("mixerSetControlDetails"));
  EXPECT_EQ(65535u, FakeMixer.Values[1]);
  EXPECT_EQ(Failure, Control->LastError);
  ExpectInert(*Control);
}

TEST_F(MixerValues, FailedWriteSwitchesObjectOffForGood) {
  auto Control = Bind();
  FakeMixer.SetResult = Failure;
  EXPECT_FALSE(Control->SetValue(100));
  EXPECT_EQ("mixerSetControlDetails", Last().Function);
  EXPECT_EQ(Failure, Control->LastError);
  ExpectInert(*Control);
}

TEST_F(MixerValues, NestedCallDuringReadIsRefusedAndOuterCallCompletes) {
  auto Control = Bind();
  std::vector<DWORD> Nested;
  bool Inner = false; // a missing busy mark must fail the test, not recurse without end
  FakeMixer.DuringGet = [&] {
    if (Inner)
      return;
    Inner = true;
    const size_t Before = FakeMixer.Calls.size();
    Nested.push_back(Control->Ready);
    Nested.push_back(Control->GetValue());
    Nested.push_back(static_cast<DWORD>(Control->SetValue(7)));
    Nested.push_back(static_cast<DWORD>(FakeMixer.Calls.size() - Before));
    Inner = false;
  };
  EXPECT_EQ(65535u, Control->GetValue());
  EXPECT_EQ((std::vector<DWORD>{0, 0, 0, 0}), Nested);
  EXPECT_EQ(TnsMixerControl::ReadyTrue, Control->Ready);

  Nested.clear();
  EXPECT_TRUE(Control->SetValue(300));
  EXPECT_EQ((std::vector<DWORD>{0, 0, 0, 0}), Nested);
  EXPECT_EQ("mixerSetControlDetails", Last().Function);
  EXPECT_EQ(300u, FakeMixer.Values[1]);
  EXPECT_EQ(TnsMixerControl::ReadyTrue, Control->Ready);
  EXPECT_EQ(MMSYSERR_NOERROR, Control->LastError);
}

// The channel count of every read and write request made on a line of that many channels.
std::vector<DWORD> RequestedChannels(DWORD LineChannels) {
  ResetFakes();
  FakeMixer.LineChannels = LineChannels;
  TnsMixerControl Control(Window, Speakers, 0, Volume);
  EXPECT_EQ(TnsMixerControl::ReadyTrue, Control.Ready);
  Control.GetValue();
  Control.SetValue(1000);
  std::vector<DWORD> Channels;
  for (const TMixerCall &Call : FakeMixer.Calls)
    if (Call.Function == "mixerGetControlDetailsW" || Call.Function == "mixerSetControlDetails") {
      EXPECT_EQ(4u, Call.DetailsSize);
      Channels.push_back(Call.Channels);
    }
  return Channels;
}

// A request for 0 channels is refused for a fader or a switch: a mono line that asked
// for 0 would fail its first read and stay inert for good.
TEST_F(MixerChannels, OneChannelLineAsksForOneUniformValue) {
  EXPECT_EQ((std::vector<DWORD>{1, 1, 1}), RequestedChannels(1));
}

TEST_F(MixerChannels, LineReportingNoChannelsAsksForOne) {
  EXPECT_EQ((std::vector<DWORD>{1, 1, 1}), RequestedChannels(0));
}

TEST_F(MixerChannels, TwoChannelLineAsksForOne) {
  EXPECT_EQ((std::vector<DWORD>{1, 1, 1}), RequestedChannels(2));
}

TEST_F(MixerChannels, SixChannelLineAsksForOneUniformValueSoTheBufferIsNotOverrun) {
  EXPECT_EQ((std::vector<DWORD>{1, 1, 1}), RequestedChannels(6));
}

TEST_F(MixerSourceLine, DestinationIsBoundDirectlyWhenNoSourceTypeIsGiven) {
  FakeMixer.SourceTypes = {WaveOut, CompactDisc};
  auto Control = Bind(0);
  EXPECT_EQ(Binding, FakeMixer.Functions());
  EXPECT_EQ(FakeMixer.SpeakersLineId, Last().LineId);
  EXPECT_EQ(TnsMixerControl::ReadyTrue, Control->Ready);
}

TEST_F(MixerSourceLine, SearchStopsAtFirstMatchingSourceAndBindsOnIt) {
  FakeMixer.SourceTypes = {WaveOut, CompactDisc, Synthesizer, CompactDisc};
  auto Control = Bind(CompactDisc);
  EXPECT_EQ((TNames{"mixerGetNumDevs", "mixerOpen", "mixerGetLineInfoW", "mixerGetLineInfoW",
                    "mixerGetLineInfoW", "mixerGetLineControlsW"}),
            FakeMixer.Functions());
  for (DWORD Source = 0; Source < 2; ++Source) {
    const TMixerCall &Query = FakeMixer.Calls[3 + Source];
    EXPECT_EQ(280u, Query.StructSize);
    EXPECT_EQ(1u, Query.Flags);
    EXPECT_EQ(0u, Query.Destination);
    EXPECT_EQ(Source, Query.Source);
  }
  EXPECT_EQ(2u, Last().LineId); // the fake numbers source i's line i + 1
  ExpectCallsOn(Opened());
  EXPECT_EQ(TnsMixerControl::ReadyTrue, Control->Ready);
}

TEST_F(MixerSourceLine, NoMatchingSourceLeavesObjectUnbound) {
  FakeMixer.SourceTypes = {WaveOut, CompactDisc};
  auto Control = Bind(Synthesizer);
  EXPECT_EQ(3, FakeMixer.Count("mixerGetLineInfoW"));
  EXPECT_EQ(0, FakeMixer.Count("mixerGetLineControlsW"));
  ExpectInert(*Control);
}

TEST_F(MixerSourceLine, DestinationWithoutSourceLinesLeavesObjectUnbound) {
  auto Control = Bind(WaveOut);
  EXPECT_EQ(0, FakeMixer.Count("mixerGetLineControlsW"));
  ExpectInert(*Control);
  Control.reset();
  ExpectClosedLast();
}

} // namespace
