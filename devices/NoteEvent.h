// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>

constexpr int kMidiNotes = 128;

// A key pressed or released on the MIDI keyboard, or a note for a MIDI output.
struct NoteEvent {
  bool noteOff = false;
  int32_t note = 0;      // MIDI note 0..127
  int32_t velocity = 0;  // 0..127; 0 for a release
  int32_t channel = 0;   // 0..15; always 0 in events from MidiInput
};

// One flag per MIDI note, true while its key is held.
struct NoteFlags {
  bool held[kMidiNotes] = {};
};

// A controller gesture of the MIDI keyboard, latched until the next poll.
enum SpecialKeyType : int32_t {
  kPitchWheelCentred = 1,  // pitch wheel returned to the centre
  kModWheelZero = 2,       // modulation wheel moved to zero
  kSustainPedal = 3,       // sustain pedal fully down or fully up
};

struct SpecialKey {
  int32_t type = 0;  // a SpecialKeyType; other values mean nothing
};
