// The one volume fader or mute switch the rest of the program calls, whichever way
// the platform offers to reach the speakers: the endpoint of Vista and later, or
// the first mixer device where there is no endpoint to use (XP, Wine).
#pragma once

#include <windows.h>

class TAudioControl {
public:
  virtual ~TAudioControl() = default;

  // The fader's 0..65535, or the switch's 1 (muted) and 0; 0 as well when the
  // control cannot be read.
  virtual DWORD GetValue() = 0;
  // TRUE when the value was written.
  virtual BOOL SetValue(DWORD Value) = 0;
  // True once a call has failed on a control that can be bound anew.
  virtual bool Lost() const { return false; }
};
