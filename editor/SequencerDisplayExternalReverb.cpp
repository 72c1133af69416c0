// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: the external reverb subpage's panel (eleven parameter bars, the selected value).
#include "editor/Sequencer.h"
#include "editor/SequencerColors.h"
#include "sound/SFOutput.h"

void Sequencer::DisplayExternalReverbPanel(QuadList& quads) {
  if (!synth->GetExternalReverbAvailable(track)) {
    PrintText(quads, "EXT REVERB NOT AVAILABLE", 10, 65, 1.5, YellowColor);
    return;
  }
  double values[kExternalParams] = {};
  sessions->GetTrackExternalReverb(track, values);
  const int selected = extReverbParam >= 0 && extReverbParam < kExternalParams ? extReverbParam : 0;
  for (int k = 0; k < kExternalParams; ++k) {
    AddEffectColumn(quads, k, k == selected, values[k], kExternalReverbRanges[k].min, kExternalReverbRanges[k].max,
                    k % 2 == 0 ? PinkColor : BlueColor);
  }
  PrintText(quads, FormatEffectValue(values[selected]), 300, 20, 1.2, YellowColor);
  PrintText(quads, kExternalReverbEditParams[selected].name, 500, 65, 1.5, kTextColor);
  PrintText(quads, FormatEffectValue(kExternalReverbRanges[selected].min), 10, 40, 1.2, WhiteColor);
  PrintText(quads, FormatEffectValue(kExternalReverbRanges[selected].max), 500, 40, 1.2, WhiteColor);
  PrintText(quads, sessions->GetTrackExternalReverbEnabled(track) ? "EXT REVERB ON" : "EXT REVERB OFF", 10, 65, 1.5,
            kTextColor);
}
