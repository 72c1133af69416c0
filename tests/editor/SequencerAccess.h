// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// The Sequencer names this class its friend: it puts the editor into states whose keys belong to
// other subpages' handlers, and plays into its MIDI input as RtMidi's thread would, without a port.
#include <string>
#include <vector>

#include "devices/MidiInput.h"
#include "editor/Sequencer.h"

class ScreenTestAccess {
 public:
  static void Cursor(Sequencer& s, int note, int step) { s.noteCursor = note, s.stepCursor = step; }
  static void Octave(Sequencer& s, int octave) { s.octave = octave; }
  static void Mixer(Sequencer& s, int track, int param) { s.mixerTrack = track, s.mixerParam = param; }
  static void Fx(Sequencer& s, int fx, int extReverb, int extEq) {
    s.fxParam = fx, s.extReverbParam = extReverb, s.extEqParam = extEq;
  }
  static void EqProgram(Sequencer& s, int index) { s.eqProgramSelecting = true, s.eqProgramIndex = index; }
  static void AttribEdit(Sequencer& s, int field, const std::string& typed) {
    s.attribEdit.active = true, s.attribEdit.field = field, s.attribEdit.buffer = typed;
  }
  static void SessionCursor(Sequencer& s, int k) { s.sessionCursor = k; }
  // One message through the RtMidi callback; the input counts as open from then on.
  static void Midi(Sequencer& s, std::vector<unsigned char> message) {
    s.midiInputOk = true;
    MidiInput::MidiCallback(0, &message, s.midiInput.get());
  }
};
