#include "tests/devices/MidiPeer.h"

#include <unistd.h>

#include <atomic>

#include "devices/MidiPorts.h"

#include <thread>

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
    synth = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "ZsPeerSynth" + id, 1000);
    synth->ignoreTypes(false, false, false);
    synth->setCallback(&MidiPeer::OnMessage, this);
    synth->openVirtualPort(synthPortName);
  } catch (const RtMidiError&) {
    return false;
  }
  // Without a JACK server RtMidi only warns; the synth port is then missing from the list.
  return keys->getPortCount() > 0;
}

MidiPeer::~MidiPeer() {
  // Closed before they are deleted, with a pause, as MidiInput and MidiOutput do: RtMidi's
  // JACK back end can otherwise free memory its process callback is still reading.
  if (keys) keys->closePort();
  if (synth) synth->closePort();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

void MidiPeer::Play(const Bytes& message) { keys->sendMessage(&message); }

void MidiPeer::OnMessage(double, std::vector<unsigned char>* message, void* self) {
  MidiPeer* peer = static_cast<MidiPeer*>(self);
  std::lock_guard<std::mutex> lock(peer->mutex);
  peer->received.push_back(*message);
}

std::vector<Bytes> MidiPeer::Received() {
  std::lock_guard<std::mutex> lock(mutex);
  return received;
}

void MidiPeer::ClearReceived() {
  std::lock_guard<std::mutex> lock(mutex);
  received.clear();
}

bool MidiPeer::WaitForReceived(size_t count, std::chrono::milliseconds deadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  while (std::chrono::steady_clock::now() < end) {
    if (Received().size() >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return Received().size() >= count;
}

bool MidiPeer::SendUntilReceived(const std::function<void()>& send, size_t count) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    ClearReceived();
    send();
    if (WaitForReceived(count, kRetryAfter)) return true;
  }
  return false;
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

Polled PollUntil(MidiInput& input, bool noteOff, int note, std::chrono::milliseconds deadline, Polled soFar) {
  Polled& polled = soFar;
  auto end = std::chrono::steady_clock::now() + deadline;
  while (!polled.arrived && std::chrono::steady_clock::now() < end) {
    std::vector<NoteEvent> events;
    bool pitch = false, sustain = false, mod = false;
    input.GetEvents(events, polled.flags, polled.anyKeyHeld, polled.singleNote, pitch, sustain, mod);
    polled.pitchWheelPolls += pitch;
    polled.sustainPolls += sustain;
    polled.modWheelPolls += mod;
    for (const NoteEvent& e : events) {
      polled.events.push_back(e);
      if (e.noteOff == noteOff && e.note == note) polled.arrived = true;
    }
    if (!polled.arrived) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
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
