// SPDX-License-Identifier: LGPL-2.1-or-later
#include "project/ExternalEffects.h"

#include <algorithm>

#include "sound/SFOutput.h"

void ApplyExternalEffects(SFOutput* synth, SessionsStore* store, int track, bool reverb, bool equalizer) {
  if (!synth) return;
  double p[kExternalParams];
  if (reverb) {
    synth->SetExternalReverbActive(track, store->GetTrackExternalReverbEnabled(track));
    store->GetTrackExternalReverb(track, p);
    synth->SetExternalReverbParams(track, p);
  }
  if (equalizer) {
    synth->SetExternalEqualizerActive(track, store->GetTrackExternalEqualizerEnabled(track));
    store->GetTrackExternalEqualizer(track, p);
    synth->SetExternalEqualizerParams(track, p);
  }
}

void ReadBackExternalReverb(SFOutput* synth, SessionsStore* store, int track) {
  // Without a working reverb in the chain the project's own values are all there is: keep them.
  if (!synth || !synth->GetExternalReverbAvailable(track)) return;
  double p[kExternalParams];
  synth->GetExternalReverbParams(track, p);
  store->SetTrackExternalReverb(track, p);
}

void TakeExternalEffectsFromSynth(SFOutput* synth, SessionsStore* store, int track) {
  double reverb[kExternalParams], equalizer[kExternalParams];
  // What a soundfont's chain starts with (reverb on with its plug-in defaults, equalizer off
  // and flat), for a track whose soundfont has no synthesizer to ask.
  for (int k = 0; k < kExternalParams; ++k) {
    reverb[k] = kExternalReverbRanges[k].initial;
    equalizer[k] = kExternalEqualizerRanges[k].initial;
  }
  bool reverbOn = true, equalizerOn = false;
  if (synth) {
    reverbOn = synth->GetExternalReverbActive(track);
    equalizerOn = synth->GetExternalEqualizerActive(track);
    synth->GetExternalReverbParams(track, reverb);
    synth->GetExternalEqualizerParams(track, equalizer);
  }
  store->SetTrackExternalReverbEnabled(track, reverbOn);
  store->SetTrackExternalReverb(track, reverb);
  store->SetTrackExternalEqualizerEnabled(track, equalizerOn);
  store->SetTrackExternalEqualizer(track, equalizer);
}
