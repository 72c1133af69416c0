// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <RtMidi.h>

#include <cstdint>
#include <memory>
#include <string>

#include "devices/JackMidiSender.h"
#include "devices/NoteEvent.h"

// One external MIDI output (the -o and -p ports); the first can be a Launchpad whose pads
// light with note messages. Sends come from the sequencer thread only; there is no lock.
//
// Every send takes the time the message is due (seconds on the monotonic clock, see
// MonotonicSeconds; kSendNow for the present). A JACK port is fed through a JackMidiSender of
// the program's own, which writes each message at the frame of that time plus a fixed latency;
// other ports (the ALSA sequencer) go through RtMidi and send at once, as does a JACK port when
// the environment variable ZS_MIDI_OUTPUT_RTMIDI is set (the timing bench compares the two).
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

  // Whether messages leave at their due time (a JACK port) rather than at once.
  bool IsTimed() const { return jack != nullptr; }

  static void PrintMidiOutputs(RtMidi::Api api = RtMidi::UNSPECIFIED);

  static constexpr double kSendNow = -1;

  // Sends a note-on on the event's channel; a note-off goes out as a note-on with velocity
  // 0. Does nothing without an open port.
  void SendEvent(NoteEvent event, double time = kSendNow);
  // A one-byte system real-time message: clock 0xF8, start 0xFA, continue 0xFB, stop 0xFC.
  void SendRealtime(unsigned char status, double time);
  // Song Position Pointer: `beats` sixteenth notes from the start of the song (0..16383).
  void SendSongPosition(int beats, double time);
  // Switches every Launchpad pad off: a velocity-0 note-on for notes 0..127 on channel 1, each
  // sent whether or not the ones before it failed.
  void LaunchpadAllNotesOff(double time = kSendNow);
  // All Notes Off (CC 123) and the sustain pedal up (CC 64 = 0) on every channel a note went
  // out on since Init: what a device may still sound after a note-off was lost.
  void EndAllNotes();

 private:
  void Send(double time, const unsigned char* message, int size);

  std::unique_ptr<RtMidiOut> midiOut;
  std::unique_ptr<JackMidiSender> jack;  // instead of midiOut on a JACK port
  int outputNumber = 0;  // as Init printed it
  bool usable;
  uint16_t usedChannels = 0;  // bit n: a note went out on channel n
};
