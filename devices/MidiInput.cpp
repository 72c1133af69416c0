// SPDX-License-Identifier: LGPL-2.1-or-later
#include "devices/MidiInput.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <thread>

#include "devices/MidiPorts.h"

namespace {

constexpr unsigned int kQueueSizeLimit = 100;
// How often the sequencer thread looks at the port: often enough that a key of a keyboard
// unplugged stops within a moment, rarely enough that listing the ports costs nothing.
constexpr std::chrono::milliseconds kPortCheckInterval(250);
// A system exclusive message spread over several events is complete within a few audio
// periods; one still unfinished at two checks in a row is a message whose F7 never comes.
constexpr int kStuckSysexChecks = 2;

// RtMidi keeps its parser state in protected members and offers no way to reset it. Derived
// classes may name protected members, so these reach them without changing RtMidi; they are
// never instantiated.
struct RtMidiInAccess : RtMidiIn {
  static MidiApi* Api(RtMidiIn& in) { return in.*(&RtMidiInAccess::rtapi_); }
};
struct MidiInApiAccess : MidiInApi {
  static MidiInApi::RtMidiInData& Data(MidiInApi& api) { return api.*(&MidiInApiAccess::inputData_); }
};
MidiInApi::RtMidiInData* ParserState(RtMidiIn& in) {
  MidiApi* api = RtMidiInAccess::Api(in);
  return api == nullptr ? nullptr : &MidiInApiAccess::Data(*static_cast<MidiInApi*>(api));
}

}  // namespace

MidiInput::MidiInput()
    : keyState{},
      keyVelocity{},
      prevKeyState{},
      pitchWheelCentred(false),
      modWheelZero(false),
      sustainPedal(false) {}

MidiInput::~MidiInput() { Shutdown(); }

bool MidiInput::Init(const std::string& name, RtMidi::Api api) {
  Shutdown();  // a second Init must not leave the first port open behind our back
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (int n = 0; n < kMidiNotes; ++n) keyState[n] = keyVelocity[n] = prevKeyState[n] = 0;
    pitchWheelCentred = modWheelZero = sustainPedal = false;
  }
  if (name.empty()) return false;

  std::unique_ptr<RtMidiIn> in = CreateMidiIn(api, "RtMidi Input Client", kQueueSizeLimit);
  std::string chosen;
  OpenResult opened = ChooseAndOpen(in.get(), name, "RtMidi Input", chosen);
  if (opened == OpenResult::kNotFound) {
    printf("could not find requested midi input device '%s'\n", name.c_str());
    return false;
  }
  printf("Selected midi input: %s\n", chosen.c_str());
  if (opened == OpenResult::kOpened) {
    try {
      in->ignoreTypes(true, true, true);
      // Whatever queued up before the callback belongs to nobody.
      std::vector<unsigned char> message;
      do {
        in->getMessage(&message);
      } while (!message.empty());
      in->setCallback(&MidiInput::MidiCallback, this);
    } catch (const std::exception&) {
      opened = OpenResult::kOpenFailed;
    }
  }
  if (opened != OpenResult::kOpened) {
    // RtMidiError has printed its own message.
    printf("coult not open input\n");
    CloseAndDelete(in);
    return false;
  }
  midiIn = std::move(in);
  requestedName = name;
  openedPort = chosen;
  unfinishedSysexChecks = missingPortChecks = 0;
  nextPortCheck = std::chrono::steady_clock::now() + kPortCheckInterval;
  return true;
}

void MidiInput::ReleaseAllKeys() {
  std::lock_guard<std::mutex> lock(mutex);
  for (int n = 0; n < kMidiNotes; ++n) keyState[n] = keyVelocity[n] = 0;
}

void MidiInput::WatchPort() {
  const auto now = std::chrono::steady_clock::now();
  if (midiIn == nullptr || now < nextPortCheck) return;
  nextPortCheck = now + kPortCheckInterval;

  // Missing at two checks in a row: a list read while another program adds or removes a
  // port can lack a name for a moment.
  const std::vector<std::string> ports = LowerCasePortNames(*midiIn);
  const bool missing = std::find(ports.begin(), ports.end(), openedPort) == ports.end();
  missingPortChecks = missing ? missingPortChecks + 1 : 0;
  if (missingPortChecks >= 2) {
    printf("midi input %s disappeared; its held keys are released\n", openedPort.c_str());
    ReleaseAllKeys();
    Shutdown();
    return;
  }

  // Read while RtMidi's thread may write it: a torn or stale value only delays the reset by
  // a check, and the reset itself happens with the port closed.
  MidiInApi::RtMidiInData* parser = ParserState(*midiIn);
  if (parser == nullptr || !parser->continueSysex) {
    unfinishedSysexChecks = 0;
    return;
  }
  if (++unfinishedSysexChecks < kStuckSysexChecks) return;
  unfinishedSysexChecks = 0;
  printf("midi input: unfinished system exclusive message; input reopened\n");
  std::string chosen;
  try {
    midiIn->closePort();
    // As in CloseAndDelete: a JACK callback that began before the close may still run.
    if (midiIn->getCurrentApi() == RtMidi::UNIX_JACK) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } catch (const std::exception&) {
  }
  parser->continueSysex = false;
  parser->message.bytes.clear();
  if (ChooseAndOpen(midiIn.get(), requestedName, "RtMidi Input", chosen) != OpenResult::kOpened) {
    printf("midi input %s could not be reopened; its held keys are released\n", openedPort.c_str());
    ReleaseAllKeys();
    Shutdown();
  }
}

void MidiInput::Shutdown() {
  if (midiIn == nullptr) return;
  // The callback stays installed: RtMidi's input thread may be about to call it, and it
  // stays valid as long as this object does. Once deleted, no callback can be running.
  CloseAndDelete(midiIn);
}

void MidiInput::PrintMidiInputs(RtMidi::Api api) {
  printf("Midi inputs (use a substring as identifier):\n");
  std::unique_ptr<RtMidiIn> in = CreateMidiIn(api, "RtMidi Input Client", kQueueSizeLimit);
  if (in == nullptr) return;
  for (const std::string& name : LowerCasePortNames(*in)) printf("%s\n", name.c_str());
}

void MidiInput::GetEvents(std::vector<NoteEvent>& events, NoteFlags& flags, bool& anyKeyHeld, int& singleNote,
                          bool& pitchWheel, bool& sustain, bool& modWheel) {
  WatchPort();
  events.clear();
  anyKeyHeld = false;
  singleNote = -1;
  int32_t state[kMidiNotes];
  int32_t velocity[kMidiNotes];
  int held = 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    pitchWheel = pitchWheelCentred;
    sustain = sustainPedal;
    modWheel = modWheelZero;
    pitchWheelCentred = sustainPedal = modWheelZero = false;
    for (int n = 0; n < kMidiNotes; ++n) {
      state[n] = keyState[n];
      velocity[n] = keyVelocity[n];
      flags.held[n] = state[n] == 1;
      if (flags.held[n]) {
        if (held == 0) singleNote = n;
        ++held;
      }
    }
  }
  anyKeyHeld = held > 0;
  if (held != 1) singleNote = -1;

  for (int n = 0; n < kMidiNotes; ++n) {
    bool now = state[n] == 1;
    bool before = prevKeyState[n] == 1;
    if (now != before) events.push_back(NoteEvent{!now, n, velocity[n], 0});
    prevKeyState[n] = state[n];
  }
}

void MidiInput::RecordEvent(NoteEvent event) {
  if (event.note < 0 || event.note >= kMidiNotes) return;
  std::lock_guard<std::mutex> lock(mutex);
  keyState[event.note] = event.noteOff ? 0 : 1;
  keyVelocity[event.note] = event.velocity;
}

void MidiInput::RecordSpecialKey(SpecialKey key) {
  std::lock_guard<std::mutex> lock(mutex);
  switch (key.type) {
    case kPitchWheelCentred:
      pitchWheelCentred = true;
      break;
    case kModWheelZero:
      modWheelZero = true;
      break;
    case kSustainPedal:
      sustainPedal = true;
      break;
    default:
      break;
  }
}

void MidiInput::MidiCallback(double /*timeStamp*/, std::vector<unsigned char>* message, void* userData) {
  if (message == nullptr || userData == nullptr || message->size() != 3) return;
  MidiInput* input = static_cast<MidiInput*>(userData);
  // The status byte is compared whole, so only channel 1 counts.
  const unsigned char status = (*message)[0];
  const int data1 = (*message)[1] & 127;
  const int data2 = (*message)[2] & 127;
  switch (status) {
    case 0x80:
      input->RecordEvent(NoteEvent{true, data1, 0, 0});
      break;
    case 0x90:
      input->RecordEvent(data2 == 0 ? NoteEvent{true, data1, 0, 0} : NoteEvent{false, data1, data2, 0});
      break;
    case 0xE0:
      if ((*message)[1] == 0 && (*message)[2] == 0x40) input->RecordSpecialKey(SpecialKey{kPitchWheelCentred});
      break;
    case 0xB0:
      if ((*message)[1] == 1 && (*message)[2] == 0) input->RecordSpecialKey(SpecialKey{kModWheelZero});
      if ((*message)[1] == 64 && ((*message)[2] == 0 || (*message)[2] == 127)) {
        input->RecordSpecialKey(SpecialKey{kSustainPedal});
      }
      break;
    default:
      break;
  }
}
