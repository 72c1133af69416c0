// SPDX-License-Identifier: LGPL-2.1-or-later
#include <cstdio>
#include <string>

#include "player/Player.h"
#include "project/AtomicFile.h"
#include "project/ExternalEffects.h"
#include "project/LineFields.h"
#include "project/ProjectFormat.h"
#include "project/ProjectSnapshot.h"
#include "project/SongSettings.h"
#include "sound/SFOutput.h"

namespace {

// Names are single fields in the file. Spaces become "_" as they always have; other
// whitespace (a tab or line break inside a preset name) would split or end the line, so it
// is replaced the same way.
void AppendName(std::string& out, const std::string& name) {
  for (char c : name) {
    bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    out += space ? '_' : c;
  }
}

void AppendFields(std::string& out, std::initializer_list<int64_t> values) {
  for (int64_t v : values) {
    out += ' ';
    AppendInt(out, v);
  }
}

void AppendInstrumentLine(std::string& out, const ProjectSnapshot& p, int t) {
  const TrackInstrument& inst = p.settings.instruments[t];
  if (inst.soundfont == -1) return;
  const TrackAttribs& a = p.settings.tracks[t];

  out += 'i';
  AppendFields(out, {t, kMidiValueRange.Limit(a.velocity), a.velocityFixed, kMidiValueRange.Limit(a.volume),
                     kMidiValueRange.Limit(a.pan), kChannelRange.Limit(a.channel), kOutputRange.Limit(a.output),
                     kMidiValueRange.Limit(a.pitch), kLayerRange.Limit(a.layer)});
  AppendFields(out, {a.reverbEnabled, kReverbRange.Limit(a.reverb[0]), kReverbRange.Limit(a.reverb[1]),
                     kReverbRange.Limit(a.reverb[2]), kReverbRange.Limit(a.reverb[3])});
  AppendFields(out, {a.chorusEnabled, kChorusRanges[0].Limit(a.chorus[0]), kChorusRanges[1].Limit(a.chorus[1]),
                     kChorusRanges[2].Limit(a.chorus[2]), kChorusRanges[3].Limit(a.chorus[3]),
                     kChorusRanges[4].Limit(a.chorus[4])});
  AppendFields(out, {a.externalReverbEnabled});
  for (int k = 0; k < kExternalParams; ++k) {
    out += ' ';
    AppendDouble(out, kExternalReverbRanges[k].Limit(a.externalReverb[k]));
  }
  AppendFields(out, {a.externalEqualizerEnabled});
  for (int k = 0; k < kExternalParams; ++k) {
    out += ' ';
    AppendDouble(out, kExternalEqualizerRanges[k].Limit(a.externalEqualizer[k]));
  }
  AppendFields(out, {inst.soundfont, inst.bank, inst.program});
  out += ' ';
  AppendName(out, p.soundfontNames[t]);
  out += ' ';
  AppendName(out, p.presetNames[t]);
  out += '\n';
}

// The session's lines from the snapshot's steps, which come in (session, track, step) order;
// `next` is the first step entry not yet written and `note` its first note.
void AppendSession(std::string& out, const ProjectSnapshot& p, int session, size_t& next, size_t& note) {
  const std::vector<StepImages::Entry>& entries = p.steps.entries;
  auto sessionOf = [](const StepImages::Entry& e) { return e.key / (kSteps * kTracks); };
  auto trackOf = [](const StepImages::Entry& e) { return e.key / kSteps % kTracks; };
  out += 's';
  AppendFields(out, {session, p.settings.single[session]});
  for (int t = 0; t < kTracks; ++t) AppendFields(out, {p.settings.sessionTracks[session][t].muted});
  out += '\n';
  for (int t = 0; t < kTracks; ++t) {
    const SessionTrackAttribs& range = p.settings.sessionTracks[session][t];
    const bool hasNotes = next < entries.size() && sessionOf(entries[next]) == session && trackOf(entries[next]) == t;
    if (!hasNotes && range.startStep == 0 && range.endStep == 15) continue;
    out += 't';
    AppendFields(out, {t, range.startStep, range.endStep});
    out += '\n';
    for (; next < entries.size() && sessionOf(entries[next]) == session && trackOf(entries[next]) == t; ++next) {
      const int step = entries[next].key % kSteps;
      for (int i = 0; i < entries[next].count; ++i) {
        const Note& n = p.steps.notes[note++];
        out += 'e';
        AppendFields(out, {step, n.note, kMidiValueRange.Limit(n.offset), kMidiValueRange.Limit(n.velocity), n.gate,
                           n.gateFraction});
        out += '\n';
      }
    }
  }
}

}  // namespace

bool Player::SaveProject(const std::string& fileName) {
  ProjectSnapshot snapshot;
  TakeSnapshot(snapshot);
  std::string out;
  ::ProjectText(snapshot, out);
  if (!WriteFileAtomically(fileName, out)) {
    printf("error: could not save project file %s\n", fileName.c_str());
    return false;
  }
  return true;
}

void Player::ProjectText(std::string& out) {
  ProjectSnapshot snapshot;
  TakeSnapshot(snapshot);
  ::ProjectText(snapshot, out);
}

void Player::TakeSnapshot(ProjectSnapshot& out) const {
  CaptureSettings(*this, out.settings);
  for (int t = 0; t < kTracks; ++t) {
    out.soundfontNames[t].clear();
    out.presetNames[t].clear();
    TrackInstrument& inst = out.settings.instruments[t];
    // Without a synthesizer (tools and tests of the song model) no track has an instrument.
    // An instrument on a soundfont that could not be loaded has no indexes, but it is the
    // user's choice all the same and is written back unchanged.
    const bool known = inst.bankIndex != -1 && inst.programIndex != -1;
    if (!synth || inst.soundfont == -1 || (!known && !synth->IsSoundfontMissing(inst.soundfont))) {
      inst.soundfont = -1;
      continue;
    }
    const std::vector<Instruments>& lists = *synth->GetSFInstruments();
    if (inst.soundfont < 0 || inst.soundfont >= static_cast<int>(lists.size())) continue;
    const Instruments& list = lists[inst.soundfont];
    out.soundfontNames[t] = list.name;
    if (inst.bankIndex < 0 || inst.bankIndex >= static_cast<int>(list.banks.size())) continue;
    const Bank& bank = list.banks[inst.bankIndex];
    if (inst.programIndex >= 0 && inst.programIndex < static_cast<int>(bank.progs.size())) {
      out.presetNames[t] = bank.progs[inst.programIndex].name;
    }
  }
  sessions->CaptureSteps(out.steps);
}

void ProjectText(const ProjectSnapshot& p, std::string& out) {
  out.clear();
  out.reserve(64 + p.steps.notes.size() * 20 + kTracks * 400);
  out += 'p';
  AppendFields(out, {kProjectVersion, kBpmRange.Limit(p.settings.bpm), p.settings.noteQuantization,
                     p.settings.gateQuantization, kScaleRange.Limit(p.settings.scale.scale),
                     kBaseRange.Limit(p.settings.scale.base)});
  out += " \n";

  const Song& song = p.settings.song;
  out += "o ";
  AppendInt(out, static_cast<int64_t>(song.size()));
  out += ' ';
  for (size_t i = 0; i < song.size(); ++i) {
    if (i > 0) out += ' ';
    AppendInt(out, song[i].session);
  }
  out += '\n';

  for (int t = 0; t < kTracks; ++t) AppendInstrumentLine(out, p, t);

  size_t next = 0, note = 0;
  for (int session = 0; session < kSessions; ++session) {
    const bool hasNotes = next < p.steps.entries.size() && p.steps.entries[next].key / (kSteps * kTracks) == session;
    if (hasNotes) AppendSession(out, p, session, next, note);
  }
}
