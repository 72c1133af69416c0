// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: keys of the scales subpage (scale and base note of the project).
#include <algorithm>

#include "editor/Sequencer.h"
#include "player/Player.h"

void Sequencer::HandleScales(const Controls& c) {
  ScaleInfo info = player->GetScale();
  int scale = info.scale;
  int base = info.base;
  if (c.leftCount > 0) {
    scaleCursor = std::max(0, scaleCursor - c.leftCount);
  } else if (c.rightCount > 0) {
    scaleCursor = std::min(1, scaleCursor + c.rightCount);
  } else if (c.upCount > 0 || c.downCount > 0) {
    const int delta = c.upCount > 0 ? -c.upCount : c.downCount;
    if (scaleCursor == 0) {
      scale = std::clamp(scale + delta, 0, kScaleCount - 1);
    } else {
      base = std::clamp(base + delta, 0, kBaseNoteCount - 1);
    }
  }
  // Set every frame, so the player always plays in the scale shown here.
  info.scale = static_cast<Scale>(scale);
  info.base = static_cast<BaseNote>(base);
  player->SetScale(info);
}
