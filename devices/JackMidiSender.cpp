// SPDX-License-Identifier: LGPL-2.1-or-later
#include "devices/JackMidiSender.h"

#include <jack/midiport.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <thread>

#include "devices/MidiPorts.h"

double MonotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

JackMidiSender::~JackMidiSender() { Close(); }

bool JackMidiSender::Open(const std::string& target) {
  Close();
  jack_status_t status;
  client = jack_client_open("Zembrovane MIDI Output", JackNoStartServer, &status);
  if (client == nullptr) return false;
  port = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  ring = jack_ringbuffer_create(kRingMessages * sizeof(Message));
  bool ok = port != nullptr && ring != nullptr;
  if (ok) {
    jack_ringbuffer_mlock(ring);
    const double rate = jack_get_sample_rate(client);
    latencyUsecs = std::llround(jack_get_buffer_size(client) / rate * 1e6) + 1000;
    // JACK reads the monotonic clock too, but through its own choice of source; the difference
    // is taken once so that both sides agree whatever JACK uses.
    clockOffsetUsecs = static_cast<int64_t>(jack_get_time()) - std::llround(MonotonicSeconds() * 1e6);
    ok = jack_set_process_callback(client, &JackMidiSender::OnProcess, this) == 0 && jack_activate(client) == 0;
  }
  std::string full;
  if (ok) {
    const char** names = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    for (int i = 0; names != nullptr && names[i] != nullptr && full.empty(); ++i) {
      if (ToLowerCase(names[i]) == target) full = names[i];
    }
    if (names != nullptr) jack_free(names);
    ok = !full.empty() && jack_connect(client, jack_port_name(port), full.c_str()) == 0;
  }
  if (!ok) {
    jack_client_close(client);
    client = nullptr;
    port = nullptr;
    if (ring != nullptr) jack_ringbuffer_free(ring);
    ring = nullptr;
  }
  return ok;
}

bool JackMidiSender::Send(double time, const unsigned char* bytes, int size) {
  if (client == nullptr || size < 1 || size > 3) return false;
  Message m;
  m.due = std::llround(time * 1e6) + clockOffsetUsecs + latencyUsecs;
  m.size = static_cast<uint8_t>(size);
  std::memcpy(m.bytes, bytes, static_cast<size_t>(size));
  if (jack_ringbuffer_write_space(ring) < sizeof m) {
    ++dropped;
    return false;
  }
  jack_ringbuffer_write(ring, reinterpret_cast<const char*>(&m), sizeof m);
  return true;
}

void JackMidiSender::Close() {
  if (client == nullptr) return;
  // The last messages are due up to a latency from now; a server that stopped running its
  // clients must not hold the quit for longer than a second beyond that.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(latencyUsecs) +
                        std::chrono::seconds(1);
  auto idle = [&] { return jack_ringbuffer_read_space(ring) == 0 && pendingCount.load() == 0; };
  while (!idle() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // The server runs its clients asynchronously: a reader takes what was written in a cycle
  // only in one of the next ones.
  const uint64_t written = cycles.load();
  while (cycles.load() < written + 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  jack_deactivate(client);
  jack_client_close(client);
  client = nullptr;
  port = nullptr;
  jack_ringbuffer_free(ring);
  ring = nullptr;
  head = tail = 0;
  pendingCount.store(0);
}

int JackMidiSender::OnProcess(jack_nframes_t frames, void* self) {
  static_cast<JackMidiSender*>(self)->Process(frames);
  return 0;
}

// Real-time thread: no allocation, lock or print from here on.
void JackMidiSender::TakeQueued() {
  Message m;
  while (tail - head < kPending && jack_ringbuffer_read_space(ring) >= sizeof m) {
    if (tail == kPending) {  // room only at the front: move the waiting ones there
      std::memmove(pending, pending + head, static_cast<size_t>(tail - head) * sizeof(Message));
      tail -= head;
      head = 0;
    }
    // Counted before it leaves the ring, so Close never sees it in neither place.
    pendingCount.fetch_add(1);
    jack_ringbuffer_read(ring, reinterpret_cast<char*>(&m), sizeof m);
    // Mostly in order already; an earlier one moves before later ones, after equal ones, so
    // messages of the same time keep the order they were sent in (note-offs before note-ons).
    int i = tail++;
    while (i > head && pending[i - 1].due > m.due) {
      pending[i] = pending[i - 1];
      --i;
    }
    pending[i] = m;
  }
}

void JackMidiSender::Process(jack_nframes_t frames) {
  void* buffer = jack_port_get_buffer(port, frames);
  jack_midi_clear_buffer(buffer);
  TakeQueued();
  // The cycle's frames on JACK's time line, from its clock filter. A driver that keeps missing
  // its wake-ups (the dummy driver without real-time scheduling) throws the filter off by whole
  // periods either way, or stretches a cycle to many; the cycle is then taken to start now.
  jack_nframes_t cycleFrame;
  jack_time_t cycleStart, nextStart;
  float periodUsecs;
  const int64_t now = static_cast<int64_t>(jack_get_time());
  const int64_t nominal = static_cast<int64_t>(frames * 1e6 / jack_get_sample_rate(client));
  int64_t start = now, span = nominal;
  if (jack_get_cycle_times(client, &cycleFrame, &cycleStart, &nextStart, &periodUsecs) == 0) {
    const int64_t filtered = static_cast<int64_t>(cycleStart), filteredSpan = static_cast<int64_t>(nextStart - cycleStart);
    if (2 * filteredSpan >= nominal && 2 * filteredSpan <= 3 * nominal && 4 * (now - filtered) >= -nominal &&
        now - filtered <= 2 * nominal) {
      start = filtered;
      span = filteredSpan;
    }
  }
  if (span < 1) span = 1;
  jack_nframes_t last = 0;
  while (head < tail && pending[head].due < start + span) {
    const Message& m = pending[head];
    jack_nframes_t offset = 0;
    if (m.due < start) {
      late.fetch_add(1, std::memory_order_relaxed);
    } else {
      offset = static_cast<jack_nframes_t>(((m.due - start) * frames + span / 2) / span);
    }
    if (offset >= frames) offset = frames - 1;
    if (offset < last) offset = last;  // JACK wants the events of a cycle in frame order
    if (jack_midi_event_write(buffer, offset, m.bytes, m.size) != 0) break;  // full: the rest next cycle
    last = offset;
    ++head;
  }
  if (head == tail) head = tail = 0;
  pendingCount.store(tail - head);
  cycles.fetch_add(1);
}
