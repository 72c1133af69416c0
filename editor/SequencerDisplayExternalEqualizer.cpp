// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: the external equalizer subpage's panel (gain and ten band bars, program name).
#include "editor/Sequencer.h"
#include "editor/SequencerColors.h"
#include "sound/SFOutput.h"

void Sequencer::DisplayExternalEqualizerPanel(QuadList& quads) {
  if (!synth->GetExternalReverbAvailable(track)) {
    PrintText(quads, "EXT EQUALIZER NOT AVAILABLE", 10, 65, 1.5, YellowColor);
    return;
  }
  double values[kExternalParams] = {};
  sessions->GetTrackExternalEqualizer(track, values);
  const int selected = extEqParam >= 0 && extEqParam < kExternalParams ? extEqParam : 0;
  AddFlat(quads, 7, 43, 730, 3, Color{231 / 255.0, 230 / 255.0, 228 / 255.0, 1});
  for (int k = 0; k < kExternalParams; ++k) {
    const Color color = k == 0 ? WhiteColor : (k % 2 == 0 ? PinkColor : BlueColor);
    AddEffectColumn(quads, k, k == selected, values[k], kExternalEqualizerRanges[k].min,
                    kExternalEqualizerRanges[k].max, color);
  }
  PrintText(quads, FormatEffectValue(values[selected]), 300, 20, 1.2, YellowColor);
  PrintText(quads, kExternalEqualizerEditParams[selected].name, 500, 65, 1.5, kTextColor);
  PrintText(quads, sessions->GetTrackExternalEqualizerEnabled(track) ? "EQUALIZER ON" : "EQUALIZER OFF", 10, 65,
            1.5, kTextColor);
  if (eqProgramSelecting && eqProgramIndex >= 0 && eqProgramIndex < kEqualizerPrograms)
    PrintText(quads, kExternalEqualizerPrograms[eqProgramIndex].name, 660, 65, 1.5, YellowColor);
}
