// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <RtMidi.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/JackMidiReceiver.h"

using Bytes = std::vector<unsigned char>;

// The far end of the program's MIDI ports: a keyboard and a synthesizer as virtual JACK
// ports. Tests run in parallel on one JACK server, so the client names carry the process id.
class MidiPeer {
 public:
  bool Open(const std::string& keyboardPort, const std::string& synthPort);
  ~MidiPeer();
  // In lower case, as MidiInput and MidiOutput list them.
  std::string KeysPort() const { return keysPort; }
  std::string SynthPort() const { return synthPort; }

  void Play(const Bytes& message);  // from the keyboard port
  void UnplugKeys();
  std::vector<Bytes> Received() { return synth.Received(); }  // by the synth port so far
  void ClearReceived() { synth.Clear(); }

  // JACK drops a period's messages when a client misses its deadline, as happens on a busy
  // machine: calls `send` until the synth port has `count` messages, up to four times.
  bool SendUntilReceived(const std::function<void()>& send, size_t count);

 private:
  std::string keysPort, synthPort;
  std::unique_ptr<RtMidiOut> keys;
  zs::test::JackMidiReceiver synth;
};

// RtMidi's own choice where the ALSA sequencer is missing (the fallback to JACK is then part
// of the test); JACK by name where ALSA works, since the peer's ports are on JACK.
RtMidi::Api ApiUnderTest();
