// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/support/JackMidiReceiver.h"

#include <jack/midiport.h>

#include "tests/support/ChildProcess.h"

namespace zs::test {

// The callback writes to the members until the client is closed.
JackMidiReceiver::~JackMidiReceiver() {
  if (client) jack_client_close(client);
}

bool JackMidiReceiver::Open(const std::string& clientName, const std::string& portName, bool allTypes) {
  dropSystemMessages = !allTypes;
  client = jack_client_open(clientName.c_str(), JackNoStartServer, nullptr);
  if (!client) return false;
  port = jack_port_register(client, portName.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (port && jack_set_process_callback(client, &JackMidiReceiver::OnProcess, this) == 0 && jack_activate(client) == 0) {
    return true;
  }
  jack_client_close(client);
  client = nullptr;
  return false;
}

int JackMidiReceiver::OnProcess(jack_nframes_t frames, void* self) {
  auto* receiver = static_cast<JackMidiReceiver*>(self);
  void* buffer = jack_port_get_buffer(receiver->port, frames);
  const jack_nframes_t cycle = jack_last_frame_time(receiver->client);
  jack_midi_event_t event;
  for (uint32_t i = 0; jack_midi_event_get(&event, buffer, i) == 0; ++i) {
    receiver->Record(MidiBytes(event.buffer, event.buffer + event.size),
                     static_cast<double>(jack_frames_to_time(receiver->client, cycle + event.time)));
  }
  return 0;
}

void JackMidiReceiver::Record(const MidiBytes& message, double frameTime) {
  const int status = message.empty() ? 0 : message[0];  // 0 is no status byte, so never a probe
  if (dropSystemMessages && (status == 0xF0 || status == 0xF1 || status == 0xF8 || status == 0xFE)) return;
  std::lock_guard<std::mutex> lock(mutex);
  if (status == probeStatus) {
    ++probes;
    return;
  }
  received.push_back(message);
  frameTimes.push_back(frameTime);
}

std::vector<MidiBytes> JackMidiReceiver::Received() {
  std::lock_guard<std::mutex> lock(mutex);
  return received;
}

std::vector<double> JackMidiReceiver::FrameTimes() {
  std::lock_guard<std::mutex> lock(mutex);
  return frameTimes;
}

void JackMidiReceiver::Clear() {
  std::lock_guard<std::mutex> lock(mutex);
  received.clear();
  frameTimes.clear();
}

bool JackMidiReceiver::WaitFor(size_t count, std::chrono::milliseconds deadline) {
  return WaitUntil([&] { return Received().size() >= count; }, deadline, std::chrono::milliseconds(2));
}

bool JackMidiReceiver::WaitForProbes(size_t count, std::chrono::milliseconds deadline) {
  return WaitUntil(
      [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return probes >= count;
      },
      deadline, std::chrono::milliseconds(2));
}

}  // namespace zs::test
