// The fader-to-scalar mapping once more, compiled for SSE maths (the program itself
// uses the x87's): every value must read back as written either way.
#include "endpointScale.h"

#include <gtest/gtest.h>

TEST(EndpointScaleWithSse, EveryFaderValueRoundTrips) {
  DWORD Wrong = 0;
  for (DWORD Value = 0; Value <= FaderTop; ++Value)
    if (ScalarToFader(FaderToScalar(Value)) != Value)
      ++Wrong;
  EXPECT_EQ(0u, Wrong);
  EXPECT_EQ(FaderTop, ScalarToFader(1.5f));
  EXPECT_EQ(0u, ScalarToFader(-0.5f));
}
