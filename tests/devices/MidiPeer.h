#pragma once
#include <RtMidi.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devices/MidiInput.h"
#include "devices/NoteEvent.h"

using Bytes = std::vector<unsigned char>;

// The far end of the program's MIDI ports: a keyboard and a synthesizer as virtual JACK
// ports, under client names that nothing else uses.
class MidiPeer {
 public:
  // Opens "ZsPeerKeys:<keyboardPort>" (an input for the program) and
  // "ZsPeerSynth:<synthPort>" (an output for the program). False when JACK is not there.
  bool Open(const std::string& keyboardPort, const std::string& synthPort);

  void Play(const Bytes& message);  // sends from the keyboard port
  std::vector<Bytes> Received();    // everything the synth port got so far
  void ClearReceived();
  // Waits until the synth port has `count` messages or the deadline passes.
  bool WaitForReceived(size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(3));

 private:
  static void OnMessage(double, std::vector<unsigned char>* message, void* self);

  std::unique_ptr<RtMidiOut> keys;
  std::unique_ptr<RtMidiIn> synth;
  std::mutex mutex;
  std::vector<Bytes> received;
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

// Polls every millisecond until an event {noteOff, note} comes, or 3 s have passed.
Polled PollUntil(MidiInput& input, bool noteOff, int note);
