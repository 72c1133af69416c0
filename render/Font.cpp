// SPDX-License-Identifier: LGPL-2.1-or-later
#include "render/Font.h"

#include "render/Atlas.h"

namespace {

struct GlyphColumns {
  char character;
  int x0;
  int x1;
  bool letterRow;
};

// Columns of every glyph in table order; digits and signs share one row, letters the other.
const GlyphColumns kGlyphTable[] = {
    {'0', 154, 166, false}, {'1', 10, 22, false},   {'2', 26, 38, false},   {'3', 42, 54, false},
    {'4', 58, 70, false},   {'5', 74, 86, false},   {'6', 90, 102, false},  {'7', 106, 118, false},
    {'8', 122, 134, false}, {'9', 138, 150, false}, {'A', 10, 22, true},    {'B', 26, 38, true},
    {'C', 42, 54, true},    {'D', 58, 70, true},    {'E', 74, 86, true},    {'F', 90, 102, true},
    {'G', 106, 118, true},  {'H', 122, 134, true},  {'I', 138, 150, true},  {'J', 154, 166, true},
    {'K', 170, 182, true},  {'L', 186, 198, true},  {'M', 202, 216, true},  {'N', 218, 230, true},
    {'O', 234, 246, true},  {'P', 250, 262, true},  {'Q', 266, 278, true},  {'R', 282, 294, true},
    {'S', 298, 310, true},  {'T', 314, 326, true},  {'U', 330, 342, true},  {'V', 346, 358, true},
    {'W', 362, 376, true},  {'X', 378, 390, true},  {'Y', 394, 406, true},  {'Z', 410, 422, true},
    {'.', 266, 278, false}, {':', 250, 262, false}, {'+', 218, 230, false}, {'@', 202, 214, false},
    {',', 298, 310, false}, {'!', 314, 326, false}, {'-', 362, 376, false}, {'$', 330, 342, false},
    {'*', 378, 390, false}, {'&', 346, 358, false}, {'|', 394, 406, false}, {'#', 410, 422, false},
};

constexpr int kGlyphSpacing = 2;

}  // namespace

MyFont::MyFont() { Setup(); }

void MyFont::Setup() {
  textureWidth = Atlas::kSize;
  textureHeight = Atlas::kSize;
  glyphIndex.clear();
  outlines.clear();
  // Rows are given from the top of the picture; the stored texture counts from the bottom.
  const int digitY0 = textureHeight - 990, digitY1 = textureHeight - 978;
  const int letterY0 = textureHeight - 958, letterY1 = textureHeight - 946;
  for (const GlyphColumns& g : kGlyphTable) {
    CharOutline outline;
    outline.character = g.character;
    outline.x0 = g.x0;
    outline.x1 = g.x1;
    outline.y0 = g.letterRow ? letterY0 : digitY0;
    outline.y1 = g.letterRow ? letterY1 : digitY1;
    outline.spacing = kGlyphSpacing;
    outlines.push_back(outline);
    glyphIndex[g.character] = static_cast<int>(outlines.size()) - 1;
  }
}

const CharOutline* MyFont::Find(char c) const {
  auto it = glyphIndex.find(c);
  return it == glyphIndex.end() ? nullptr : &outlines[it->second];
}

void MyFont::Print(const std::string& text, std::vector<Quad>& quads, double scaleX, double scaleY) const {
  int pen = 0;
  const Color white{1, 1, 1, 1};
  const double tw = textureWidth, th = textureHeight;
  for (char c : text) {
    const CharOutline* g = c == ' ' ? nullptr : Find(c);
    if (!g) {
      pen += kBlankAdvance;
      continue;
    }
    const int w = g->x1 - g->x0 + 1;
    const int h = g->y1 - g->y0 + 1;
    Quad q;
    InitQuad(&q, w, h, Atlas::kTextureSlot, kShaderTintedTexture, false, false, false, white);
    const double xs[4] = {double(pen), double(pen), double(pen + w), double(pen + w)};
    const double ys[4] = {double(h), 0, double(h), 0};
    const double us[4] = {g->x0 / tw, g->x0 / tw, g->x1 / tw, g->x1 / tw};
    const double vs[4] = {g->y1 / th, g->y0 / th, g->y1 / th, g->y0 / th};
    for (int i = 0; i < 4; ++i) {
      q.corners[i][0] = xs[i] * scaleX;
      q.corners[i][1] = ys[i] * scaleY;
      q.textureCoords[i][0] = us[i];
      q.textureCoords[i][1] = vs[i];
    }
    quads.push_back(q);
    pen += w + g->spacing;
  }
}
