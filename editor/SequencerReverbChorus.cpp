// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: keys of the reverb and chorus subpage, and the copying of effect settings to
// every track on the same soundfont (the synthesizer keeps them per soundfont).
#include <algorithm>

#include "editor/Sequencer.h"
#include "player/Player.h"
#include "sound/SFOutput.h"

namespace {

constexpr int kFxParams = 9;

// Reverb room, damping, width, level in hundredths; chorus voices, level in tenths, speed in
// tenths of a hertz, depth, wave type (0 sine, 1 triangle).
constexpr int kFxMin[kFxParams] = {0, 0, 0, 0, 0, 0, 1, 0, 0};
constexpr int kFxMax[kFxParams] = {100, 100, 100, 100, 99, 100, 50, 21, 1};

}  // namespace

void Sequencer::PropagateEffects(int effectsSubpage) {
  const int soundfont = synth->GetInstrument(track).soundfont;
  int reverb[4], chorus[5];
  double values[kExternalParams];
  sessions->GetTrackReverb(track, reverb[0], reverb[1], reverb[2], reverb[3]);
  sessions->GetTrackChorus(track, chorus[0], chorus[1], chorus[2], chorus[3], chorus[4]);
  for (int t = 0; t < kTracks; ++t) {
    if (t == track || synth->GetInstrument(t).soundfont != soundfont) continue;
    switch (effectsSubpage) {
      case SubpageReverbChorus:
        sessions->SetTrackReverbEnabled(t, sessions->GetTrackReverbEnabled(track));
        sessions->SetTrackReverb(t, reverb[0], reverb[1], reverb[2], reverb[3]);
        sessions->SetTrackChorusEnabled(t, sessions->GetTrackChorusEnabled(track));
        sessions->SetTrackChorus(t, chorus[0], chorus[1], chorus[2], chorus[3], chorus[4]);
        // The synthesizer remembers the switches by track number; keep its answer for this
        // track the same as the store's (the synthesizer itself is already switched).
        synth->SetReverbEnabled(t, sessions->GetTrackReverbEnabled(track));
        synth->SetChorusEnabled(t, sessions->GetTrackChorusEnabled(track));
        break;
      case SubpageExternalReverb:
        sessions->SetTrackExternalReverbEnabled(t, sessions->GetTrackExternalReverbEnabled(track));
        sessions->GetTrackExternalReverb(track, values);
        sessions->SetTrackExternalReverb(t, values);
        break;
      case SubpageExternalEqualizer:
        sessions->SetTrackExternalEqualizerEnabled(t, sessions->GetTrackExternalEqualizerEnabled(track));
        sessions->GetTrackExternalEqualizer(track, values);
        sessions->SetTrackExternalEqualizer(t, values);
        break;
      default: break;
    }
  }
}

void Sequencer::HandleReverbChorus(const Controls& c) {
  const ArrowPresses arrows = PlainArrowPresses(c);
  const int left = arrows.left, right = arrows.right, up = arrows.up, down = arrows.down;

  if (c.altR) {
    const bool on = !sessions->GetTrackReverbEnabled(track);
    synth->SetReverbEnabled(track, on);
    sessions->SetTrackReverbEnabled(track, on);
    PropagateEffects(SubpageReverbChorus);
  } else if (c.altC) {
    const bool on = !sessions->GetTrackChorusEnabled(track);
    synth->SetChorusEnabled(track, on);
    sessions->SetTrackChorusEnabled(track, on);
    PropagateEffects(SubpageReverbChorus);
  } else if (left > 0 || right > 0) {
    fxParam = std::clamp(fxParam + right - left, 0, kFxParams - 1);
  } else if (up > 0 || down > 0) {
    int v[kFxParams];
    sessions->GetTrackReverb(track, v[0], v[1], v[2], v[3]);
    sessions->GetTrackChorus(track, v[4], v[5], v[6], v[7], v[8]);
    v[fxParam] = std::clamp(v[fxParam] + up - down, kFxMin[fxParam], kFxMax[fxParam]);
    if (fxParam < 4) {
      sessions->SetTrackReverb(track, v[0], v[1], v[2], v[3]);
      synth->SetReverb(track, v[0] / 100.0, v[1] / 100.0, v[2] / 100.0, v[3] / 100.0);
    } else {
      sessions->SetTrackChorus(track, v[4], v[5], v[6], v[7], v[8]);
      // fluidsynth keeps the chorus ranges in single precision and refuses 0.1 Hz given as a
      // double (it lies just below 0.1f); the speed goes over as the float it is compared with.
      const double speed = static_cast<float>(v[6] / 10.0);
      synth->SetChorus(track, v[4], v[5] / 10.0, speed, v[7], v[8]);
    }
    PropagateEffects(SubpageReverbChorus);
  }
}
