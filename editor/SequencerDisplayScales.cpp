// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: the scales subpage's panel (scale and base note lists).
#include "editor/Sequencer.h"
#include "editor/SequencerColors.h"
#include "model/Scales.h"
#include "player/Player.h"

void Sequencer::DisplayScalesPanel(QuadList& quads) {
  static const std::vector<std::string> scaleNames = [] {
    std::vector<std::string> v;
    for (int s = 0; s < kScaleCount; ++s) v.push_back(Scales::GetScaleName(s));
    return v;
  }();
  static const std::vector<std::string> baseNames = [] {
    std::vector<std::string> v;
    for (int b = 0; b < kBaseNoteCount; ++b) v.push_back(Scales::GetBaseNoteName(b));
    return v;
  }();
  const ScaleInfo info = player->GetScale();
  PrintThreeRowList(quads, scaleNames, info.scale, 160);
  PrintThreeRowList(quads, baseNames, info.base, 570);
  AddMarker(quads, markerASprite.get(), scaleCursor == 0 ? 126 : 536, 29, 1, BurgundColor);
}
