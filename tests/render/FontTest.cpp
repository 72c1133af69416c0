// SPDX-License-Identifier: LGPL-2.1-or-later
#include "render/Font.h"

#include <gtest/gtest.h>

namespace {

TEST(MyFont, AdvancesBetweenGlyphs) {
  // A character without a glyph (here a tab) advances like a space and makes no quad.
  for (auto [text, secondX] : {std::pair{"AB", 15}, {"A B", 29}, {"M1", 17}, {"A\tC", 29}, {"(/", 15}}) {
    MyFont font;
    std::vector<Quad> quads;
    font.Print(text, quads, 1, 1);
    ASSERT_EQ(quads.size(), 2u) << text;
    EXPECT_EQ(quads[1].corners[1][0], secondX) << text;
  }
  // Lower case: the capital's glyph at three quarters of its height.
  MyFont font;
  std::vector<Quad> quads;
  font.Print("Aa", quads, 1, 1);
  ASSERT_EQ(quads.size(), 2u);
  EXPECT_EQ(quads[0].textureCoords[0][0], quads[1].textureCoords[0][0]);
  EXPECT_FLOAT_EQ(quads[1].corners[0][1], 0.75f * quads[0].corners[0][1]);
}

// Texture coordinates and the glyph shader are checked where they show: the editor screen
// tests read every text back through them, and the GL tests draw a glyph.
TEST(MyFont, GlyphSizeAndPenFollowTheScale) {
  MyFont font;
  std::vector<Quad> quads;
  font.Print("1Z", quads, 2, 2);
  ASSERT_EQ(quads.size(), 2u);
  EXPECT_EQ(quads[0].corners[0][1], 26);  // 13 glyph pixels at scale 2
  EXPECT_EQ(quads[0].corners[2][0], 26);
  EXPECT_EQ(quads[1].corners[1][0], 30);  // pen 15 at scale 2
}

}  // namespace
