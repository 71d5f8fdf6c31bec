// The fader's 0..65535 against the endpoint's scalar 0.0..1.0. Writing any fader
// value and reading it back must give the same value, with x87 and SSE maths alike:
// truncating the product would give one less for half of them, so it is rounded.
// Internal linkage, so a test compiled for other floating-point code gets its own copy.
#pragma once

#include <windows.h>

constexpr DWORD FaderTop = 65535;

static inline float FaderToScalar(DWORD Value) {
  if (Value > FaderTop)
    Value = FaderTop;
  return static_cast<float>(Value) / static_cast<float>(FaderTop);
}

// Out-of-range scalars (and NaN) are clamped: another program's value is no promise.
static inline DWORD ScalarToFader(float Scalar) {
  if (!(Scalar > 0.0f))
    return 0;
  if (Scalar >= 1.0f)
    return FaderTop;
  return static_cast<DWORD>(static_cast<double>(Scalar) * FaderTop + 0.5);
}
