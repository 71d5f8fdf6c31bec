#include "fakes.h"
#include "mixerControl.h"

#include <gtest/gtest.h>

TEST(MixerControl, BindsAndReads) {
  ResetFakes();
  TnsMixerControl Control(nullptr, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 0,
                          MIXERCONTROL_CONTROLTYPE_VOLUME);
  EXPECT_EQ(65535u, Control.GetValue());
  EXPECT_EQ(1, FakeMixer.Count("mixerGetControlDetailsA"));
}
