// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <algorithm>
#include <cstdint>

// Shared by the project reader and writer. Loading limits every stored value to the range the
// editor allows; saving writes values through the same limits, so that a saved project always
// loads back to exactly what was saved (a store fresh from SessionsStore::Clear, for one,
// holds external reverb parameters of 0, below their ranges).

constexpr int kProjectVersion = 9;
constexpr int kMaxSongParts = 15;

struct IntRange {
  int min;
  int max;
  constexpr int Limit(int64_t value) const { return static_cast<int>(std::clamp<int64_t>(value, min, max)); }
};

constexpr IntRange kBpmRange{1, 255};
constexpr IntRange kScaleRange{0, 15};
constexpr IntRange kBaseRange{0, 11};
constexpr IntRange kMidiValueRange{0, 127};  // velocity, volume, pan, pitch, note offset
constexpr IntRange kChannelRange{0, 15};
constexpr IntRange kOutputRange{0, 2};
constexpr IntRange kLayerRange{0, 11};
constexpr IntRange kReverbRange{0, 100};  // hundredths, each of the four values
// Voices, level in tenths, speed in tenths of a hertz, depth in ms, wave type.
constexpr IntRange kChorusRanges[5] = {{0, 99}, {0, 100}, {1, 50}, {0, 21}, {0, 1}};
// Gates are bytes; recording can produce values beyond the editor's 127 whole steps and a
// fraction of 128.
constexpr IntRange kGateRange{0, 255};
