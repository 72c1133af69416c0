// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <RtMidi.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devices/MidiInput.h"
#include "devices/NoteEvent.h"
#include "tests/support/JackMidiReceiver.h"

using Bytes = std::vector<unsigned char>;

// The far end of the program's MIDI ports: a keyboard and a synthesizer as virtual JACK
// ports. Tests run in parallel on one JACK server, so the client names carry the process id.
class MidiPeer {
 public:
  // Opens "ZsPeerKeys<id>:<keyboardPort>" (an input for the program) and
  // "ZsPeerSynth<id>:<synthPort>" (an output for the program). False when JACK is not there.
  bool Open(const std::string& keyboardPort, const std::string& synthPort);
  ~MidiPeer();
  // The full port names in lower case, as MidiInput and MidiOutput list them.
  std::string KeysPort() const { return keysPort; }
  std::string SynthPort() const { return synthPort; }

  void Play(const Bytes& message);  // sends from the keyboard port
  void UnplugKeys();                // the keyboard port disappears
  std::vector<Bytes> Received() { return synth.Received(); }  // everything the synth port got so far
  void ClearReceived() { synth.Clear(); }

  // JACK drops a period's messages when a client misses its deadline, as happens on a busy
  // machine, so these try again, up to four times.
  // Calls `send` until the synth port has `count` messages; clears them before each try.
  bool SendUntilReceived(const std::function<void()>& send, size_t count);

 private:
  std::string keysPort, synthPort;
  std::unique_ptr<RtMidiOut> keys;
  zs::test::JackMidiReceiver synth;
};

// The API the code under test uses: RtMidi's own choice where the ALSA sequencer is missing
// (the fallback to JACK is then part of the test); JACK by name where ALSA works, since the
// peer's ports are on JACK.
RtMidi::Api ApiUnderTest();

// What the polls of a MidiInput returned until a wanted event came.
struct Polled {
  bool arrived = false;
  std::vector<NoteEvent> events;  // of all polls, in order
  int pitchWheelPolls = 0;        // polls that reported the gesture
  int sustainPolls = 0;
  int modWheelPolls = 0;
  NoteFlags flags;  // of the last poll
  bool anyKeyHeld = false;
  int singleNote = -1;
};

// Polls every millisecond until an event {noteOff, note} comes or the deadline passes,
// adding to `soFar`.
Polled PollUntil(MidiInput& input, bool noteOff, int note,
                 std::chrono::milliseconds deadline = std::chrono::seconds(3), Polled soFar = {});

// Plays `messages` on the peer's keyboard until the event {noteOff, note} comes out of
// `input`, playing them again (up to four times) when JACK has dropped them.
Polled Deliver(MidiPeer& peer, MidiInput& input, const std::vector<Bytes>& messages, bool noteOff, int note);
