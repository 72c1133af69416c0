// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <RtMidi.h>
#include <jack/jack.h>

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
  // The same as a plain JACK client that records every message with the frame it arrived at,
  // for timing to the sample: FrameTimes() holds the JACK time (jack_frames_to_time, in
  // microseconds) of each message's frame, one per message of Received(). Taken in the cycle
  // itself, as a sender maps its times to frames, however far the server's frame counter
  // strays from the clock.
  bool OpenWithFrames(const std::string& clientName, const std::string& portName);
  std::vector<MidiBytes> Received();
  std::vector<double> FrameTimes();
  double SampleRate() const { return client ? jack_get_sample_rate(client) : 0; }
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
  static int OnProcess(jack_nframes_t frames, void* self);
  void Record(const MidiBytes& message, double frameTime);

  std::unique_ptr<RtMidiIn> in;
  jack_client_t* client = nullptr;
  jack_port_t* port = nullptr;
  std::mutex mutex;
  std::vector<MidiBytes> received;
  std::vector<double> frameTimes;
  int probeStatus = -1;
  size_t probes = 0;
};

}  // namespace zs::test
