// SPDX-License-Identifier: LGPL-2.1-or-later
#include "render/Atlas.h"

namespace {

const PixelRect kAtlasRects[Atlas::kCount] = {
    {10, 94, 260, 58},    // default picture
    {470, 34, 32, 32},    // marker B
    {4, 421, 800, 200},   // keyboard panel
    {4, 365, 774, 50},    // key strip
    {508, 34, 34, 39},    // step-grid cursor
    {546, 34, 32, 32},    // marker A
    {430, 34, 32, 32},    // spare marker
    {8, 714, 400, 300},   // wallpaper 1
    {416, 714, 400, 300}, // wallpaper 2
    {610, 16, 400, 300},  // wallpaper 3
    {3, 196, 250, 98},    // pitch-black picture
};

}  // namespace

PixelRect Atlas::GetCoords(int index) {
  if (index < 0 || index >= kCount) index = 0;
  return kAtlasRects[index];
}
