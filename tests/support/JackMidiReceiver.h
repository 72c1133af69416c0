// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <jack/jack.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

namespace zs::test {

using MidiBytes = std::vector<unsigned char>;

// A virtual JACK MIDI input port that records what it receives, as an external synthesizer.
class JackMidiReceiver {
 public:
  ~JackMidiReceiver();
  // Opens "<clientName>:<portName>". Without allTypes, system exclusive, time code, clock and
  // sensing messages are dropped, as an RtMidi input drops them.
  bool Open(const std::string& clientName, const std::string& portName, bool allTypes = false);
  // For timing to the sample: FrameTimes() holds the JACK time (µs) of each message's frame, taken
  // in the cycle itself as a sender maps its times to frames.
  bool OpenWithFrames(const std::string& clientName, const std::string& portName) {
    return Open(clientName, portName, true);
  }
  std::vector<MidiBytes> Received();
  std::vector<double> FrameTimes();
  double SampleRate() const { return client ? jack_get_sample_rate(client) : 0; }
  void Clear();
  // At least `count` messages by the deadline (generous: a loaded machine delays JACK).
  bool WaitFor(size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10));
  // Messages with this status byte are counted as probes, never recorded.
  void SetProbeStatus(unsigned char status) {
    std::lock_guard<std::mutex> lock(mutex);
    probeStatus = status;
  }
  bool WaitForProbes(size_t count, std::chrono::milliseconds deadline);

 private:
  static int OnProcess(jack_nframes_t frames, void* self);
  void Record(const MidiBytes& message, double frameTime);

  bool dropSystemMessages = false;
  jack_client_t* client = nullptr;
  jack_port_t* port = nullptr;
  std::mutex mutex;
  std::vector<MidiBytes> received;
  std::vector<double> frameTimes;
  int probeStatus = -1;
  size_t probes = 0;
};

}  // namespace zs::test
