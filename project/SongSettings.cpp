// SPDX-License-Identifier: LGPL-2.1-or-later
#include "project/SongSettings.h"

#include "player/Player.h"
#include "project/ExternalEffects.h"
#include "sound/SFOutput.h"

void CaptureSettings(const Player& player, SongSettings& out) {
  const SessionsStore& store = *player.GetSessions();
  out.bpm = player.GetBPM();
  out.noteQuantization = player.GetNoteQuantization();
  out.gateQuantization = player.GetGateQuantization();
  out.scale = player.GetScale();
  out.song = player.GetSong();
  for (int t = 0; t < kTracks; ++t) {
    out.instruments[t] = player.GetSynth() ? player.GetSynth()->GetInstrument(t) : TrackInstrument{};
    out.tracks[t] = store.GetTrackAttribs(t);
  }
  for (int s = 0; s < kSessions; ++s) {
    for (int t = 0; t < kTracks; ++t) out.sessionTracks[s][t] = store.GetSessionTrackAttribs(s, t);
    out.single[s] = store.GetSingle(s);
  }
  out.looping = store.GetLooping();
  store.GetLoopingStartEndSteps(out.loopTrack, out.loopStart, out.loopEnd);
}

void ApplySettings(Player& player, const SongSettings& in) {
  SessionsStore* store = player.GetSessions();
  SFOutput* synth = player.GetSynth();
  player.SetBPM(in.bpm);
  player.SetNoteQuantization(in.noteQuantization);
  player.SetGateQuantization(in.gateQuantization);
  player.SetScale(in.scale);
  player.SetSong(in.song);
  for (int t = 0; t < kTracks; ++t) {
    const TrackInstrument& inst = in.instruments[t];
    if (synth && !(synth->GetInstrument(t) == inst)) synth->SetInstrument(t, inst.soundfont, inst.bank, inst.program);
    if (store->GetTrackAttribs(t) == in.tracks[t]) continue;
    store->SetTrackAttribs(t, in.tracks[t]);
    SendTrackSound(synth, store, t, true, true);
  }
  for (int s = 0; s < kSessions; ++s) {
    for (int t = 0; t < kTracks; ++t) store->SetSessionTrackAttribs(s, t, in.sessionTracks[s][t]);
    store->SetSingle(s, in.single[s]);
  }
  store->SetLooping(in.looping);
  store->SetLoopingStartEndSteps(in.loopTrack, in.loopStart, in.loopEnd);
}

void SendTrackSound(SFOutput* synth, SessionsStore* store, int t, bool externalReverb, bool externalEqualizer) {
  if (!synth) return;
  int r[4], c[5];
  store->GetTrackReverb(t, r[0], r[1], r[2], r[3]);
  store->GetTrackChorus(t, c[0], c[1], c[2], c[3], c[4]);
  synth->SetVolume(t, store->GetTrackVolume(t));
  synth->SetPan(t, store->GetTrackPan(t));
  synth->SetReverb(t, r[0] / 100.0, r[1] / 100.0, r[2] / 100.0, r[3] / 100.0);
  synth->SetChorus(t, c[0], c[1] / 10.0, c[2] / 10.0, c[3], c[4]);
  synth->SetReverbEnabled(t, store->GetTrackReverbEnabled(t));
  synth->SetChorusEnabled(t, store->GetTrackChorusEnabled(t));
  ApplyExternalEffects(synth, store, t, externalReverb, externalEqualizer);
}
