#include "render/Font.h"

#include <gtest/gtest.h>

namespace {

TEST(MyFont, TableHasFortyEightGlyphsOnTwoRows) {
  MyFont font;
  ASSERT_EQ(font.GetOutlines().size(), 48u);
  for (const CharOutline& g : font.GetOutlines()) {
    EXPECT_EQ(g.y1 - g.y0 + 1, 13) << g.character;
    EXPECT_EQ(g.spacing, 2);
    const bool letter = g.character >= 'A' && g.character <= 'Z';
    EXPECT_EQ(g.y0, letter ? 66 : 34) << g.character;
    const bool wide = g.character == 'M' || g.character == 'W' || g.character == '-';
    EXPECT_EQ(g.x1 - g.x0 + 1, wide ? 15 : 13) << g.character;
  }
  EXPECT_EQ(font.Find('0')->x0, 154);
  EXPECT_EQ(font.Find('#')->x0, 410);
  EXPECT_EQ(font.Find('a'), nullptr);
}

TEST(MyFont, AdvancesBetweenGlyphs) {
  MyFont font;
  std::vector<Quad> quads;
  font.Print("AB", quads, 1, 1);
  ASSERT_EQ(quads.size(), 2u);
  EXPECT_EQ(quads[1].corners[1][0], 15);

  quads.clear();
  font.Print("A B", quads, 1, 1);
  ASSERT_EQ(quads.size(), 2u);
  EXPECT_EQ(quads[1].corners[1][0], 29);

  quads.clear();
  font.Print("M1", quads, 1, 1);
  ASSERT_EQ(quads.size(), 2u);
  EXPECT_EQ(quads[1].corners[1][0], 17);

  // Lower case has no glyphs: it advances like a space and makes no quad.
  quads.clear();
  font.Print("AbC", quads, 1, 1);
  ASSERT_EQ(quads.size(), 2u);
  EXPECT_EQ(quads[1].corners[1][0], 29);

}

TEST(MyFont, QuadGeometryTextureAndScale) {
  MyFont font;
  std::vector<Quad> quads;
  font.Print("1Z", quads, 2, 2);
  ASSERT_EQ(quads.size(), 2u);
  const Quad& one = quads[0];
  EXPECT_EQ(one.textureIndex, 99);
  EXPECT_EQ(one.shaderIndex, 2);
  EXPECT_EQ(one.color.r, 1);
  EXPECT_EQ(one.color.a, 1);
  EXPECT_EQ(one.corners[0][1], 26);  // 13 glyph pixels at scale 2
  EXPECT_EQ(one.corners[2][0], 26);
  EXPECT_DOUBLE_EQ(one.textureCoords[0][0], 10 / 1024.0);
  EXPECT_DOUBLE_EQ(one.textureCoords[2][0], 22 / 1024.0);
  EXPECT_DOUBLE_EQ(one.textureCoords[0][1], 46 / 1024.0);
  EXPECT_DOUBLE_EQ(one.textureCoords[1][1], 34 / 1024.0);
  const Quad& z = quads[1];
  EXPECT_EQ(z.corners[1][0], 30);  // pen 15 at scale 2
  EXPECT_DOUBLE_EQ(z.textureCoords[3][0], 422 / 1024.0);
  EXPECT_DOUBLE_EQ(z.textureCoords[2][1], 78 / 1024.0);
}

}  // namespace
