// SPDX-License-Identifier: LGPL-2.1-or-later
// A JACK MIDI receiver for the timing and soak scripts, and the analysis of what it received.
//
//   zs_midi_peer record <client-name> <file> [--cycles]
//       Registers the input port "<client-name>:in" (lower case, so that a program's -o
//       substring finds it), prints "ready" once the port is active, and writes one line per
//       received message until SIGINT or SIGTERM:
//         m <frame> <usecs> <frame-usecs> <bytes in hex>
//       frame: the JACK frame the message arrived at (cycle start + event time), counted
//       from the server's start without wrapping; usecs: the monotonic clock (jack_get_time)
//       when this client's process callback ran for that cycle; frame-usecs: JACK's own time of
//       that frame (jack_frames_to_time in that cycle), the time line a sender that stamps its
//       messages maps them onto. With --cycles every cycle is
//       written too ("c <frame> <usecs>"), for the callback's lateness against the frame grid.
//       The first line is "r <sample rate> <period>"; the last is "lost <n>", the events the
//       port buffer could not hold.
//
//   zs_midi_peer grid <file> <bpm> [--skip seconds] [--offset channel:offset ...]
//       Note-on arrival times against the step grid: one step is 240 / bpm / 16 s, and a note
//       with offset o (1/128 step, given per channel) is due o/128 of a step after the step
//       starts. The grid's phase is fitted (the median residual); prints the count and the
//       median, 99th percentile and maximum absolute deviation in ms, the signed range, the
//       clock drift of a straight-line fit and, when the file holds cycles, the lateness of the
//       process callback.
//
//   zs_midi_peer clock <file> <bpm> [--skip seconds]
//       Intervals between the MIDI clocks (0xF8) against 60 / (24 * bpm), in the three time
//       bases of grid: median, 99th percentile and maximum of the absolute error.
//
//   zs_midi_peer pairs <file>
//       Every note-on must be followed by a note-off (status 8x, or 9x with velocity 0) of the
//       same channel and key. Prints the counts; exit status 1 when a note was left on, unless
//       the receiver missed a JACK cycle where the note-off belonged: a cycle a client does not
//       run in loses what was written into its ports, which a loaded machine without real-time
//       scheduling sees now and then. Missed cycles are recorded as "g <last seen> <next>".
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Recording

struct Record {
  uint64_t frame;
  uint64_t usecs;
  uint64_t frameUsecs;
  uint8_t size;  // 0: a cycle record (bytes[0] = 0) or a gap before this cycle (bytes[0] = 1)
  uint8_t bytes[3];
};

struct Peer {
  jack_client_t* client = nullptr;
  jack_port_t* port = nullptr;
  jack_ringbuffer_t* ring = nullptr;
  bool cycles = false;
  // Frame counter without the 32-bit wrap (about 27 hours at 44.1 kHz, but cheap to avoid).
  uint64_t wraps = 0;
  jack_nframes_t lastFrame = 0;
  bool haveFrame = false;
  std::atomic<uint64_t> lost{0};
  std::atomic<uint64_t> overflow{0};
};

std::atomic<bool> stopRequested{false};

void OnSignal(int) { stopRequested.store(true); }

void Push(Peer& peer, const Record& record) {
  if (jack_ringbuffer_write_space(peer.ring) < sizeof record) {
    peer.overflow.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  jack_ringbuffer_write(peer.ring, reinterpret_cast<const char*>(&record), sizeof record);
}

int Process(jack_nframes_t nframes, void* arg) {
  Peer& peer = *static_cast<Peer*>(arg);
  const jack_time_t now = jack_get_time();
  const jack_nframes_t frame = jack_last_frame_time(peer.client);
  const bool first = !peer.haveFrame;
  if (!first && frame < peer.lastFrame) ++peer.wraps;
  const jack_nframes_t advance = frame - peer.lastFrame;  // modulo 2^32
  peer.lastFrame = frame;
  peer.haveFrame = true;
  const uint64_t cycleFrame = (peer.wraps << 32) + frame;
  // A cycle this callback did not run in: what the sender wrote into it never arrives here.
  // Written as "g <last cycle seen> <this cycle>" (the second number rides in `usecs`).
  if (!first && advance != nframes) Push(peer, Record{cycleFrame - advance, cycleFrame, 0, 0, {1, 0, 0}});
  if (peer.cycles) Push(peer, Record{cycleFrame, now, 0, 0, {0, 0, 0}});

  void* buffer = jack_port_get_buffer(peer.port, nframes);
  peer.lost.fetch_add(jack_midi_get_lost_event_count(buffer), std::memory_order_relaxed);
  const uint32_t count = jack_midi_get_event_count(buffer);
  for (uint32_t i = 0; i < count; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, buffer, i) != 0) continue;
    Record record{cycleFrame + event.time, now, jack_frames_to_time(peer.client, frame + event.time),
                  static_cast<uint8_t>(std::min<size_t>(event.size, 3)), {0, 0, 0}};
    std::memcpy(record.bytes, event.buffer, record.size);
    Push(peer, record);
  }
  return 0;
}

void Drain(Peer& peer, FILE* out) {
  Record record;
  while (jack_ringbuffer_read_space(peer.ring) >= sizeof record) {
    jack_ringbuffer_read(peer.ring, reinterpret_cast<char*>(&record), sizeof record);
    if (record.size == 0 && record.bytes[0] == 1) {
      fprintf(out, "g %" PRIu64 " %" PRIu64 "\n", record.frame, record.usecs);
      continue;
    }
    if (record.size == 0) {
      fprintf(out, "c %" PRIu64 " %" PRIu64 "\n", record.frame, record.usecs);
      continue;
    }
    fprintf(out, "m %" PRIu64 " %" PRIu64 " %" PRIu64, record.frame, record.usecs, record.frameUsecs);
    for (int i = 0; i < record.size; ++i) fprintf(out, " %02x", record.bytes[i]);
    fputc('\n', out);
  }
}

int Listen(const std::string& name, const std::string& path, bool cycles) {
  FILE* out = fopen(path.c_str(), "w");
  if (out == nullptr) {
    printf("error: cannot write %s\n", path.c_str());
    return 1;
  }
  Peer peer;
  peer.cycles = cycles;
  jack_status_t status;
  peer.client = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (peer.client == nullptr) {
    printf("error: no JACK server to connect to (status 0x%x); is JACK_DEFAULT_SERVER set?\n",
           static_cast<unsigned>(status));
    fclose(out);
    return 1;
  }
  peer.ring = jack_ringbuffer_create(1 << 22);
  peer.port = jack_port_register(peer.client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (peer.port == nullptr || peer.ring == nullptr) {
    printf("error: cannot register the MIDI input port\n");
    jack_client_close(peer.client);
    fclose(out);
    return 1;
  }
  jack_set_process_callback(peer.client, Process, &peer);
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  fprintf(out, "r %u %u\n", jack_get_sample_rate(peer.client), jack_get_buffer_size(peer.client));
  if (jack_activate(peer.client) != 0) {
    printf("error: cannot activate the JACK client\n");
    jack_client_close(peer.client);
    fclose(out);
    return 1;
  }
  printf("ready %s\n", jack_port_name(peer.port));
  fflush(stdout);
  while (!stopRequested.load()) {
    Drain(peer, out);
    usleep(20000);
  }
  jack_deactivate(peer.client);
  Drain(peer, out);
  fprintf(out, "lost %" PRIu64 "\n", peer.lost.load() + peer.overflow.load());
  jack_client_close(peer.client);
  jack_ringbuffer_free(peer.ring);
  fclose(out);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Reading a recording

struct Message {
  uint64_t frame;
  uint64_t usecs;
  uint64_t frameUsecs;
  int size;
  uint8_t bytes[3];
};

struct Cycle {
  uint64_t frame;
  uint64_t usecs;
};

struct Gap {
  uint64_t lastSeen;  // the cycle before the gap
  uint64_t next;      // the first cycle after it
};

struct Recording {
  double sampleRate = 0;
  int period = 0;
  uint64_t lost = 0;
  std::vector<Message> messages;
  std::vector<Cycle> cycles;
  std::vector<Gap> gaps;
};

// Whether the receiver missed a cycle strictly between the cycles of frames `from` and `to`.
bool GapBetween(const Recording& rec, uint64_t from, uint64_t to) {
  for (const Gap& g : rec.gaps) {
    if (g.next > from && g.lastSeen < to) return true;
  }
  return false;
}

bool Load(const std::string& path, Recording& rec) {
  FILE* in = fopen(path.c_str(), "r");
  if (in == nullptr) {
    printf("error: cannot read %s\n", path.c_str());
    return false;
  }
  char line[256];
  while (fgets(line, sizeof line, in) != nullptr) {
    unsigned rate = 0, period = 0;
    unsigned long long frame = 0, usecs = 0, frameUsecs = 0, lost = 0;
    unsigned b[3] = {0, 0, 0};
    if (line[0] == 'r' && sscanf(line, "r %u %u", &rate, &period) == 2) {
      rec.sampleRate = rate;
      rec.period = static_cast<int>(period);
    } else if (line[0] == 'm') {
      const int n = sscanf(line, "m %llu %llu %llu %x %x %x", &frame, &usecs, &frameUsecs, &b[0], &b[1], &b[2]);
      if (n < 4) continue;
      Message m{frame, usecs, frameUsecs, n - 3,
                {static_cast<uint8_t>(b[0]), static_cast<uint8_t>(b[1]), static_cast<uint8_t>(b[2])}};
      rec.messages.push_back(m);
    } else if (line[0] == 'g' && sscanf(line, "g %llu %llu", &frame, &usecs) == 2) {
      rec.gaps.push_back(Gap{frame, usecs});
    } else if (line[0] == 'c' && sscanf(line, "c %llu %llu", &frame, &usecs) == 2) {
      rec.cycles.push_back(Cycle{frame, usecs});
    } else if (sscanf(line, "lost %llu", &lost) == 1) {
      rec.lost = lost;
    }
  }
  fclose(in);
  if (rec.sampleRate <= 0) {
    printf("error: %s has no sample rate line; not a recording of this program\n", path.c_str());
    return false;
  }
  return true;
}

bool IsNoteOn(const Message& m) { return m.size == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0; }
bool IsNoteOff(const Message& m) {
  return m.size == 3 && ((m.bytes[0] & 0xF0) == 0x80 || ((m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] == 0));
}

// Nearest-rank percentile of sorted values.
double Percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * sorted.size()));
  rank = std::clamp<size_t>(rank, 1, sorted.size());
  return sorted[rank - 1];
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return Percentile(values, 50);
}

struct GridFit {
  size_t count = 0;
  double span = 0, median = 0, p99 = 0, max = 0, lo = 0, hi = 0, driftPpm = 0;
};

// Arrival times (s) against the step grid. `due` moves each note back by its offset.
GridFit FitGrid(const std::vector<double>& arrival, const std::vector<double>& due, double step, double skip) {
  GridFit fit;
  std::vector<double> t, residual;
  for (size_t i = 0; i < arrival.size(); ++i) {
    const double at = arrival[i] - arrival.front();
    if (at < skip) continue;
    const double d = due[i] - arrival.front();
    t.push_back(at);
    residual.push_back(d - std::round(d / step) * step);
  }
  if (residual.empty()) return fit;
  // Residuals near +-step/2 would fold over; the first one anchors them.
  const double anchor = residual.front();
  for (double& r : residual) r -= std::round((r - anchor) / step) * step;
  const double phase = Median(residual);
  std::vector<double> deviation, absolute;
  for (double r : residual) {
    deviation.push_back(r - phase);
    absolute.push_back(std::fabs(r - phase));
  }
  std::sort(absolute.begin(), absolute.end());
  const auto [lo, hi] = std::minmax_element(deviation.begin(), deviation.end());
  // A straight line through the residuals: a slope means the two clocks disagree, not that a
  // note was late.
  double st = 0, sr = 0, stt = 0, str = 0;
  const double n = static_cast<double>(t.size());
  for (size_t i = 0; i < t.size(); ++i) {
    st += t[i];
    sr += residual[i];
    stt += t[i] * t[i];
    str += t[i] * residual[i];
  }
  const double denom = n * stt - st * st;
  fit.count = absolute.size();
  fit.span = t.back() - t.front();
  fit.median = Percentile(absolute, 50) * 1000;
  fit.p99 = Percentile(absolute, 99) * 1000;
  fit.max = absolute.back() * 1000;
  fit.lo = *lo * 1000;
  fit.hi = *hi * 1000;
  fit.driftPpm = denom > 0 ? (n * str - st * sr) / denom * 1e6 : 0;
  return fit;
}

void PrintFit(const char* label, const GridFit& fit) {
  printf("  deviation, %-26s: median %.3f ms, p99 %.3f ms, max %.3f ms (signed %.3f .. %.3f ms, drift %.0f ppm)\n", label,
         fit.median, fit.p99, fit.max, fit.lo, fit.hi, fit.driftPpm);
}

// The dummy driver restarts its schedule from a late cycle (an overrun), so from then on its
// frame counter lags the wall clock by that much more. Frame stamps are put back on the wall
// clock with the lower envelope of (callback time - frame time) over the next half second:
// the lag only grows, and within half a second some callback runs on time. Returns what to add
// to each of `seconds` (frame stamps in seconds); empty without cycle records.
std::vector<double> AnchorShifts(const Recording& rec, const std::vector<double>& seconds) {
  if (rec.cycles.size() <= 2) return {};
  const size_t n = rec.cycles.size();
  std::vector<double> lag(n), envelope(n);
  for (size_t i = 0; i < n; ++i) lag[i] = rec.cycles[i].usecs / 1e6 - rec.cycles[i].frame / rec.sampleRate;
  const size_t window = std::max<size_t>(1, static_cast<size_t>(0.5 * rec.sampleRate / std::max(1, rec.period)));
  std::vector<size_t> queue;  // indices of increasing lag, a monotonic deque
  size_t head = 0;
  for (size_t i = n; i-- > 0;) {
    while (queue.size() > head && lag[queue.back()] >= lag[i]) queue.pop_back();
    queue.push_back(i);
    while (queue[head] >= i + window) ++head;
    envelope[i] = lag[queue[head]];
  }
  std::vector<double> shift;
  for (double s : seconds) {
    const uint64_t frame = static_cast<uint64_t>(std::llround(s * rec.sampleRate));
    auto it = std::upper_bound(rec.cycles.begin(), rec.cycles.end(), frame,
                               [](uint64_t f, const Cycle& c) { return f < c.frame; });
    const size_t i = it == rec.cycles.begin() ? 0 : static_cast<size_t>(it - rec.cycles.begin()) - 1;
    shift.push_back(envelope[i]);
  }
  return shift;
}

// MIDI clock (0xF8) intervals against 60 / (24 * bpm): median, p99 and max of the absolute
// error in ms, and the mean interval's error in ppm (a drift against the tempo).
void PrintClockIntervals(const char* label, const std::vector<double>& ticks, double bpm, double skip) {
  const double expected = 60.0 / (24.0 * bpm);
  std::vector<double> error;
  double first = 0, last = 0;
  for (size_t i = 1; i < ticks.size(); ++i) {
    if (ticks[i - 1] - ticks.front() < skip) continue;
    if (error.empty()) first = ticks[i - 1];
    last = ticks[i];
    error.push_back(std::fabs(ticks[i] - ticks[i - 1] - expected) * 1000);
  }
  if (error.empty()) {
    printf("  clock, %-26s: no clock intervals\n", label);
    return;
  }
  std::sort(error.begin(), error.end());
  const double mean = (last - first) / error.size();
  printf("  clock, %-26s: %zu intervals of %.3f ms, error median %.3f ms, p99 %.3f ms, max %.3f ms (mean %+.0f ppm)\n",
         label, error.size(), expected * 1000, Percentile(error, 50), Percentile(error, 99), error.back(),
         (mean / expected - 1) * 1e6);
}

int Clock(const std::string& path, double bpm, double skip) {
  Recording rec;
  if (!Load(path, rec)) return 1;
  if (bpm <= 0) {
    printf("error: tempo must be positive\n");
    return 1;
  }
  std::vector<double> byFrame, byClock, byFrameTime;
  for (const Message& m : rec.messages) {
    if (m.size != 1 || m.bytes[0] != 0xF8) continue;
    byFrame.push_back(m.frame / rec.sampleRate);
    byClock.push_back(m.usecs / 1e6);
    byFrameTime.push_back(m.frameUsecs / 1e6);
  }
  if (byFrame.size() < 2) {
    printf("error: fewer than two MIDI clocks received\n");
    return 1;
  }
  PrintClockIntervals("JACK frame stamps", byFrame, bpm, skip);
  const std::vector<double> shift = AnchorShifts(rec, byFrame);
  if (!shift.empty()) {
    std::vector<double> anchored;
    for (size_t k = 0; k < byFrame.size(); ++k) anchored.push_back(byFrame[k] + shift[k]);
    PrintClockIntervals("frame stamps re-anchored", anchored, bpm, skip);
  }
  PrintClockIntervals("receiving callback time", byClock, bpm, skip);
  PrintClockIntervals("JACK time of the frame", byFrameTime, bpm, skip);
  return 0;
}

int Grid(const std::string& path, double bpm, double skip, const int offsets[16]) {
  Recording rec;
  if (!Load(path, rec)) return 1;
  if (bpm <= 0) {
    printf("error: tempo must be positive\n");
    return 1;
  }
  const double step = 240.0 / bpm / 16.0;
  std::vector<double> byFrame, byFrameDue, byClock, byClockDue, byFrameTime, byFrameTimeDue;
  for (const Message& m : rec.messages) {
    if (!IsNoteOn(m)) continue;
    const double back = offsets[m.bytes[0] & 0x0F] / 128.0 * step;
    byFrame.push_back(m.frame / rec.sampleRate);
    byFrameDue.push_back(byFrame.back() - back);
    byClock.push_back(m.usecs / 1e6);
    byClockDue.push_back(byClock.back() - back);
    byFrameTime.push_back(m.frameUsecs / 1e6);
    byFrameTimeDue.push_back(byFrameTime.back() - back);
  }
  if (byFrame.empty()) {
    printf("error: no note-on received\n");
    return 1;
  }
  const GridFit frames = FitGrid(byFrame, byFrameDue, step, skip);
  const GridFit clock = FitGrid(byClock, byClockDue, step, skip);
  const GridFit frameTime = FitGrid(byFrameTime, byFrameTimeDue, step, skip);
  GridFit anchored;
  const std::vector<double> shift = AnchorShifts(rec, byFrame);
  if (!shift.empty()) {
    std::vector<double> byAnchored, byAnchoredDue;
    for (size_t k = 0; k < byFrame.size(); ++k) {
      byAnchored.push_back(byFrame[k] + shift[k]);
      byAnchoredDue.push_back(byFrameDue[k] + shift[k]);
    }
    anchored = FitGrid(byAnchored, byAnchoredDue, step, skip);
  }
  if (frames.count == 0) {
    printf("error: no note-on after the first %.1f s\n", skip);
    return 1;
  }
  printf("bpm %g: %zu note-ons over %.1f s (first %.1f s left out), step %.3f ms, JACK period %d frames = %.3f ms\n",
         bpm, frames.count, frames.span, skip, step * 1000, rec.period, rec.period / rec.sampleRate * 1000);
  PrintFit("JACK frame stamps", frames);
  if (anchored.count > 0) PrintFit("frame stamps re-anchored", anchored);
  PrintFit("receiving callback time", clock);
  // The frames on JACK's time line (its clock filter, as a sender maps times to frames): how
  // exactly messages land in the sample stream, free of the dummy driver's frame counter lag.
  PrintFit("JACK time of the frame", frameTime);

  if (rec.cycles.size() > 2) {
    // Intervals between the receiver's callbacks, and cycles it did not see (the server
    // skipped it or the cycle's frames jumped after an overrun).
    std::vector<double> interval;
    uint64_t skipped = 0;
    for (size_t i = 1; i < rec.cycles.size(); ++i) {
      interval.push_back((static_cast<double>(rec.cycles[i].usecs) - rec.cycles[i - 1].usecs) / 1000.0);
      const uint64_t frames = rec.cycles[i].frame - rec.cycles[i - 1].frame;
      if (rec.period > 0 && frames > static_cast<uint64_t>(rec.period)) skipped += frames / rec.period - 1;
    }
    std::sort(interval.begin(), interval.end());
    const double wall = (static_cast<double>(rec.cycles.back().usecs) - rec.cycles.front().usecs) / 1e6;
    const double counted = (rec.cycles.back().frame - rec.cycles.front().frame) / rec.sampleRate;
    printf("  receiver callbacks: %zu, interval median %.3f ms, p99 %.3f ms, max %.3f ms; cycles not seen %" PRIu64
           "; frame clock behind the wall clock by %.1f ms over %.1f s\n",
           rec.cycles.size(), Percentile(interval, 50), Percentile(interval, 99), interval.back(), skipped,
           (wall - counted) * 1000, wall);
  }
  printf("  messages lost by JACK: %" PRIu64 "\n", rec.lost);
  return 0;
}

int Pairs(const std::string& path) {
  Recording rec;
  if (!Load(path, rec)) return 1;
  // Per channel and key the frames of the note-ons still sounding; a note-off ends the latest
  // (so that a lost note-off leaves the earlier note open, next to where it went missing).
  std::vector<std::vector<uint64_t>> open(16 * 128);
  uint64_t ons = 0, offs = 0;
  std::vector<std::pair<int, uint64_t>> stray;  // key, frame
  for (const Message& m : rec.messages) {
    const int key = (m.bytes[0] & 0x0F) * 128 + (m.bytes[1] & 0x7F);
    if (IsNoteOn(m)) {
      ++ons;
      open[key].push_back(m.frame);
    } else if (IsNoteOff(m)) {
      ++offs;
      if (!open[key].empty()) {
        open[key].pop_back();
      } else {
        stray.emplace_back(key, m.frame);
      }
    }
  }
  const uint64_t end = rec.messages.empty() ? 0 : rec.messages.back().frame;
  uint64_t leftOn = 0, leftOnExplained = 0;
  for (int key = 0; key < 16 * 128; ++key) {
    for (uint64_t frame : open[key]) {
      // The note-off belonged before the next note-on of the key, or before the end.
      uint64_t next = end + 1;
      for (const Message& m : rec.messages) {
        if (m.frame > frame && IsNoteOn(m) && (m.bytes[0] & 0x0F) * 128 + (m.bytes[1] & 0x7F) == key) {
          next = m.frame;
          break;
        }
      }
      ++leftOn;
      const bool explained = GapBetween(rec, frame, next);
      if (explained) ++leftOnExplained;
      printf("  left on: channel %d key %d at %.3f s%s\n", key / 128 + 1, key % 128, frame / rec.sampleRate,
             explained ? " (the receiver missed a JACK cycle before the next note-on of that key)" : "");
    }
  }
  uint64_t strayExplained = 0;
  for (const auto& [key, frame] : stray) {
    uint64_t previous = 0;
    for (const Message& m : rec.messages) {
      if (m.frame >= frame) break;
      if (IsNoteOff(m) && (m.bytes[0] & 0x0F) * 128 + (m.bytes[1] & 0x7F) == key) previous = m.frame;
    }
    if (GapBetween(rec, previous, frame)) ++strayExplained;
  }
  printf("note-ons %" PRIu64 ", note-offs %" PRIu64 "; note-ons without note-off %" PRIu64 " (%" PRIu64
         " after a JACK cycle the receiver missed), note-offs without note-on %zu (%" PRIu64
         " after a missed cycle); cycles missed by the receiver %zu, messages lost in its port %" PRIu64 "\n",
         ons, offs, leftOn, leftOnExplained, stray.size(), strayExplained, rec.gaps.size(), rec.lost);
  return leftOn == leftOnExplained && stray.size() == strayExplained ? 0 : 1;
}

void Usage() {
  printf("usage: zs_midi_peer record <client-name> <file> [--cycles]\n"
         "       zs_midi_peer grid <file> <bpm> [--skip seconds] [--offset channel:offset ...]\n"
         "       zs_midi_peer pairs <file>\n"
         "       zs_midi_peer clock <file> <bpm> [--skip seconds]\n");
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 3 && args[0] == "record") {
    bool cycles = args.size() >= 4 && args[3] == "--cycles";
    return Listen(args[1], args[2], cycles);
  }
  if (args.size() >= 3 && args[0] == "grid") {
    char* end = nullptr;
    const double bpm = std::strtod(args[2].c_str(), &end);
    if (end == args[2].c_str() || *end != '\0') {
      printf("error: tempo '%s' is not a number\n", args[2].c_str());
      return 1;
    }
    double skip = 1.0;
    int offsets[16] = {};
    for (size_t i = 3; i < args.size(); ++i) {
      if (args[i] == "--skip" && i + 1 < args.size()) {
        skip = std::atof(args[++i].c_str());
      } else if (args[i] == "--offset" && i + 1 < args.size()) {
        int channel = -1, offset = -1;
        if (sscanf(args[++i].c_str(), "%d:%d", &channel, &offset) != 2 || channel < 1 || channel > 16 || offset < 0 ||
            offset > 127) {
          printf("error: --offset wants channel:offset with channel 1..16 and offset 0..127\n");
          return 1;
        }
        offsets[channel - 1] = offset;
      } else {
        Usage();
        return 2;
      }
    }
    return Grid(args[1], bpm, skip, offsets);
  }
  if (args.size() == 2 && args[0] == "pairs") return Pairs(args[1]);
  if ((args.size() == 3 || (args.size() == 5 && args[3] == "--skip")) && args[0] == "clock") {
    return Clock(args[1], std::atof(args[2].c_str()), args.size() == 5 ? std::atof(args[4].c_str()) : 1.0);
  }
  Usage();
  return 2;
}
