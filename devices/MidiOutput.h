// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <RtMidi.h>

#include <cstdint>
#include <memory>
#include <string>

#include "devices/NoteEvent.h"

// One external MIDI output (the -o and -p ports); the first can be a Launchpad whose pads
// light with note messages. Sends come from the sequencer thread only; there is no lock.
class MidiOutput {
 public:
  MidiOutput();
  ~MidiOutput();
  MidiOutput(const MidiOutput&) = delete;
  MidiOutput& operator=(const MidiOutput&) = delete;

  // Opens the first output port whose lower-cased name contains `name`; `number` (0 or 1)
  // only names the output in the message. An empty name means no output is wanted and
  // creates nothing. `api` is RtMidi's choice unless a test names one.
  bool Init(const std::string& name, int number, RtMidi::Api api = RtMidi::UNSPECIFIED);
  // Ends every note this output may have left sounding (EndAllNotes), then closes the port.
  void Shutdown();
  bool IsUsable() const;

  static void PrintMidiOutputs(RtMidi::Api api = RtMidi::UNSPECIFIED);

  // Sends a note-on on the event's channel; a note-off goes out as a note-on with velocity
  // 0. Does nothing without an open port.
  void SendEvent(NoteEvent event);
  // Switches every Launchpad pad off: a velocity-0 note-on for notes 0..127 on channel 1, each
  // sent whether or not the ones before it failed.
  void LaunchpadAllNotesOff();
  // All Notes Off (CC 123) and the sustain pedal up (CC 64 = 0) on every channel a note went
  // out on since Init: what a device may still sound after a note-off was lost.
  void EndAllNotes();

 private:
  void Send(unsigned char status, unsigned char data1, unsigned char data2);

  std::unique_ptr<RtMidiOut> midiOut;
  bool usable;
  uint16_t usedChannels = 0;  // bit n: a note went out on channel n
};
