// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>

// One note of a step. Only note, velocity, gate, gateFraction and offset are persistent;
// channel, output and pitchChange are playback copies the player fills in, and the two
// reserved bytes ride along unchanged. Ten bytes, copied by value everywhere.
struct Note {
  uint8_t note = 0;          // MIDI note 0..127; the key of a note within its step
  uint8_t velocity = 0;      // 0..127
  uint8_t gate = 0;          // whole steps
  uint8_t gateFraction = 0;  // additional 1/128 steps
  uint8_t offset = 0;        // start within the step in 1/128 steps, 0..127
  uint8_t channel = 0;
  uint8_t output = 0;        // 0 internal synthesizer, 1 and 2 the MIDI outputs
  uint8_t pitchChange = 0;   // 64 means none
  uint8_t reserved[2] = {0, 0};
};
static_assert(sizeof(Note) == 10);

bool compareNotesAscending(const Note& a, const Note& b);
bool compareOffsetsAscending(const Note& a, const Note& b);
bool compareOffsetsThenNotesAscending(const Note& a, const Note& b);
