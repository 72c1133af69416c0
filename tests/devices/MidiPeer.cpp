// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/devices/MidiPeer.h"

#include <unistd.h>

#include <atomic>
#include <thread>

#include "devices/MidiPorts.h"
#include "tests/support/ChildProcess.h"

namespace {

// Long, since what a try that gave up too early still delivers would arrive on top of the next.
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
  // As MidiOutput does: RtMidi's JACK back end can otherwise free memory its callback still reads.
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
