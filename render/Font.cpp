// SPDX-License-Identifier: LGPL-2.1-or-later
#include "render/Font.h"

#include "render/Atlas.h"

namespace {

// The three rows of glyphs in the atlas, counted from the top of the picture.
enum GlyphRow { kDigitRow, kLetterRow, kSignRow };

struct GlyphColumns {
  char character;
  int x0;
  int x1;
  GlyphRow row;
};

// Columns of every glyph in table order; digits and signs share one row, letters the other.
const GlyphColumns kGlyphTable[] = {
    {'0', 154, 166, kDigitRow}, {'1', 10, 22, kDigitRow},   {'2', 26, 38, kDigitRow},   {'3', 42, 54, kDigitRow},
    {'4', 58, 70, kDigitRow},   {'5', 74, 86, kDigitRow},   {'6', 90, 102, kDigitRow},  {'7', 106, 118, kDigitRow},
    {'8', 122, 134, kDigitRow}, {'9', 138, 150, kDigitRow}, {'A', 10, 22, kLetterRow},    {'B', 26, 38, kLetterRow},
    {'C', 42, 54, kLetterRow},    {'D', 58, 70, kLetterRow},    {'E', 74, 86, kLetterRow},    {'F', 90, 102, kLetterRow},
    {'G', 106, 118, kLetterRow},  {'H', 122, 134, kLetterRow},  {'I', 138, 150, kLetterRow},  {'J', 154, 166, kLetterRow},
    {'K', 170, 182, kLetterRow},  {'L', 186, 198, kLetterRow},  {'M', 202, 216, kLetterRow},  {'N', 218, 230, kLetterRow},
    {'O', 234, 246, kLetterRow},  {'P', 250, 262, kLetterRow},  {'Q', 266, 278, kLetterRow},  {'R', 282, 294, kLetterRow},
    {'S', 298, 310, kLetterRow},  {'T', 314, 326, kLetterRow},  {'U', 330, 342, kLetterRow},  {'V', 346, 358, kLetterRow},
    {'W', 362, 376, kLetterRow},  {'X', 378, 390, kLetterRow},  {'Y', 394, 406, kLetterRow},  {'Z', 410, 422, kLetterRow},
    {'.', 266, 278, kDigitRow}, {':', 250, 262, kDigitRow}, {'+', 218, 230, kDigitRow}, {'@', 202, 214, kDigitRow},
    {',', 298, 310, kDigitRow}, {'!', 314, 326, kDigitRow}, {'-', 362, 376, kDigitRow}, {'$', 330, 342, kDigitRow},
    {'*', 378, 390, kDigitRow}, {'&', 346, 358, kDigitRow}, {'|', 394, 406, kDigitRow}, {'#', 410, 422, kDigitRow},
    // Signs of soundfont, instrument and help texts, in a row of their own.
    {'(', 10, 22, kSignRow},  {')', 26, 38, kSignRow},  {'/', 42, 54, kSignRow},  {'_', 58, 70, kSignRow},
    {'\'', 74, 86, kSignRow}, {'?', 90, 102, kSignRow},
};

constexpr int kGlyphSpacing = 2;

}  // namespace

MyFont::MyFont() { Setup(); }

void MyFont::Setup() {
  textureWidth = Atlas::kSize;
  textureHeight = Atlas::kSize;
  glyphIndex.fill(-1);
  outlines.clear();
  // Rows are given from the top of the picture; the stored texture counts from the bottom.
  const int rowY0[3] = {textureHeight - 990, textureHeight - 958, textureHeight - 944};
  for (const GlyphColumns& g : kGlyphTable) {
    CharOutline outline;
    outline.character = g.character;
    outline.x0 = g.x0;
    outline.x1 = g.x1;
    outline.y0 = rowY0[g.row];
    outline.y1 = rowY0[g.row] + 12;
    outline.spacing = kGlyphSpacing;
    outlines.push_back(outline);
    glyphIndex[static_cast<unsigned char>(g.character)] = static_cast<int>(outlines.size()) - 1;
  }
}

const CharOutline* MyFont::Find(char c) const {
  const int index = glyphIndex[static_cast<unsigned char>(c)];
  return index < 0 ? nullptr : &outlines[index];
}

void MyFont::Print(const std::string& text, std::vector<Quad>& quads, double scaleX, double scaleY) const {
  int pen = 0;
  const Color white{1, 1, 1, 1};
  const double tw = textureWidth, th = textureHeight;
  for (char c : text) {
    // Lower-case letters are small capitals: the capital at three quarters of its height.
    const bool small = c >= 'a' && c <= 'z';
    const CharOutline* g = c == ' ' ? nullptr : Find(small ? static_cast<char>(c - 'a' + 'A') : c);
    if (!g) {
      pen += kBlankAdvance;
      continue;
    }
    const int w = g->x1 - g->x0 + 1;
    const int h = g->y1 - g->y0 + 1;
    const double top = small ? 0.75 * h : h;
    Quad q;
    InitQuad(&q, w, h, Atlas::kTextureSlot, kShaderTintedTexture, false, false, false, white);
    const double xs[4] = {double(pen), double(pen), double(pen + w), double(pen + w)};
    const double ys[4] = {top, 0, top, 0};
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
