// SPDX-License-Identifier: LGPL-2.1-or-later
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "player/Player.h"
#include "project/AtomicFile.h"
#include "project/LineFields.h"
#include "project/MidiExport.h"
#include "project/StandardMidiFile.h"
#include "sound/SFOutput.h"

// The song is written twice from one walk: as the MIDI text notation of MIDI-to-text
// converters (tick, event name, parameters; the ".asc" file) and as a standard MIDI file
// beside it, so both always hold the same notes at the same ticks. The text keeps its fixed
// layout (channel = track + 1). The standard MIDI file is for other programs, which follow
// General MIDI: a drum kit (bank 128) plays on channel 10 and is chosen there by its program
// alone (a bank select of 1 would make them look for a melodic bank), a melodic track never
// lands on channel 10, and the track name names the instrument.

namespace {

constexpr int kTicksPerQuarter = 512;
constexpr int kTicksPerStep = 128;
// The first bar holds only the set-up events; the song starts on the second.
constexpr uint32_t kFirstStepTick = 2048;
constexpr int kExportTracks = 1 + kTracks;
constexpr int kDrumBank = 128;
constexpr int kDrumChannel = 9;  // channel 10 counted from 1

// The channel of each track in the standard MIDI file: drum kits on channel 10, every other
// track on its own channel as in the text, except that track 10 (channel 10 there) moves to
// the lowest channel no other track uses.
void SmfChannels(const int banks[kTracks], int channels[kTracks]) {
  bool used[16] = {};
  used[kDrumChannel] = true;
  for (int t = 0; t < kTracks; ++t) {
    channels[t] = banks[t] == kDrumBank ? kDrumChannel : t;
    used[channels[t]] = true;
  }
  if (banks[kDrumChannel] == kDrumBank) return;
  for (int c = 0; c < 16; ++c) {
    if (!used[c]) {
      channels[kDrumChannel] = c;
      return;
    }
  }
}

class ExportWriter {
 public:
  ExportWriter() : smf(kTicksPerQuarter) {}

  void Conductor(int bpm, const std::string& fileName) {
    // 60000000 / 0 is undefined; the tempo cannot be below one beat per minute.
    const int microsecondsPerQuarter = 60000000 / std::max(bpm, 1);
    // The marker is one quoted field of one line.
    std::string marker = fileName;
    for (char& ch : marker) {
      if (ch == '"' || ch == '\n' || ch == '\r') ch = '_';
    }
    asc += "MFile 1 ";
    AppendInt(asc, kExportTracks);
    asc += ' ';
    AppendInt(asc, kTicksPerQuarter);
    asc += "\nMTrk\n0 TimeSig 4/4 24 8\n0 KeySig 0 major\n0 Tempo ";
    AppendInt(asc, microsecondsPerQuarter);
    asc += "\n0 Meta Marker \"" + marker + "\"\nTrkEnd\n";

    int t = smf.AddTrack();
    smf.Meta(t, 0, 0x58, std::string_view("\x04\x02\x18\x08", 4));
    smf.Meta(t, 0, 0x59, std::string_view("\x00\x00", 2));
    // The file's tempo has 24 bits: below 4 BPM it says the slowest it can (3.58 BPM) rather
    // than a wrapped-around fast one.
    const int fileTempo = std::min(microsecondsPerQuarter, 0xFFFFFF);
    const char tempo[3] = {static_cast<char>((fileTempo >> 16) & 0xFF), static_cast<char>((fileTempo >> 8) & 0xFF),
                           static_cast<char>(fileTempo & 0xFF)};
    smf.Meta(t, 0, 0x51, std::string_view(tempo, 3));
    smf.Meta(t, 0, 0x06, marker);
    smf.End(t, 0);
  }

  // Starts the chunk of song track t (0..11); events use channel number t + 1 in the text and
  // smfChannel (0..15) in the standard MIDI file, named `name` there.
  void BeginTrack(int t, int smfChannel, const std::string& name, int volume, int pan, int bank, int program) {
    smfTrack = smf.AddTrack();
    channelNumber = t + 1;
    channel = smfChannel;
    drumKit = bank == kDrumBank;
    asc += "MTrk\n0 Meta 0x21 00\n0 Meta TrkName \"";
    AppendInt(asc, channelNumber);
    asc += "\"\n";
    smf.Meta(smfTrack, 0, 0x21, std::string_view("\x00", 1));
    smf.Meta(smfTrack, 0, 0x03, name.empty() ? std::to_string(channelNumber) : name);
    Controller(0, 7, volume);
    Controller(0, 10, pan);
    Controller(1, 0, bank / 128);
    Controller(1, 32, bank % 128);
    AppendInt(asc, 1);
    asc += " PrCh ch=";
    AppendInt(asc, channelNumber);
    asc += " p=";
    AppendInt(asc, program);
    asc += '\n';
    smf.Channel(smfTrack, 1, 0xC0, channel, program);
    Controller(1, 10, pan);
  }

  // A note-on, or with velocity 0 the note-off of the same key.
  void Note(uint32_t tick, int key, int velocity) {
    AppendInt(asc, tick);
    asc += " On ch=";
    AppendInt(asc, channelNumber);
    asc += " n=";
    AppendInt(asc, key);
    asc += " v=";
    AppendInt(asc, velocity);
    asc += '\n';
    smf.Channel(smfTrack, tick, 0x90, channel, key, velocity);
  }

  void EndTrack(uint32_t tick) {
    AppendInt(asc, tick);
    asc += " Meta TrkEnd\nTrkEnd\n";
    smf.End(smfTrack, tick);
  }

  const std::string& Text() const { return asc; }
  std::string Binary() const { return smf.Bytes(); }

 private:
  void Controller(uint32_t tick, int controller, int value) {
    AppendInt(asc, tick);
    asc += " Par ch=";
    AppendInt(asc, channelNumber);
    asc += " c=";
    AppendInt(asc, controller);
    asc += " v=";
    AppendInt(asc, value);
    asc += '\n';
    if (drumKit && (controller == 0 || controller == 32)) return;
    smf.Channel(smfTrack, tick, 0xB0, channel, controller, value);
  }

  std::string asc;
  StandardMidiFile smf;
  int smfTrack = 0;
  int channelNumber = 1;
  int channel = 0;
  bool drumKit = false;
};

struct ExportOptions {
  bool endOverlaps;
  bool applyPitch;
  bool applyLayers;
  bool applyFixedVelocity;
};

// What the export writes of a track's instrument.
struct ExportInstrument {
  int bank = 0;
  int program = 0;
  std::string name;  // the preset's name; empty when unknown
};

ExportInstrument InstrumentOf(const SFOutput* synth, int t) {
  ExportInstrument out;
  if (!synth) return out;
  const TrackInstrument inst = synth->GetInstrument(t);
  // A track without a chosen instrument (-1) gets bank 0, program 0: MIDI has no "none".
  out.bank = std::clamp(inst.bank, 0, 16383);
  out.program = std::clamp(inst.program, 0, 127);
  const std::vector<Instruments>& lists = *synth->GetSFInstruments();
  if (inst.soundfont < 0 || inst.soundfont >= static_cast<int>(lists.size())) return out;
  const std::vector<Bank>& banks = lists[inst.soundfont].banks;
  if (inst.bankIndex < 0 || inst.bankIndex >= static_cast<int>(banks.size())) return out;
  const std::vector<Prog>& progs = banks[inst.bankIndex].progs;
  if (inst.programIndex >= 0 && inst.programIndex < static_cast<int>(progs.size())) {
    out.name = progs[inst.programIndex].name;
  }
  return out;
}

void ExportTrack(const SessionsStore& store, const Song& song, const ExportInstrument& instrument, int smfChannel,
                 int t, const ExportOptions& options, ExportWriter& writer) {
  writer.BeginTrack(t, smfChannel, instrument.name, std::clamp(store.GetTrackVolume(t), 0, 127),
                    std::clamp(store.GetTrackPan(t), 0, 127), instrument.bank, instrument.program);

  const int pitch = options.applyPitch ? store.GetTrackPitch(t) : 64;
  int source = options.applyLayers ? store.GetTrackLayer(t) : t;
  if (source < 0 || source >= kTracks) source = t;
  const bool layered = source != t;
  const bool fixedVelocity = options.applyFixedVelocity && store.GetTrackVelocityFixed(t);
  const int trackVelocity = std::clamp(store.GetTrackVelocity(t), 0, 127);

  NoteOffQueue pending;  // remaining time in ticks
  std::vector<NoteOffQueueEntry> due;
  std::vector<Note> notes;
  uint32_t tick = kFirstStepTick;
  for (const SongPart& part : song) {
    if (part.session < 0 || part.session >= kSessions) continue;
    const int session = part.session;
    // A part is as long as its session, at most kSteps; a longer one can only come from a
    // damaged song list and would take a very long time to walk.
    const int length = std::clamp(part.length, 0, kSteps);
    const int solo = store.GetSingle(session);
    bool sounds = !store.GetMuted(session, source) && (solo == -1 || solo == source);
    if (layered && store.GetMuted(session, t)) sounds = false;
    int start, end;
    store.GetStartEndSteps(session, source, start, end);

    int step = start;
    for (int i = 0; i < length; ++i) {
      notes.clear();
      if (sounds) {
        store.GetNotes(session, source, step, notes);
        std::stable_sort(notes.begin(), notes.end(), compareOffsetsThenNotesAscending);
      }
      // The step in 128 substeps of one tick. Between the substeps where a note starts or an
      // end falls due nothing happens, so the walk jumps from one such substep to the next:
      // counting the pending ends down by n ticks at once makes the same ends due, at the
      // same tick and in the same order, as n single ticks would.
      size_t next = 0;
      for (int sub = 0; sub < kTicksPerStep;) {
        for (; next < notes.size() && notes[next].offset == sub; ++next) {
          const Note& n = notes[next];
          const int key = TransposedNote(n.note, pitch);
          if (options.endOverlaps) {
            bool removed = false;
            pending.RemoveOverlaps(n.note, source, removed);
            if (removed) writer.Note(tick, key, 0);
          }
          writer.Note(tick, key, fixedVelocity ? trackVelocity : n.velocity);
          pending.Add(n.note, source, n.gate * kTicksPerStep + n.gateFraction, 0, 0, pitch);
        }
        int nextStart = next < notes.size() ? std::min<int>(notes[next].offset, kTicksPerStep) : kTicksPerStep;
        int advance = nextStart - sub;
        if (!pending.Entries().empty()) {
          double soonest = pending.Entries().front().time;
          for (const NoteOffQueueEntry& e : pending.Entries()) soonest = std::min(soonest, e.time);
          advance = std::min(advance, std::max(1, static_cast<int>(std::ceil(soonest))));
        }
        tick += advance;
        sub += advance;
        if (pending.Entries().empty()) continue;
        pending.Update(advance, due);
        for (const NoteOffQueueEntry& e : due) writer.Note(tick, TransposedNote(e.note, pitch), 0);
      }
      step = step >= end ? start : step + 1;
    }
  }

  // Notes still sounding after the last part end at their own time, earliest first.
  pending.Flush(source, due, true);
  uint32_t endTick = tick;
  for (const NoteOffQueueEntry& e : due) {
    uint32_t at = tick + static_cast<uint32_t>(std::floor(e.time));
    writer.Note(at, TransposedNote(e.note, pitch), 0);
    endTick = std::max(endTick, at);
  }
  writer.EndTrack(endTick);
}

}  // namespace

std::string MidiFileNameFor(const std::string& textFileName) {
  const std::string ending = ".asc";
  if (textFileName.size() >= ending.size() &&
      textFileName.compare(textFileName.size() - ending.size(), ending.size(), ending) == 0) {
    return textFileName.substr(0, textFileName.size() - ending.size()) + ".mid";
  }
  return textFileName + ".mid";
}

bool Player::ExportToMidi(const std::string& fileName, bool endOverlaps, bool applyPitch, bool applyLayers,
                          bool applyFixedVelocity) {
  if (song.empty()) return false;
  if (playing) Stop();

  ExportWriter writer;
  writer.Conductor(bpm, fileName);
  const ExportOptions options{endOverlaps, applyPitch, applyLayers, applyFixedVelocity};
  ExportInstrument instruments[kTracks];
  int banks[kTracks], channels[kTracks];
  for (int t = 0; t < kTracks; ++t) {
    instruments[t] = InstrumentOf(synth, t);
    banks[t] = instruments[t].bank;
  }
  SmfChannels(banks, channels);
  for (int t = 0; t < kTracks; ++t) ExportTrack(*sessions, song, instruments[t], channels[t], t, options, writer);

  if (!WriteFileAtomically(fileName, writer.Text())) {
    printf("error: could not export %s\n", fileName.c_str());
    return false;
  }
  const std::string midiFileName = MidiFileNameFor(fileName);
  if (!WriteFileAtomically(midiFileName, writer.Binary())) {
    printf("error: could not export %s\n", midiFileName.c_str());
    return false;
  }
  return true;
}
