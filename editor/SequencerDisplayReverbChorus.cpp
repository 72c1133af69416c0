// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: the reverb and chorus subpage's panel (switches, nine values, description).
#include "editor/Sequencer.h"
#include "editor/SequencerColors.h"

void Sequencer::DisplayReverbChorusPanel(QuadList& quads) {
  static const char* const kDescriptions[9] = {
      "ROOM  0-100 20  REVERB LENGTH   ", "DAMP  0-100  0  REDUCE HIGH FREQ", "WIDTH 0-100 50  ADD LOWER FREQ  ",
      "LEVEL 0-100 90  LOUDNESS        ", "VC    0-99   3  VOICE COUNT     ", "LEVEL 0-100 20  OUTPUT AMPLITUDE",
      "SPEED 1-50   3  HZ 0.1-5        ", "DEPTH 0-21   8  MODULATION DEPTH", "TYPE  0|1    0  SINE|TRIANGLE  "};
  const int selected = fxParam >= 0 && fxParam < 9 ? fxParam : 0;
  const bool reverbSelected = selected < 4;
  PrintText(quads, sessions->GetTrackReverbEnabled(track) ? "REVERB ON" : "REVERB OFF", 34, 36, 1.5,
            reverbSelected ? kTextColor : PetrolBlueColor);
  PrintText(quads, sessions->GetTrackChorusEnabled(track) ? "CHORUS ON" : "CHORUS OFF", 394, 36, 1.5,
            reverbSelected ? PetrolBlueColor : kTextColor);
  int v[9] = {};
  sessions->GetTrackReverb(track, v[0], v[1], v[2], v[3]);
  sessions->GetTrackChorus(track, v[4], v[5], v[6], v[7], v[8]);
  for (int k = 0; k < 9; ++k)
    PrintText(quads, std::to_string(v[k]), 34 + 90 * k, 10, 1.5, k == selected ? kTextColor : PetrolBlueColor);
  AddMarker(quads, markerASprite.get(), 90 * selected, 5, 1, BurgundColor);
  PrintText(quads, kDescriptions[selected], 10, 65, 1.5, kTextColor);
}
