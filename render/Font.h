// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <string>
#include <array>
#include <vector>

#include "render/Quad.h"

// One glyph of the atlas: inclusive pixel bounds, y counted from the bottom of the stored
// (upside-down) texture, and the extra advance after it.
struct CharOutline {
  char character = 0;
  int x0 = 0;
  int y0 = 0;
  int x1 = 0;
  int y1 = 0;
  int spacing = 0;
};

// The bitmap font cut from the atlas: digits, capital letters and twelve signs, 13 pixels high.
class MyFont {
 public:
  // Advance of a space or of a character without a glyph, in glyph pixels.
  static constexpr int kBlankAdvance = 14;

  MyFont();
  void Setup();

  // Appends one quad per character that has a glyph: texture slot 99, kShaderTintedTexture, white, the
  // first glyph's bottom-left corner at the origin. There is no line break.
  void Print(const std::string& text, std::vector<Quad>& quads, double scaleX, double scaleY) const;

  // The glyph table in table order (the atlas generator draws the glyphs at these bounds).
  const std::vector<CharOutline>& GetOutlines() const { return outlines; }
  // The glyph of `c`, or null when the font has none.
  const CharOutline* Find(char c) const;

 private:
  std::array<int, 256> glyphIndex{};  // -1: no glyph; every text character is looked up here
  std::vector<CharOutline> outlines;
  int textureWidth = 0;
  int textureHeight = 0;
};
