#include "project/ExternalEffects.h"

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

// What the synthesizer reports for a soundfont whose chain came up, before anything is
// changed: the reverb on with its plug-in defaults (dry/wet 0), the equalizer off and flat.
constexpr double kInitialExternalReverb[kExternalParams] = {60,      105.737, 1.68179, 1.68179, 2984.89, 112.468,
                                                            0,       449.873, 0,       0,       6};
constexpr double kInitialExternalEqualizer[kExternalParams] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

}  // namespace

void ApplyExternalEffects(SFOutput* synth, SessionsStore* store, int track, bool reverb, bool equalizer) {
  // To be wired with the effect chain:
  //   double p[kExternalParams];
  //   if (reverb) {
  //     synth->SetExternalReverbActive(track, store->GetTrackExternalReverbEnabled(track));
  //     store->GetTrackExternalReverb(track, p); synth->SetExternalReverbParams(track, p);
  //   }
  //   if (equalizer) {
  //     synth->SetExternalEqualizerActive(track, store->GetTrackExternalEqualizerEnabled(track));
  //     store->GetTrackExternalEqualizer(track, p); synth->SetExternalEqualizerParams(track, p);
  //   }
  (void)synth;
  (void)store;
  (void)track;
  (void)reverb;
  (void)equalizer;
}

void ReadBackExternalReverb(SFOutput* synth, SessionsStore* store, int track) {
  // To be wired with the effect chain:
  //   double p[kExternalParams];
  //   synth->GetExternalReverbParams(track, p); store->SetTrackExternalReverb(track, p);
  // Until then the stored values are what the synthesizer would report.
  (void)synth;
  (void)store;
  (void)track;
}

void TakeExternalEffectsFromSynth(SFOutput* synth, SessionsStore* store, int track) {
  // To be wired with the effect chain: the four getters GetExternalReverbActive,
  // GetExternalReverbParams, GetExternalEqualizerActive and GetExternalEqualizerParams.
  // Until then: the values the chain starts with.
  (void)synth;
  store->SetTrackExternalReverbEnabled(track, true);
  store->SetTrackExternalReverb(track, kInitialExternalReverb);
  store->SetTrackExternalEqualizerEnabled(track, false);
  store->SetTrackExternalEqualizer(track, kInitialExternalEqualizer);
}
