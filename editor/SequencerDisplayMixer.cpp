// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: the mixer subpage's panel (one bar per track for the selected parameter).
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "editor/Sequencer.h"
#include "editor/SequencerColors.h"

void Sequencer::DisplayMixerPanel(QuadList& quads) {
  static const int kParams[7] = {7, 10, 300, 301, 302, 303, 304};
  static const char* const kNames[7] = {"VOL", "PAN", "CHN", "OUT", "PIT", "LAY", "VEL"};
  const int single = sessions->GetSingle(session);
  for (int t = 0; t < kTracks; ++t) {
    const double x0 = 8 + 66 * t;
    if (t == mixerTrack) AddFlat(quads, 66 * t + 3, 1, 54, 86, WhiteColor);
    int value = 0, range = 127;
    switch (mixerParam) {
      case 7: value = sessions->GetTrackVolume(t); break;
      case 10: value = sessions->GetTrackPan(t); break;
      case 300: value = sessions->GetTrackChannel(t), range = 15; break;
      case 301: value = sessions->GetTrackOutput(t), range = 2; break;
      case 302: value = sessions->GetTrackPitch(t); break;
      case 303: value = sessions->GetTrackLayer(t), range = 11; break;
      case 304: value = sessions->GetTrackVelocity(t); break;
      default: break;
    }
    AddFlat(quads, x0 - 2, 3, 48, 84, BlackColor);
    // A value outside its range (an old project) must not paint past the bar.
    const double h = std::clamp(std::floor(84.0 * value / range), 0.0, 84.0);
    AddFlat(quads, x0 - 2, 3, 48, h, WithAlpha(kTrackColors[t], 0.9));
    // White reads on the black bar and on dark track colours; pale ones (yellow, cyan, green,
    // skin) get black.
    const Color& bar = kTrackColors[t];
    const bool pale = 0.3 * bar.r + 0.59 * bar.g + 0.11 * bar.b > 0.5;
    PrintText(quads, std::to_string(value), x0, 50, 1, 3 + h >= 58 && pale ? BlackColor : WhiteColor);
    if (t == single) PrintText(quads, "S", 66 * t + 24, 7, 2, WhiteColor);
    if (sessions->GetMuted(session, t)) PrintText(quads, "M", 66 * t + 10, 7, 1, WhiteColor);
    if (sessions->GetTrackVelocityFixed(t)) PrintText(quads, "V", 66 * t + 10, 22, 0.9, WhiteColor);
  }
  // The parameter names lie over the bars: a dark band keeps them readable.
  AddFlat(quads, 0, 67, 800, 20, Color{0, 0, 0, 0.7});
  for (int k = 0; k < 7; ++k)
    PrintText(quads, kNames[k], 40 + 110 * k, 70, 1.5, kParams[k] == mixerParam ? kTextColor : PetrolBlueColor);
}
