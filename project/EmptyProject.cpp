// SPDX-License-Identifier: LGPL-2.1-or-later
#include "project/EmptyProject.h"

#include <cstdio>

#include "player/Player.h"
#include "project/ExternalEffects.h"
#include "sound/SFOutput.h"

bool CreateEmptyProject(Player* player, const std::string& fileName) {
  SessionsStore* store = player->GetSessions();
  SFOutput* synth = player->GetSynth();
  store->Clear();

  bool ok = true;
  // The first instrument of the first soundfont that has one (the first may be missing).
  int soundfont = 0, bank = 0, program = 0;
  bool haveInstrument = false;
  const std::vector<Instruments>* lists = synth ? synth->GetSFInstruments() : nullptr;
  for (size_t s = 0; lists && s < lists->size() && !haveInstrument; ++s) {
    const Instruments& font = (*lists)[s];
    if (!font.banks.empty() && !font.banks.front().progs.empty()) {
      soundfont = static_cast<int>(s);
      bank = font.banks.front().bank;
      program = font.banks.front().progs.front().prog;
      haveInstrument = true;
    }
  }
  if (synth && !haveInstrument) {
    printf("error: no soundfont has an instrument for a new project\n");
    ok = false;
  }

  for (int t = 0; t < kTracks; ++t) {
    store->SetTrackVolume(t, 100);
    store->SetTrackPan(t, 64);
    store->SetTrackReverb(t, 20, 0, 50, 90);
    store->SetTrackReverbEnabled(t, false);
    store->SetTrackChorus(t, 3, 20, 3, 8, 0);
    store->SetTrackChorusEnabled(t, false);
    if (!synth) continue;
    if (haveInstrument && !synth->SetInstrument(t, soundfont, bank, program)) {
      printf("error: could not set instrument of track %d for a new project\n", t);
      ok = false;
    }
    synth->SetVolume(t, 100);
    synth->SetPan(t, 64);
    synth->SetReverb(t, 0.2, 0.0, 0.5, 0.9);
    synth->SetReverbEnabled(t, false);
    synth->SetChorus(t, 3, 2.0, 0.3, 8.0, 0);
    synth->SetChorusEnabled(t, false);
    TakeExternalEffectsFromSynth(synth, store, t);
  }

  player->SetSession(0);
  player->SetTrack(0);
  player->SetBPM(120);
  return player->SaveProject(fileName) && ok;
}
