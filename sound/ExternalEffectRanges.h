// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <algorithm>

// The controls of the chain's external reverb and equalizer, in port order: the range each
// allows and the value a fresh chain starts with. The chain, the project file and the effects
// subpages all limit values to these ranges.
struct ExternalParamRange {
  double min;
  double max;
  double initial;
  constexpr double Limit(double value) const { return std::clamp(value, min, max); }
};

// In Delay, LF X, Low RT60, Mid RT60, HF Damping, Eq1 Freq, Eq1 Level, Eq2 Freq, Eq2 Level,
// Dry/Wet Mix, Level.
inline constexpr ExternalParamRange kExternalReverbRanges[11] = {
    {20, 100, 60},        {50, 1000, 105.737}, {1, 8, 1.68179},   {1, 8, 1.68179},
    {1500, 23520, 2984.89}, {40, 2500, 112.468}, {-15, 15, 0},      {160, 10000, 449.873},
    {-15, 15, 0},         {-1, 1, 0},          {-70, 40, 6},
};
// Gain, then the ten bands in dB.
inline constexpr ExternalParamRange kExternalEqualizerRanges[11] = {
    {0, 4, 1},     {-12, 12, 0}, {-12, 12, 0}, {-12, 12, 0}, {-12, 12, 0}, {-12, 12, 0},
    {-12, 12, 0},  {-12, 12, 0}, {-12, 12, 0}, {-12, 12, 0}, {-12, 12, 0},
};
