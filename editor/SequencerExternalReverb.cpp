// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: keys of the external reverb subpage.
#include <algorithm>

#include "editor/Sequencer.h"
#include "player/Player.h"
#include "sound/SFOutput.h"

// The editor's reset values differ from the plug-in's start values only in the mix: a reset
// reverb is audible (0.375 wet) where a fresh chain starts dry.
const ExternalEditParam kExternalReverbEditParams[kExternalParams] = {
    {"IN DELAY", 60},    {"LF X", 105.737},   {"LOW RT60", 1.68179}, {"MID RT60", 1.68179},
    {"HF DAMPING", 2984.89}, {"EQ1 FREQ", 112.468}, {"EQ1 LEVEL", 0}, {"EQ2 FREQ", 449.873},
    {"EQ2 LEVEL", 0},    {"DRY/WET MIX", 0.375}, {"LEVEL", 6},
};

void Sequencer::HandleExternalReverb(const Controls& c) {
  if (!synth->GetExternalReverbAvailable(track)) return;
  const ArrowPresses arrows = PlainArrowPresses(c);
  const int left = arrows.left, right = arrows.right, up = arrows.up, down = arrows.down;
  double values[kExternalParams];
  sessions->GetTrackExternalReverb(track, values);

  if (c.altR) {
    synth->SetExternalReverbActive(track, !synth->GetExternalReverbActive(track));
    sessions->SetTrackExternalReverbEnabled(track, synth->GetExternalReverbActive(track));
  } else if (left > 0 || right > 0) {
    extReverbParam = std::clamp(extReverbParam + right - left, 0, kExternalParams - 1);
    return;
  } else if (up > 0 || down > 0) {
    values[extReverbParam] = StepExternalParam(values[extReverbParam], kExternalReverbRanges[extReverbParam], up - down);
    synth->SetExternalReverbSingleParam(track, extReverbParam, values[extReverbParam]);
    sessions->SetTrackExternalReverb(track, values);
  } else if (c.altShiftX) {
    for (int i = 0; i < kExternalParams; ++i) values[i] = kExternalReverbEditParams[i].reset;
    synth->SetExternalReverbParams(track, values);
    sessions->SetTrackExternalReverb(track, values);
  } else if (c.altX) {
    values[extReverbParam] = kExternalReverbEditParams[extReverbParam].reset;
    synth->SetExternalReverbSingleParam(track, extReverbParam, values[extReverbParam]);
    sessions->SetTrackExternalReverb(track, values);
  } else {
    return;
  }
  PropagateEffects(SubpageExternalReverb);
}
