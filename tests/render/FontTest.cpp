#include "render/Font.h"

#include <gtest/gtest.h>

namespace {

TEST(MyFont, AdvancesBetweenGlyphs) {
  // Lower case has no glyphs: it advances like a space and makes no quad.
  for (auto [text, secondX] : {std::pair{"AB", 15}, {"A B", 29}, {"M1", 17}, {"AbC", 29}}) {
    MyFont font;
    std::vector<Quad> quads;
    font.Print(text, quads, 1, 1);
    ASSERT_EQ(quads.size(), 2u) << text;
    EXPECT_EQ(quads[1].corners[1][0], secondX) << text;
  }
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
