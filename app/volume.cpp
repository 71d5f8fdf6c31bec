// Volume up and down with an accelerating step, and the mute toggle: the only code
// that writes the two mixer controls.
#include "main.h"

#include <algorithm>

DWORD KnownVolume;
DWORD KnownMute;

namespace {

constexpr int FaderMin = 0;
constexpr DWORD QuickInterval = 100; // ms: faster actions make the step grow
constexpr DWORD PauseInterval = 800; // ms: this long or longer resets the step
// A pause this long starts the step over before the action moves the fader, whatever
// the display does: a fine adjustment after a sweep moves by the smallest step.
constexpr DWORD StartOverPause = 1800;  // ms
constexpr DWORD StaleDisplayAge = 5000; // ms: an action that changes nothing still shows

// Elapsed time is an unsigned difference, so it stays right across the wrap of the
// tick counter. The step grows and shrinks by the smallest step: equal smallest and
// largest steps never grow.
void AdaptStep(DWORD Elapsed) {
  if (Elapsed < QuickInterval) {
    Step += MinStep;
    if (Step > MaxStep)
      Step = MaxStep;
  } else if (Elapsed < PauseInterval) {
    Step -= MinStep;
    if (Step < MinStep)
      Step = MinStep;
  } else {
    Step = MinStep;
  }
}

// What an action has done so far. Its retry on controls bound anew makes only the
// calls that failed: a write that went through is not made twice, and an unmute
// made before the failure is still shown.
struct TActionProgress {
  bool Unmuted;
  bool Moved; // the fader holds New
  int Old;
  int New;
};

// The fader moves by the step as it was; the interval to the previous action only
// shapes the next one. The tick is read after the mixer calls, so an interval runs
// from the end of one action to the end of the next. False when a control was lost
// on the way: the action has changed and shown nothing.
bool MoveVolume(int Direction, TActionProgress &Done) {
  if (GetTickCount() - LastChangeTick >= StartOverPause)
    Step = MinStep;
  if (!Done.Moved) {
    Done.Old = static_cast<int>(VolumeControl->GetValue());
    Done.New = std::clamp(Done.Old + Direction * Step, FaderMin, FaderMax);
    if (Done.New != Done.Old)
      VolumeControl->SetValue(static_cast<DWORD>(Done.New));
    Done.Moved = !VolumeControl->Lost();
    KnownVolume = static_cast<DWORD>(Done.New);
  }
  if (AudioControlsLost())
    return false;
  const DWORD Now = GetTickCount();
  const DWORD Elapsed = Now - LastChangeTick;
  AdaptStep(Elapsed);
  LastChangeTick = Now;
  // Unmuting changes the text as well as the bar: a display left reading "Mute"
  // while the speakers play would be wrong.
  if (Done.Unmuted)
    ShowDisplay(CHANGE_MUTE);
  else if (Done.New != Done.Old || Elapsed > StaleDisplayAge)
    ShowDisplay(CHANGE_VOLUME);
  return true;
}

// True when the switch was on and has been turned off.
bool Unmute() {
  const bool WasMuted = MuteControl->GetValue() == Muted;
  MuteControl->SetValue(Unmuted);
  KnownMute = Unmuted;
  return WasMuted;
}

// Each returns false when a control was lost on the way; an absent control is
// nothing to do.
bool TryVolumeUp(TActionProgress &Done) {
  if (!VolumeControl)
    return true;
  if (MuteControl && Unmute())
    Done.Unmuted = true;
  return MoveVolume(+1, Done);
}

bool TryVolumeDown(TActionProgress &Done) { return !VolumeControl || MoveVolume(-1, Done); }

bool TryToggleMute(TActionProgress &) {
  if (!MuteControl)
    return true;
  KnownMute = MuteControl->GetValue() == Unmuted ? Muted : Unmuted;
  MuteControl->SetValue(KnownMute);
  if (AudioControlsLost())
    return false;
  LastChangeTick = GetTickCount();
  ShowDisplay(CHANGE_MUTE);
  return true;
}

// Controls whose service has restarted fail at their first call after it. The
// action is then carried on once more on controls bound anew at once, so the first
// action after the service is back works; one that fails again shows nothing.
void ActOnControls(bool (*Action)(TActionProgress &)) {
  TActionProgress Done = {};
  BindAbsentAudioControls();
  if (!Action(Done)) {
    BindAbsentAudioControls();
    Action(Done);
  }
}

} // namespace

void VolumeUp() { ActOnControls(TryVolumeUp); }

void VolumeDown() { ActOnControls(TryVolumeDown); }

void ToggleMute() { ActOnControls(TryToggleMute); }

// The controls tell of every change, the program's own too: only a level or mute
// state other than the last known one was made elsewhere. Shown only while the
// controls are on, since only then does the display hide again.
void FollowControlChange() {
  ModifyTrayIcon();
  if (Settings[DISPLAY_OTHER_CHANGES] == 0 || !Enabled || !VolumeControl || !MuteControl)
    return;
  const DWORD Volume = VolumeControl->GetValue();
  const DWORD Mute = MuteControl->GetValue();
  if (Volume == KnownVolume && Mute == KnownMute)
    return;
  const TChangeKind Change = Mute != KnownMute ? CHANGE_MUTE : CHANGE_VOLUME;
  KnownVolume = Volume;
  KnownMute = Mute;
  LastChangeTick = GetTickCount();
  ShowDisplay(Change);
}
