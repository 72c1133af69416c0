// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/devices/MidiPeer.h"

#include <unistd.h>

#include <atomic>
#include <thread>

#include "devices/MidiPorts.h"
#include "tests/support/ChildProcess.h"

namespace {

// How long a try waits before it plays again. A message is either carried within a few JACK
// periods or lost, but a starved process can run its JACK thread much later; what a try that
// gave up too early still delivers would then arrive on top of the next try.
constexpr std::chrono::milliseconds kRetryAfter(2000);

}  // namespace

bool MidiPeer::Open(const std::string& keyboardPort, const std::string& synthPortName) {
  static std::atomic<int> peers{0};
  const std::string id = std::to_string(getpid()) + "_" + std::to_string(peers++);
  keysPort = ToLowerCase("ZsPeerKeys" + id + ":" + keyboardPort);
  synthPort = ToLowerCase("ZsPeerSynth" + id + ":" + synthPortName);
  try {
    keys = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "ZsPeerKeys" + id);
    keys->openVirtualPort(keyboardPort);
  } catch (const RtMidiError&) {
    return false;
  }
  if (!synth.Open("ZsPeerSynth" + id, synthPortName, true)) return false;
  // Without a JACK server RtMidi only warns; the synth port is then missing from the list.
  return keys->getPortCount() > 0;
}

MidiPeer::~MidiPeer() {
  // Closed before it is deleted, with a pause, as MidiOutput does: RtMidi's JACK back end can
  // otherwise free memory its process callback is still reading. The synth port does the same.
  if (keys) keys->closePort();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

void MidiPeer::Play(const Bytes& message) { keys->sendMessage(&message); }

void MidiPeer::UnplugKeys() { keys->closePort(); }

bool MidiPeer::SendUntilReceived(const std::function<void()>& send, size_t count) {
  return zs::test::Retry(4, [&] {
    ClearReceived();
    send();
    return synth.WaitFor(count, kRetryAfter);
  });
}

RtMidi::Api ApiUnderTest() {
  static const RtMidi::Api api = [] {
    try {
      RtMidiIn alsa(RtMidi::LINUX_ALSA, "ZsAlsaProbe");
      return RtMidi::UNIX_JACK;
    } catch (const RtMidiError&) {
      return RtMidi::UNSPECIFIED;
    }
  }();
  return api;
}

Polled PollUntil(MidiInput& input, bool noteOff, int note, std::chrono::milliseconds deadline, Polled polled) {
  zs::test::WaitUntil(
      [&] {
        std::vector<NoteEvent> events;
        bool pitch = false, sustain = false, mod = false;
        input.GetEvents(events, polled.flags, polled.anyKeyHeld, polled.singleNote, pitch, sustain, mod);
        polled.pitchWheelPolls += pitch;
        polled.sustainPolls += sustain;
        polled.modWheelPolls += mod;
        for (const NoteEvent& e : events) {
          polled.events.push_back(e);
          polled.arrived = polled.arrived || (e.noteOff == noteOff && e.note == note);
        }
        return polled.arrived;
      },
      deadline, std::chrono::milliseconds(1));
  return polled;
}

Polled Deliver(MidiPeer& peer, MidiInput& input, const std::vector<Bytes>& messages, bool noteOff, int note) {
  Polled polled;
  for (int attempt = 0; attempt < 4 && !polled.arrived; ++attempt) {
    for (const Bytes& m : messages) peer.Play(m);
    polled = PollUntil(input, noteOff, note, kRetryAfter, polled);
  }
  return polled;
}
