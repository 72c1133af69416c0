#pragma once
#include "render/Color.h"
#include "render/Quad.h"

// Colours of the editor screen.
inline constexpr Color kTextColor{185 / 255.0, 185 / 255.0, 180 / 255.0, 1};
inline constexpr Color kNoteColor{1, 165 / 255.0, 0, 0.9};
inline constexpr Color kTrackColors[12] = {
    {200 / 255.0, 0, 225 / 255.0, 1},         {1, 1, 0, 1},
    {63 / 255.0, 56 / 255.0, 232 / 255.0, 1}, {250 / 255.0, 220 / 255.0, 199 / 255.0, 1},
    {0, 1, 1, 1},                             {1, 54 / 255.0, 52 / 255.0, 1},
    {0, 1, 0, 1},                             {164 / 255.0, 54 / 255.0, 20 / 255.0, 1},
    {93 / 255.0, 184 / 255.0, 243 / 255.0, 1}, {36 / 255.0, 158 / 255.0, 44 / 255.0, 1},
    {1, 141 / 255.0, 77 / 255.0, 1},          {92 / 255.0, 0, 199 / 255.0, 1},
};

// Appends a flat (untextured) w x h rectangle with its lower-left corner at (x, y).
inline void AddFlat(QuadList& quads, double x, double y, double w, double h, const Color& color) {
  Quad q;
  InitQuad(&q, w, h, FlatTextureIndex, 1, false, false, false, color);
  TranslateQuad(&q, x, y);
  quads.quads.push_back(q);
}
