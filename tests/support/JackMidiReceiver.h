// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <RtMidi.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zs::test {

using MidiBytes = std::vector<unsigned char>;

// The far end of one of the program's MIDI outputs: a virtual JACK input port that records
// every message it receives, as an external synthesizer would get them.
class JackMidiReceiver {
 public:
  ~JackMidiReceiver();
  // Opens "<clientName>:<portName>"; false when JACK is not reachable. allTypes records system
  // exclusive, timing and sensing messages too, which RtMidi drops otherwise.
  bool Open(const std::string& clientName, const std::string& portName, bool allTypes = false);
  std::vector<MidiBytes> Received();
  void Clear();
  // Waits until at least `count` messages arrived or the deadline passed. The deadline is
  // generous: it only matters when something is wrong, and a loaded machine delays JACK.
  bool WaitFor(size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10));
  // Messages with this status byte are probes: counted, never recorded, so a late probe
  // cannot show up among the messages a test checks.
  void SetProbeStatus(unsigned char status) {
    std::lock_guard<std::mutex> lock(mutex);
    probeStatus = status;
  }
  bool WaitForProbes(size_t count, std::chrono::milliseconds deadline);

 private:
  static void OnMessage(double, std::vector<unsigned char>* message, void* self);

  std::unique_ptr<RtMidiIn> in;
  std::mutex mutex;
  std::vector<MidiBytes> received;
  int probeStatus = -1;
  size_t probes = 0;
};

}  // namespace zs::test
