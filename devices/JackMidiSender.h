// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <cstdint>
#include <string>

// One JACK MIDI output port of the program's own, for messages that must leave at a given
// time rather than whenever the next period starts. The sequencer thread queues each message
// with the time it is due (seconds on the monotonic clock, the clock Timer and MonotonicSeconds
// read); the process callback writes it at the frame of that time plus Latency(), so that a
// message computed up to one sequencer frame late still lands on its place in the grid.
class JackMidiSender {
 public:
  JackMidiSender() = default;
  ~JackMidiSender();
  JackMidiSender(const JackMidiSender&) = delete;
  JackMidiSender& operator=(const JackMidiSender&) = delete;

  // Opens a client of its own with one output port and connects it to the JACK MIDI input port
  // whose lower-cased full name is `target`. False (and nothing left open) when the server is
  // unreachable or the port cannot be made or joined.
  bool Open(const std::string& target);
  // Sequencer thread (one producer). Queues a message of 1..3 bytes; false when it does not fit.
  bool Send(double time, const unsigned char* bytes, int size);
  // Waits until everything queued went out and the readers had a cycle to take it (at most
  // about a second, so a stalled server cannot hold up a quit), then closes the client.
  void Close();
  bool IsOpen() const { return client != nullptr; }

  // Seconds added to every due time: one JACK period plus a millisecond.
  double Latency() const { return latencyUsecs * 1e-6; }
  // Messages whose time had passed when the callback first saw them; they went out at the
  // start of that cycle.
  uint64_t LateCount() const { return late.load(std::memory_order_relaxed); }
  uint64_t DroppedCount() const { return dropped; }

 private:
  struct Message {
    int64_t due = 0;  // JACK microseconds (jack_get_time)
    uint8_t size = 0;
    uint8_t bytes[3] = {0, 0, 0};
  };
  // Messages taken from the ring and not yet written, in time order; a fixed array so the
  // callback never allocates.
  static constexpr int kPending = 2048;
  static constexpr size_t kRingMessages = 4096;

  static int OnProcess(jack_nframes_t frames, void* self);
  void Process(jack_nframes_t frames);
  void TakeQueued();

  jack_client_t* client = nullptr;
  jack_port_t* port = nullptr;
  jack_ringbuffer_t* ring = nullptr;
  int64_t latencyUsecs = 0;
  int64_t clockOffsetUsecs = 0;  // jack_get_time() minus the monotonic clock
  uint64_t dropped = 0;          // sequencer thread
  std::atomic<uint64_t> late{0};
  std::atomic<uint64_t> cycles{0};
  std::atomic<int> pendingCount{0};
  // Process callback only.
  Message pending[kPending];
  int head = 0;
  int tail = 0;
};

// The monotonic clock in seconds, the time base of every due time.
double MonotonicSeconds();
