// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdio>
#include <string>

#include "render/Color.h"
#include "render/Quad.h"

// Colours of the editor screen.
inline constexpr Color WhiteColor{1, 1, 1, 1};
inline constexpr Color BlackColor{0, 0, 0, 1};
inline constexpr Color RedColor{1, 0, 0, 1};
inline constexpr Color GreenColor{0, 1, 0, 1};
inline constexpr Color BlueColor{0, 0, 1, 1};
inline constexpr Color YellowColor{1, 1, 0, 1};
inline constexpr Color PinkColor{1, 0, 1, 1};
inline constexpr Color DarkRedColor{171 / 255.0, 36 / 255.0, 50 / 255.0, 1};
inline constexpr Color PetrolBlueColor{70 / 255.0, 164 / 255.0, 243 / 255.0, 1};
inline constexpr Color BurgundColor{185 / 255.0, 185 / 255.0, 180 / 255.0, 1};
inline constexpr Color LilacColor{230 / 255.0, 15 / 255.0, 253 / 255.0, 1};
inline constexpr Color DefaultColor{1, 0, 0, 0.5};

// Labels and values; list entries that are not selected take PetrolBlueColor.
inline constexpr Color kTextColor = BurgundColor;
inline constexpr Color kNoteColor{1, 165 / 255.0, 0, 0.9};
inline constexpr Color kTrackColors[12] = {
    {200 / 255.0, 0, 225 / 255.0, 1},         {1, 1, 0, 1},
    {63 / 255.0, 56 / 255.0, 232 / 255.0, 1}, {250 / 255.0, 220 / 255.0, 199 / 255.0, 1},
    {0, 1, 1, 1},                             {1, 54 / 255.0, 52 / 255.0, 1},
    {0, 1, 0, 1},                             {164 / 255.0, 54 / 255.0, 20 / 255.0, 1},
    {93 / 255.0, 184 / 255.0, 243 / 255.0, 1}, {36 / 255.0, 158 / 255.0, 44 / 255.0, 1},
    {1, 141 / 255.0, 77 / 255.0, 1},          {92 / 255.0, 0, 199 / 255.0, 1},
};

inline Color WithAlpha(Color c, double a) {
  c.a = a;
  return c;
}

// Appends a flat (untextured) w x h rectangle with its lower-left corner at (x, y).
inline void AddFlat(QuadList& quads, double x, double y, double w, double h, const Color& color) {
  Quad q;
  InitQuad(&q, w, h, kFlatTextureIndex, 1, false, false, false, color);
  TranslateQuad(&q, x, y);
  quads.quads.push_back(q);
}

// The one-character name of a session: "1" to "9", then "A", "B", "C".
inline char SessionName(int session) { return "123456789ABC"[((session % 12) + 12) % 12]; }

// One column of the external effect panels: a white box behind the selected one, a black bar
// and on it the value's position between minimum and maximum.
inline void AddEffectColumn(QuadList& quads, int k, bool selected, double value, double minimum, double maximum,
                            const Color& color) {
  const double x = 3 + 73 * k;
  if (selected) AddFlat(quads, x, 1, 46, 86, WhiteColor);
  AddFlat(quads, x + 3, 3, 40, 84, BlackColor);
  double ratio = maximum > minimum ? (value - minimum) / (maximum - minimum) : 0;
  if (!(ratio >= 0)) ratio = 0;  // also catches NaN
  if (ratio > 1) ratio = 1;
  AddFlat(quads, x + 3, 3, 40, static_cast<int>(84 * ratio), WithAlpha(color, 0.9));
}

// Four significant digits; upper case so an exponent stays printable in the font.
inline std::string FormatEffectValue(double value) {
  char text[32];
  snprintf(text, sizeof(text), "%.4G", value);
  return text;
}
