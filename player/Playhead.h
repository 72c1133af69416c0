// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>
#include <vector>

// One part of the song: a session played for `length` steps.
struct SongPart {
  int32_t session = 0;
  int32_t length = 0;
  bool operator==(const SongPart&) const = default;
};

using Song = std::vector<SongPart>;

// The playback position, handed out by value. Each track has its own step because tracks
// have their own play ranges; `fraction` is the position within the current step, 0 <= f < 1.
struct Playhead {
  int32_t songPart = 0;
  int32_t partStep = 0;
  int32_t stepCount = 0;  // steps played since playback started
  int32_t session = 0;
  int32_t trackStep[12] = {};
  double fraction = 0;
};
