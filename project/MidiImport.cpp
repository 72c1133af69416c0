// SPDX-License-Identifier: LGPL-2.1-or-later
#include "project/MidiImport.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "player/Player.h"
#include "project/MidiFileData.h"
#include "project/ProjectSnapshot.h"

namespace {

constexpr int kDrumChannel = 9;  // channel 10 counted from 1
constexpr int kDrumBank = 128;
constexpr int kStepsPerBar = 16;
constexpr int64_t kSongSteps = int64_t{kSessions} * kSteps;

// What a channel's controllers and program change have set so far; -1 for not yet.
struct ChannelState {
  int bankMsb = -1, bankLsb = -1, program = -1, volume = -1, pan = -1;

  void Apply(const MidiEvent& e) {
    if ((e.status & 0xF0) == 0xC0) program = e.data1;
    if ((e.status & 0xF0) != 0xB0) return;
    if (e.data1 == 0) bankMsb = e.data2;
    if (e.data1 == 32) bankLsb = e.data2;
    if (e.data1 == 7) volume = e.data2;
    if (e.data1 == 10) pan = e.data2;
  }
  // Each value from `own` where it was set, else from `shared`, else the default.
  static ChannelState Merged(const ChannelState& own, const ChannelState& shared) {
    auto pick = [](int a, int b, int fallback) { return a >= 0 ? a : (b >= 0 ? b : fallback); };
    return {pick(own.bankMsb, shared.bankMsb, 0), pick(own.bankLsb, shared.bankLsb, 0),
            pick(own.program, shared.program, 0), pick(own.volume, shared.volume, 100), pick(own.pan, shared.pan, 64)};
  }
};

struct ImportedNote {
  uint32_t start = 0, end = 0;  // ticks
  uint8_t key = 0, velocity = 0;
};

// The notes of one channel of one track chunk (of the whole file in format 0).
struct Source {
  int chunk = 0, channel = 0;
  std::vector<ImportedNote> notes;
  // The notes of each key still sounding, oldest first; only keys in use take memory, as a
  // damaged file can name a million sources.
  std::map<uint8_t, std::deque<uint32_t>> sounding;
  ChannelState own;          // what events of this chunk set on the channel
  ChannelState atFirstNote;  // the instrument, volume and pan the notes get
};

// Every event of the file once, in time order; events at one tick keep the order of their
// chunks and, within a chunk, of the file.
struct EventRef {
  uint32_t tick, chunk, index;
};

std::string Line(const std::string& text) { return text + "\n"; }

// "1 note", "2 notes".
std::string Count(int64_t n, const std::string& thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

}  // namespace

bool ImportMidiFile(std::string_view bytes, const MidiImportOptions& options, std::string& projectText,
                    std::string& messages) {
  messages.clear();
  MidiFileData file;
  std::string error;
  if (!file.Read(bytes, error)) {
    messages = Line("error: " + error);
    return false;
  }
  if (file.format == 2) {
    messages = Line("error: format 2 files (independent patterns) cannot be imported");
    return false;
  }

  std::vector<EventRef> order;
  for (uint32_t c = 0; c < file.tracks.size(); ++c) {
    for (uint32_t i = 0; i < file.tracks[c].size(); ++i) order.push_back({file.tracks[c][i].tick, c, i});
  }
  std::stable_sort(order.begin(), order.end(), [](const EventRef& a, const EventRef& b) { return a.tick < b.tick; });

  const bool smpte = file.division & 0x8000;
  ChannelState channels[16];  // as all tracks together set them
  std::map<int, Source> sources;  // by chunk * 16 + channel
  std::vector<std::string> names(file.tracks.size());
  int tempo = 0, tempoChanges = 0, lastTempo = 0;
  double barQuarters = 0;
  uint32_t lastTick = 0;
  for (const EventRef& ref : order) {
    const MidiEvent& e = file.tracks[ref.chunk][ref.index];
    lastTick = std::max(lastTick, e.tick);
    if (e.status == 0xFF) {
      if (e.data1 == 0x51 && e.data.size() == 3 && !smpte) {
        const int us = (static_cast<uint8_t>(e.data[0]) << 16) | (static_cast<uint8_t>(e.data[1]) << 8) |
                       static_cast<uint8_t>(e.data[2]);
        if (tempo == 0) tempo = us;
        if (lastTempo != 0 && us != lastTempo) ++tempoChanges;
        lastTempo = us;
      } else if (e.data1 == 0x58 && e.data.size() >= 2 && e.tick == 0) {
        // Numerator and the denominator's power of two; beyond 64ths there is no such note.
        const int power = std::min<int>(static_cast<uint8_t>(e.data[1]), 6);
        barQuarters = static_cast<uint8_t>(e.data[0]) * 4.0 / (1 << power);
      } else if (e.data1 == 0x03 && names[ref.chunk].empty()) {
        names[ref.chunk] = e.data;
      }
      continue;
    }
    if (e.status >= 0xF0) continue;
    const int kind = e.status & 0xF0, ch = e.status & 0x0F;
    const int key = (file.format == 0 ? 0 : static_cast<int>(ref.chunk)) * 16 + ch;
    if (kind == 0x90 && e.data2 > 0) {
      Source& s = sources[key];
      if (s.notes.empty()) {
        s.chunk = static_cast<int>(ref.chunk);
        s.channel = ch;
        s.atFirstNote = ChannelState::Merged(s.own, channels[ch]);
      }
      s.sounding[e.data1].push_back(static_cast<uint32_t>(s.notes.size()));
      s.notes.push_back({e.tick, e.tick, e.data1, e.data2});
    } else if (kind == 0x80 || kind == 0x90) {
      auto source = sources.find(key);
      if (source == sources.end()) continue;
      auto keyNotes = source->second.sounding.find(e.data1);
      if (keyNotes == source->second.sounding.end() || keyNotes->second.empty()) continue;
      source->second.notes[keyNotes->second.front()].end = e.tick;
      keyNotes->second.pop_front();
    } else {
      // A channel's settings are shared by all tracks, but in a format 1 file two tracks on
      // one channel (drum kits on channel 10) each bring their own: a track's own come first.
      channels[ch].Apply(e);
      sources[key].own.Apply(e);
    }
  }
  std::vector<Source*> chosen;  // in file order
  for (auto& [key, s] : sources) {
    if (!s.notes.empty()) chosen.push_back(&s);
  }
  if (chosen.empty()) {
    messages = Line("error: the file holds no notes");
    return false;
  }
  // Tracks of a format 1 file keep their places when each plays on one channel and they fit;
  // a first track without notes is the conductor track and takes no place.
  const int base = file.tracks.size() > 1 && chosen.front()->chunk > 0 ? 1 : 0;
  // Notes still sounding at the end of the file end there.
  for (auto& [key, s] : sources) {
    for (const auto& [noteKey, keyNotes] : s.sounding) {
      for (uint32_t i : keyNotes) s.notes[i].end = lastTick;
    }
  }

  // At most 12 tracks: the busiest sources, kept in file order.
  if (chosen.size() > static_cast<size_t>(kTracks)) {
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const Source* a, const Source* b) { return a->notes.size() > b->notes.size(); });
    for (size_t i = kTracks; i < chosen.size(); ++i) {
      messages += Line("left out: " + Count(static_cast<int64_t>(chosen[i]->notes.size()), "note") + " of track " +
                       std::to_string(chosen[i]->chunk + 1) + ", channel " + std::to_string(chosen[i]->channel + 1) +
                       " (a project has 12 tracks)");
    }
    chosen.resize(kTracks);
    std::sort(chosen.begin(), chosen.end(), [](const Source* a, const Source* b) {
      return a->chunk != b->chunk ? a->chunk < b->chunk : a->channel < b->channel;
    });
  }
  bool byChunk = file.format == 1;
  for (size_t i = 0; i < chosen.size(); ++i) {
    if (chosen[i]->chunk - base >= kTracks || (i > 0 && chosen[i]->chunk == chosen[i - 1]->chunk)) byChunk = false;
  }

  const double ticksPerQuarter = file.TicksPerQuarter();
  uint32_t firstStart = UINT32_MAX;
  for (const Source* s : chosen) firstStart = std::min(firstStart, s->notes.front().start);
  const double setUp = (barQuarters > 0 ? barQuarters : 4.0) * ticksPerQuarter;
  const double skip = firstStart >= setUp ? setUp : 0.0;
  const double scale = options.stepsPerQuarter * 128.0 / ticksPerQuarter;
  auto position = [&](uint32_t tick) { return std::llround((tick - skip) * scale); };  // in 1/128 step

  auto store = std::make_unique<SessionsStore>();
  Player player(store.get(), nullptr, nullptr, nullptr, false, false, true);
  int64_t songSteps = 0;
  int imported = 0, late = 0, merged = 0;
  int tracks[kTracks];
  for (size_t i = 0; i < chosen.size(); ++i) {
    const Source& s = *chosen[i];
    const int t = byChunk ? s.chunk - base : static_cast<int>(i);
    tracks[i] = t;
    for (const ImportedNote& n : s.notes) {
      const int64_t start = position(n.start);
      if (start >= kSongSteps * 128) {
        ++late;
        continue;
      }
      const int64_t length = std::max<int64_t>(0, position(n.end) - start);
      Note note;
      note.note = n.key;
      note.velocity = n.velocity;
      note.offset = static_cast<uint8_t>(start % 128);
      note.gate = static_cast<uint8_t>(std::min<int64_t>(length / 128, 255));
      note.gateFraction = static_cast<uint8_t>(std::min<int64_t>(length - note.gate * 128, 255));
      const int step = static_cast<int>(start / 128);
      // A step holds one note of a key: the later replaces the earlier.
      ++(store->QueryNote(step / kSteps, t, step % kSteps, n.key) ? merged : imported);
      store->AddNote(step / kSteps, t, step % kSteps, note);
      songSteps = std::max(songSteps, (start + length) / 128 + 1);
    }
    store->SetTrackVolume(t, s.atFirstNote.volume);
    store->SetTrackPan(t, s.atFirstNote.pan);
    store->SetTrackChannel(t, s.channel);
  }
  songSteps = std::min(kSongSteps, (songSteps + kStepsPerBar - 1) / kStepsPerBar * kStepsPerBar);

  Song song;
  for (int session = 0; session * kSteps < songSteps; ++session) {
    const int length = static_cast<int>(std::min<int64_t>(kSteps, songSteps - session * kSteps));
    for (int t = 0; t < kTracks; ++t) store->SetStartEndSteps(session, t, 0, length - 1);
    song.push_back({session, length});
  }
  const int bpm = tempo > 0 ? std::clamp(static_cast<int>(std::lround(60000000.0 / tempo)), 1, 255) : 120;
  player.SetBPM(bpm);
  player.SetSong(song);
  // The notes come from anywhere: no scale locks the note keys.
  player.SetScale(ScaleInfo{ScaleChromatic, static_cast<BaseNote>(0)});

  ProjectSnapshot snapshot;
  player.TakeSnapshot(snapshot);
  for (size_t i = 0; i < chosen.size(); ++i) {
    const Source& s = *chosen[i];
    const ChannelState& c = s.atFirstNote;
    const bool drums = s.channel == kDrumChannel;
    snapshot.settings.instruments[tracks[i]] =
        TrackInstrument{options.soundfont, 0, 0, drums ? kDrumBank : c.bankMsb * 128 + c.bankLsb, c.program};
    snapshot.soundfontNames[tracks[i]] = options.soundfontName.empty() ? "-" : options.soundfontName;
    const std::string& name = names[s.chunk];
    snapshot.presetNames[tracks[i]] = name.empty() ? "-" : name;
  }
  ProjectText(snapshot, projectText);

  if (late > 0) messages += Line("left out: " + Count(late, "note") + " after the 12th session (bar 192)");
  if (merged > 0) messages += Line("merged: " + Count(merged, "note") + " of a key that started again in one step");
  if (tempoChanges > 0) {
    messages += Line("left out: " + Count(tempoChanges, "tempo change") + " (a project has one tempo)");
  }
  const int64_t trackCount = static_cast<int64_t>(chosen.size()), sessionCount = static_cast<int64_t>(song.size());
  messages += Line("imported " + Count(imported, "note") + " on " + Count(trackCount, "track") + ", " +
                   Count(sessionCount, "session") + " (" + Count(songSteps / 16, "bar") + "), " + std::to_string(bpm) +
                   " BPM");
  return true;
}
