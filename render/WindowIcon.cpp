// SPDX-License-Identifier: LGPL-2.1-or-later
#include "render/WindowIcon.h"

#include <cstddef>

namespace {

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return 0xff000000u | r << 16 | g << 8 | b; }

// The twelve colours of the icon.
constexpr uint32_t BackgroundColor = Rgb(33, 33, 33);
constexpr uint32_t ColumnColor = Rgb(49, 49, 49);
constexpr uint32_t BeatColumnColor = Rgb(62, 62, 62);  // every fourth column, as the beats of a bar
constexpr uint32_t NoteColor = Rgb(214, 10, 214);
constexpr uint32_t NoteLightColor = Rgb(244, 110, 244);
constexpr uint32_t NoteShadowColor = Rgb(128, 6, 128);
constexpr uint32_t DotColor = Rgb(234, 153, 5);
constexpr uint32_t DotRimColor = Rgb(160, 96, 0);
constexpr uint32_t WhiteKeyColor = Rgb(255, 255, 255);
constexpr uint32_t WhiteKeyShadeColor = Rgb(188, 188, 188);
constexpr uint32_t BlackKeyColor = Rgb(0, 0, 0);
constexpr uint32_t BlackKeyLightColor = Rgb(88, 88, 88);

constexpr int kGridTop = 2;
constexpr int kGridBottom = 38;  // last grid row
constexpr int kKeysTop = 46;

}  // namespace

std::array<uint32_t, kWindowIconSize * kWindowIconSize> DrawWindowIcon() {
  std::array<uint32_t, kWindowIconSize * kWindowIconSize> px;
  px.fill(BackgroundColor);
  auto fill = [&](int x0, int y0, int w, int h, uint32_t c) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x)
        if (x >= 0 && x < kWindowIconSize && y >= 0 && y < kWindowIconSize) px[y * kWindowIconSize + x] = c;
  };

  // Eight step columns, 6 wide with 2-pixel gaps, as the grid of one track.
  for (int c = 0; c < 8; ++c) {
    fill(1 + 8 * c, kGridTop, 6, kGridBottom - kGridTop + 1, c % 4 == 0 ? BeatColumnColor : ColumnColor);
  }

  // Note bars: {column, top row, length in rows}; a rising line with one held note.
  const int notes[][3] = {{0, 31, 3}, {1, 27, 3}, {2, 23, 7}, {3, 19, 3}, {4, 23, 3}, {5, 15, 3}, {6, 11, 3}, {7, 5, 9}};
  for (const auto& n : notes) {
    const int x = 1 + 8 * n[0];
    fill(x, n[1], 6, n[2], NoteColor);
    fill(x, n[1], 6, 1, NoteLightColor);
    fill(x, n[1] + n[2] - 1, 6, 1, NoteShadowColor);
  }

  // The orange dot marks the key being played, above the keyboard.
  const int dot[5][5] = {{0, 1, 1, 1, 0}, {1, 2, 2, 2, 1}, {1, 2, 2, 2, 1}, {1, 2, 2, 2, 1}, {0, 1, 1, 1, 0}};
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x)
      if (dot[y][x]) fill(26 + x, 40 + y, 1, 1, dot[y][x] == 2 ? DotColor : DotRimColor);

  // Keyboard: eight white keys 8 wide with black seams, black keys between all pairs but E-F and B-C.
  fill(0, kKeysTop, 64, 18, WhiteKeyColor);
  for (int k = 0; k < 8; ++k) {
    fill(8 * k + 7, kKeysTop, 1, 18, BlackKeyColor);
    fill(8 * k, kKeysTop + 16, 7, 2, WhiteKeyShadeColor);
  }
  const int blackAfter[] = {0, 1, 3, 4, 5};  // after C, D, F, G and A
  for (int k : blackAfter) {
    const int x = 8 * k + 5;
    fill(x, kKeysTop, 5, 10, BlackKeyColor);
    fill(x + 1, kKeysTop + 8, 3, 1, BlackKeyLightColor);
  }
  fill(0, kKeysTop - 1, 64, 1, BlackKeyColor);
  return px;
}

std::array<unsigned long, 2 + kWindowIconSize * kWindowIconSize> MakeWindowIconProperty() {
  std::array<unsigned long, 2 + kWindowIconSize * kWindowIconSize> property;
  property[0] = kWindowIconSize;
  property[1] = kWindowIconSize;
  const auto pixels = DrawWindowIcon();
  for (size_t i = 0; i < pixels.size(); ++i) property[2 + i] = pixels[i];
  return property;
}
