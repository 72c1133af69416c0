// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include "render/Quad.h"

// The named rectangles of the atlas texture (share/res/drawable/atlas.png, 1024 x 1024),
// which the program keeps in texture slot 99.
class Atlas {
 public:
  static constexpr int kTextureSlot = 99;
  static constexpr int kSize = 1024;
  static constexpr int kCount = 11;

  // Indices of the table, named after what the editor shows with them.
  enum : int {
    Default = 0,
    MarkerB = 1,
    KeyboardPanel = 2,
    KeyStrip = 3,
    Cursor = 4,
    MarkerA = 5,
    Spare = 6,
    Wallpaper1 = 7,
    Wallpaper2 = 8,
    Wallpaper3 = 9,
    PitchBlack = 10,
  };

  // Rectangle `index` of the table; an index outside 0..10 gives rectangle 0.
  static PixelRect GetCoords(int index);
};
