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
  int bank = 0, program = 0;
  bool haveInstrument = false;
  if (synth && !synth->GetSFInstruments()->empty()) {
    const Instruments& first = synth->GetSFInstruments()->front();
    if (!first.banks.empty() && !first.banks.front().progs.empty()) {
      bank = first.banks.front().bank;
      program = first.banks.front().progs.front().prog;
      haveInstrument = true;
    }
  }
  if (synth && !haveInstrument) {
    printf("error: the first soundfont has no instrument for a new project\n");
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
    if (haveInstrument && !synth->SetInstrument(t, 0, bank, program)) {
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
