#include <cstdio>
#include <string>

#include "player/Player.h"
#include "project/AtomicFile.h"
#include "project/ExternalEffects.h"
#include "project/LineFields.h"
#include "project/ProjectFormat.h"
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

void AppendInstrumentLine(std::string& out, const SessionsStore& s, const SFOutput& synth, int t) {
  TrackInstrument inst = synth.GetInstrument(t);
  // An instrument on a soundfont that could not be loaded has no indexes, but it is the
  // user's choice all the same and is written back unchanged.
  const bool known = inst.bankIndex != -1 && inst.programIndex != -1;
  if (inst.soundfont == -1 || (!known && !synth.IsSoundfontMissing(inst.soundfont))) return;

  out += 'i';
  AppendFields(out, {t, kMidiValueRange.Limit(s.GetTrackVelocity(t)), s.GetTrackVelocityFixed(t),
                     kMidiValueRange.Limit(s.GetTrackVolume(t)), kMidiValueRange.Limit(s.GetTrackPan(t)),
                     kChannelRange.Limit(s.GetTrackChannel(t)), kOutputRange.Limit(s.GetTrackOutput(t)),
                     kMidiValueRange.Limit(s.GetTrackPitch(t)), kLayerRange.Limit(s.GetTrackLayer(t))});
  int r[4];
  s.GetTrackReverb(t, r[0], r[1], r[2], r[3]);
  AppendFields(out, {s.GetTrackReverbEnabled(t), kReverbRange.Limit(r[0]), kReverbRange.Limit(r[1]),
                     kReverbRange.Limit(r[2]), kReverbRange.Limit(r[3])});
  int c[5];
  s.GetTrackChorus(t, c[0], c[1], c[2], c[3], c[4]);
  AppendFields(out, {s.GetTrackChorusEnabled(t), kChorusRanges[0].Limit(c[0]), kChorusRanges[1].Limit(c[1]),
                     kChorusRanges[2].Limit(c[2]), kChorusRanges[3].Limit(c[3]), kChorusRanges[4].Limit(c[4])});
  double p[kExternalParams];
  AppendFields(out, {s.GetTrackExternalReverbEnabled(t)});
  s.GetTrackExternalReverb(t, p);
  for (int k = 0; k < kExternalParams; ++k) {
    out += ' ';
    AppendDouble(out, kExternalReverbRanges[k].Limit(p[k]));
  }
  AppendFields(out, {s.GetTrackExternalEqualizerEnabled(t)});
  s.GetTrackExternalEqualizer(t, p);
  for (int k = 0; k < kExternalParams; ++k) {
    out += ' ';
    AppendDouble(out, kExternalEqualizerRanges[k].Limit(p[k]));
  }
  AppendFields(out, {inst.soundfont, inst.bank, inst.program});

  std::string soundfontName, presetName;
  const std::vector<Instruments>& lists = *synth.GetSFInstruments();
  if (inst.soundfont >= 0 && inst.soundfont < static_cast<int>(lists.size())) {
    const Instruments& list = lists[inst.soundfont];
    soundfontName = list.name;
    if (inst.bankIndex >= 0 && inst.bankIndex < static_cast<int>(list.banks.size())) {
      const Bank& bank = list.banks[inst.bankIndex];
      if (inst.programIndex >= 0 && inst.programIndex < static_cast<int>(bank.progs.size())) {
        presetName = bank.progs[inst.programIndex].name;
      }
    }
  }
  out += ' ';
  AppendName(out, soundfontName);
  out += ' ';
  AppendName(out, presetName);
  out += '\n';
}

void AppendSession(std::string& out, const SessionsStore& s, int session, std::vector<Note>& notes) {
  out += 's';
  AppendFields(out, {session, s.GetSingle(session)});
  for (int t = 0; t < kTracks; ++t) AppendFields(out, {s.GetMuted(session, t)});
  out += '\n';
  for (int t = 0; t < kTracks; ++t) {
    int start, end;
    s.GetStartEndSteps(session, t, start, end);
    if (s.IsEmpty(session, t) && start == 0 && end == 15) continue;
    out += 't';
    AppendFields(out, {t, start, end});
    out += '\n';
    for (int step = 0; step < kSteps; ++step) {
      if (s.IsEmpty(session, t, step)) continue;
      s.GetNotes(session, t, step, notes);
      for (const Note& n : notes) {
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
  std::string out;
  out.reserve(1 << 16);

  out += 'p';
  AppendFields(out, {kProjectVersion, kBpmRange.Limit(bpm), noteQuantization, gateQuantization,
                     kScaleRange.Limit(scale.scale), kBaseRange.Limit(scale.base)});
  out += " \n";

  out += "o ";
  AppendInt(out, static_cast<int64_t>(song.size()));
  out += ' ';
  for (size_t i = 0; i < song.size(); ++i) {
    if (i > 0) out += ' ';
    AppendInt(out, song[i].session);
  }
  out += '\n';

  // Without a synthesizer (tools and tests of the song model) no track has an instrument.
  if (synth) {
    for (int t = 0; t < kTracks; ++t) AppendInstrumentLine(out, *sessions, *synth, t);
  }

  std::vector<Note> notes;
  for (int session = 0; session < kSessions; ++session) {
    if (!sessions->IsEmpty(session)) AppendSession(out, *sessions, session, notes);
  }

  if (!WriteFileAtomically(fileName, out)) {
    printf("error: could not save project file %s\n", fileName.c_str());
    return false;
  }
  return true;
}
