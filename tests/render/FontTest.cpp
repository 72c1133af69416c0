// SPDX-License-Identifier: LGPL-2.1-or-later
// Texture coordinates and the glyph shader are checked where they show: the editor screen
// tests read every text back through them, and the GL tests draw a glyph.
#include "render/Font.h"

#include <gtest/gtest.h>

namespace {

TEST(MyFont, PenAdvancesAndGlyphSizeFollowTheScale) {
  // A character without a glyph (here a tab) advances like a space and makes no quad.
  for (auto [text, scale, secondX] :
       {std::tuple{"AB", 1, 15}, {"A B", 1, 29}, {"M1", 1, 17}, {"A\tC", 1, 29}, {"(/", 1, 15}, {"1Z", 2, 30}}) {
    MyFont font;
    std::vector<Quad> quads;
    font.Print(text, quads, scale, scale);
    ASSERT_EQ(quads.size(), 2u) << text;
    EXPECT_EQ(quads[1].corners[1][0], secondX) << text;
    EXPECT_EQ(quads[0].corners[0][1], 13 * scale) << text;  // 13 glyph pixels high
  }
  // Lower case: the capital's glyph at three quarters of its height.
  MyFont font;
  std::vector<Quad> quads;
  font.Print("Aa", quads, 1, 1);
  ASSERT_EQ(quads.size(), 2u);
  EXPECT_EQ(quads[0].textureCoords[0][0], quads[1].textureCoords[0][0]);
  EXPECT_FLOAT_EQ(quads[1].corners[0][1], 0.75f * quads[0].corners[0][1]);
}

}  // namespace
