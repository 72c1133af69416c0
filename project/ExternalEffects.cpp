#include "project/ExternalEffects.h"

#include <algorithm>

#include "sound/SFOutput.h"

// In Delay, LF X, Low RT60, Mid RT60, HF Damping, Eq1 Freq, Eq1 Level, Eq2 Freq, Eq2 Level,
// Dry/Wet Mix, Level.
const ExternalParamRange kExternalReverbRanges[kExternalParams] = {
    {20, 100}, {50, 1000}, {1, 8}, {1, 8}, {1500, 23520}, {40, 2500},
    {-15, 15}, {160, 10000}, {-15, 15}, {-1, 1}, {-70, 40},
};
// Gain, then the ten bands in dB.
const ExternalParamRange kExternalEqualizerRanges[kExternalParams] = {
    {0, 4}, {-12, 12}, {-12, 12}, {-12, 12}, {-12, 12}, {-12, 12},
    {-12, 12}, {-12, 12}, {-12, 12}, {-12, 12}, {-12, 12},
};

namespace {

// The values a soundfont's chain starts with (reverb on with its plug-in defaults, equalizer
// off and flat), for a track whose soundfont has no synthesizer to ask.
constexpr double kInitialExternalReverb[kExternalParams] = {60,      105.737, 1.68179, 1.68179, 2984.89, 112.468,
                                                            0,       449.873, 0,       0,       6};
constexpr double kInitialExternalEqualizer[kExternalParams] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

}  // namespace

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
  std::copy_n(kInitialExternalReverb, kExternalParams, reverb);
  std::copy_n(kInitialExternalEqualizer, kExternalParams, equalizer);
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
