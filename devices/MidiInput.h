// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <RtMidi.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devices/NoteEvent.h"

// One MIDI keyboard. RtMidi's input thread records which keys are held (MidiCallback);
// the sequencer thread polls once per frame (GetEvents) and gets the changes since its
// previous poll. A key pressed and released between two polls is not seen.
class MidiInput {
 public:
  MidiInput();
  ~MidiInput();
  MidiInput(const MidiInput&) = delete;
  MidiInput& operator=(const MidiInput&) = delete;

  // Opens the first input port whose lower-cased name contains `name`. An empty name means
  // no MIDI input is wanted. `api` is RtMidi's choice unless a test names one.
  bool Init(const std::string& name, RtMidi::Api api = RtMidi::UNSPECIFIED);
  void Shutdown();

  // Prints the input ports in lower case, the form Init matches against.
  static void PrintMidiInputs(RtMidi::Api api = RtMidi::UNSPECIFIED);

  // Key changes since the previous call, in ascending note order, all on channel 0.
  // Also watches the port a few times a second (WatchPort).
  // singleNote is the held note when exactly one key is held, else -1. The three gestures
  // are reported once however often they happened since the previous call.
  void GetEvents(std::vector<NoteEvent>& events, NoteFlags& flags, bool& anyKeyHeld, int& singleNote,
                 bool& pitchWheelCentred, bool& sustainPedal, bool& modWheelZero);

  // Safe from any thread; called by MidiCallback on RtMidi's input thread.
  void RecordEvent(NoteEvent event);
  void RecordSpecialKey(SpecialKey key);
  // The RtMidi input callback; userData is the MidiInput. Only three-byte channel 1
  // messages count; everything else is dropped.
  static void MidiCallback(double timeStamp, std::vector<unsigned char>* message, void* userData);

 private:
  // Sequencer thread. A port that disappeared (a keyboard unplugged) releases the keys it
  // held and is closed. An unfinished system exclusive message (F0 without F7, or garbage
  // after an F0) would make RtMidi 5's JACK input swallow every later message until one
  // ends with F7; when that state lasts, the port is reopened with the parser reset.
  void WatchPort();
  void ReleaseAllKeys();

  std::unique_ptr<RtMidiIn> midiIn;
  std::string requestedName;  // the name Init was given, to reopen the same port
  std::string openedPort;     // its lower-cased full name
  std::chrono::steady_clock::time_point nextPortCheck{};
  int missingPortChecks = 0;  // checks in a row that did not find the port
  int unfinishedSysexChecks = 0;  // checks in a row that found RtMidi inside a system exclusive message
  int32_t keyState[kMidiNotes];     // 1 while held
  int32_t keyVelocity[kMidiNotes];  // velocity of the last change, 0 after a release
  int32_t prevKeyState[kMidiNotes];  // keyState at the previous poll; sequencer thread only
  bool pitchWheelCentred;
  bool modWheelZero;
  bool sustainPedal;
  std::mutex mutex;  // guards keyState, keyVelocity and the three gesture flags
};
