// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: keys of the external equalizer subpage, with its program choice.
#include <algorithm>

#include "editor/Sequencer.h"
#include "player/Player.h"
#include "sound/SFOutput.h"

const ExternalEqualizerProgram kExternalEqualizerPrograms[kEqualizerPrograms] = {
    {"----", {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"FLAT", {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"LOWP", {1, 5.12, 4.85, 4.04, 0.94, 1.26, -0.36, -0.36, 0, 0, 0}},
    {"ACOU", {1, 6.83, 6.47, 5.39, 1.26, 2.88, 2.52, 4.85, 5.39, 4.85, 2.88}},
    {"PIAN", {1, 3.96, 2.88, 0.36, 3.42, 3.96, 1.98, 4.85, 5.93, 3.96, 4.85}},
    {"POP", {1, -1.8, -1.26, 0.36, 2.88, 5.39, 5.39, 2.88, 0.36, -1.26, -1.62}},
    {"ROCK", {1, 6.65, 5.39, 3.96, 1.98, -0.72, -1.26, 0.72, 3.24, 4.49, 5.75}},
    {"LATI", {1, 5.93, 5.93, 0.36, 0.36, -1.8, -1.8, -1.8, 0.36, 3.96, 5.93}},
    {"ELEC", {1, 5.75, 5.21, 1.62, 0.36, -2.7, 3.06, 1.08, 1.62, 5.39, 6.65}},
    {"BASS", {1, 7.19, 5.57, 4.67, 3.24, 1.62, 0.36, 0.36, 0.36, 0.36, 0.36}},
};

const ExternalEditParam kExternalEqualizerEditParams[kExternalParams] = {
    {"GAIN", 1},   {"31 HZ", 0}, {"63 HZ", 0}, {"125 HZ", 0}, {"250 HZ", 0},  {"500 HZ", 0},
    {"1 KHZ", 0},  {"2 KHZ", 0}, {"4 KHZ", 0}, {"8 KHZ", 0},  {"16 KHZ", 0},
};

void Sequencer::ApplyEqualizer(const double values[kExternalParams]) {
  synth->SetExternalEqualizerParams(track, values);
  sessions->SetTrackExternalEqualizer(track, values);
}

void Sequencer::HandleExternalEqualizer(const Controls& c) {
  // Choosing a program is a mode: ALT P enters it (remembering the values to go back to),
  // RETURN leaves it. Subpage cycling and track selection wait for it to end. Like the screen,
  // this goes by the external reverb's availability: the two plug-ins come up together unless
  // one library is missing.
  if (!synth->GetExternalReverbAvailable(track)) return;
  const ArrowPresses arrows = PlainArrowPresses(c);
  const int left = arrows.left, right = arrows.right, up = arrows.up, down = arrows.down;
  double values[kExternalParams];
  sessions->GetTrackExternalEqualizer(track, values);

  if (c.altE) {
    synth->SetExternalEqualizerActive(track, !synth->GetExternalEqualizerActive(track));
    sessions->SetTrackExternalEqualizerEnabled(track, synth->GetExternalEqualizerActive(track));
  } else if (left > 0 || right > 0) {
    extEqParam = std::clamp(extEqParam + right - left, 0, kExternalParams - 1);
    return;
  } else if ((up > 0 || down > 0) && eqProgramSelecting) {
    // The programs are a list read downwards: DOWN goes to the next one.
    int index = (eqProgramIndex - up + down) % kEqualizerPrograms;
    if (index < 0) index += kEqualizerPrograms;
    eqProgramIndex = index;
    ApplyEqualizer(index == 0 ? savedEqualizer : kExternalEqualizerPrograms[index].values);
  } else if (up > 0 || down > 0) {
    values[extEqParam] = StepExternalParam(values[extEqParam], kExternalEqualizerRanges[extEqParam], up - down);
    synth->SetExternalEqualizerSingleParam(track, extEqParam, values[extEqParam]);
    sessions->SetTrackExternalEqualizer(track, values);
  } else if (c.altShiftX) {
    for (int i = 0; i < kExternalParams; ++i) values[i] = kExternalEqualizerEditParams[i].reset;
    ApplyEqualizer(values);
  } else if (c.altX) {
    values[extEqParam] = kExternalEqualizerEditParams[extEqParam].reset;
    synth->SetExternalEqualizerSingleParam(track, extEqParam, values[extEqParam]);
    sessions->SetTrackExternalEqualizer(track, values);
  } else if (c.altP) {
    if (eqProgramSelecting) return;
    eqProgramSelecting = true;
    eqProgramIndex = 0;
    for (int i = 0; i < kExternalParams; ++i) savedEqualizer[i] = values[i];
    return;
  } else if (c.returnPressed) {
    if (!eqProgramSelecting) return;
    if (eqProgramIndex == 0) ApplyEqualizer(savedEqualizer);
    eqProgramSelecting = false;
    eqProgramIndex = 0;
    for (double& v : savedEqualizer) v = 0;
  } else {
    return;
  }
  PropagateEffects(SubpageExternalEqualizer);
}
