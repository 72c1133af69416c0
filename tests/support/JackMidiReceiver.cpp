// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/support/JackMidiReceiver.h"

#include <thread>

namespace zs::test {

// The callback runs on JACK's thread until the client is closed, and it writes to the mutex
// and list, so the client goes first; the pause between closing the port and deleting the
// client is the one the program's MIDI ports take for RtMidi's JACK back end.
JackMidiReceiver::~JackMidiReceiver() {
  if (!in) return;
  in->closePort();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  in.reset();
}

bool JackMidiReceiver::Open(const std::string& clientName, const std::string& portName, bool allTypes) {
  try {
    in = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, clientName, 100000);
    if (allTypes) in->ignoreTypes(false, false, false);
    in->setCallback(&JackMidiReceiver::OnMessage, this);
    in->openVirtualPort(portName);
    return true;
  } catch (const RtMidiError&) {
    in.reset();
    return false;
  }
}

void JackMidiReceiver::OnMessage(double, std::vector<unsigned char>* message, void* self) {
  auto* receiver = static_cast<JackMidiReceiver*>(self);
  std::lock_guard<std::mutex> lock(receiver->mutex);
  if (!message->empty() && (*message)[0] == receiver->probeStatus) {
    ++receiver->probes;
    return;
  }
  receiver->received.push_back(*message);
}

std::vector<MidiBytes> JackMidiReceiver::Received() {
  std::lock_guard<std::mutex> lock(mutex);
  return received;
}

void JackMidiReceiver::Clear() {
  std::lock_guard<std::mutex> lock(mutex);
  received.clear();
}

bool JackMidiReceiver::WaitFor(size_t count, std::chrono::milliseconds deadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  while (std::chrono::steady_clock::now() < end) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (received.size() >= count) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::lock_guard<std::mutex> lock(mutex);
  return received.size() >= count;
}

bool JackMidiReceiver::WaitForProbes(size_t count, std::chrono::milliseconds deadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (probes >= count) return true;
    }
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace zs::test
