// SPDX-License-Identifier: LGPL-2.1-or-later
// What the GL tests' pixels cannot tell apart. Triangles, reflections, anchors and rotations of
// quads and sprites are not used by the program.
#include <gtest/gtest.h>
#include <lodepng.h>

#include <array>
#include <string>
#include <tuple>

#include "render/Atlas.h"
#include "render/Font.h"
#include "render/Render.h"
#include "tests/support/TestServers.h"

namespace {

const Color Red{1, 0, 0, 1};
const Color Yellow{1, 1, 0, 1};
const Color Green{0, 1, 0, 1};

struct Image {
  std::vector<unsigned char> rgba;
  unsigned width = 0, height = 0;
  // Row ty is counted from the bottom, as the renderer stores textures.
  const unsigned char* At(int x, int ty) const { return &rgba[(size_t(height - 1 - ty) * width + x) * 4]; }
  int OpaqueIn(int x0, int y0, int w, int h) const {
    int n = 0;
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) n += At(x, y)[3] > 0;
    return n;
  }
};

TEST(Assets, EveryAtlasRectangleHasAPicture) {
  Image atlas;
  ASSERT_EQ(lodepng::decode(atlas.rgba, atlas.width, atlas.height,
                            zs::test::BuildPath("share/res/drawable/atlas.png"), LCT_RGBA, 8),
            0u);
  for (int i = 0; i < Atlas::kCount; ++i) {
    const PixelRect r = Atlas::GetCoords(i);
    EXPECT_GT(atlas.OpaqueIn(r.x, r.y, r.w, r.h), r.w * r.h / 20) << "rectangle " << i;
  }
}

TEST(MyFont, PenAdvancesAndGlyphSizeFollowTheScale) {
  for (auto [text, scale, secondX] :
       {std::tuple{"AB", 1, 15}, {"A B", 1, 29}, {"M1", 1, 17}, {"A\tC", 1, 29}, {"(/", 1, 15}, {"1Z", 2, 30}}) {
    MyFont font;
    std::vector<Quad> quads;
    font.Print(text, quads, scale, scale);
    ASSERT_EQ(quads.size(), 2u) << text;
    EXPECT_EQ(quads[1].corners[1][0], secondX) << text;
    EXPECT_EQ(quads[0].corners[0][1], 13 * scale) << text;
  }
  MyFont font;
  std::vector<Quad> quads;
  font.Print("Aa", quads, 1, 1);
  ASSERT_EQ(quads.size(), 2u);
  EXPECT_EQ(quads[0].textureCoords[0][0], quads[1].textureCoords[0][0]);
  EXPECT_FLOAT_EQ(quads[1].corners[0][1], 0.75f * quads[0].corners[0][1]);
}

TEST(Quad, TextureIsUprightAndOldReplacementColoursAreCleared) {
  Quad q;
  SetQuadReplaceColor(&q, Red, Red, Red, Red, Red, Red);
  InitQuad(&q, 10, 20, 99, 2, false, false, false, Red);
  EXPECT_EQ(QuadReplaceColors(q).color1.r, 0);
  const float upright[4][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};  // the glyph H in the GL tests cannot show it
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 2; ++k) EXPECT_FLOAT_EQ(q.textureCoords[i][k], upright[i][k]) << "corner " << i;
}

Quad MakeQuad(int texture, int shader, Color color = Yellow) {
  Quad q;
  InitQuad(&q, 10, 10, texture, shader, false, false, false, color);
  return q;
}

// Bands above and below are seen in the GL tests' pixels; here bands at the sides.
TEST(CalcLetterBoxes, CentresTheVirtualScreen) {
  double ox = -1, oy = -1, scale = -1;
  Render().CalcLetterBoxes(800, 600, 1920, 1080, ox, oy, scale);
  EXPECT_EQ((std::array{scale, ox, oy}), (std::array{1.8, 240.0, 0.0}));
}

// Each batch as "<texture>x<triangles>r<red>", the red of its colour or, for shader 3, of its
// first replacement colour.
TEST(BuildFrameBatches, QuadsJoinOnlyWhenTheirDrawStateMatches) {
  Quad keyed = MakeQuad(99, 3), sameKey = MakeQuad(99, 3, Green), otherKey = MakeQuad(99, 3);
  SetQuadReplaceColor(&keyed, {1, 1, 1, 1}, {}, {}, Yellow, {}, {});
  SetQuadReplaceColor(&sameKey, {1, 1, 1, 1}, {}, {}, Yellow, {}, {});  // shader 3 does not read `color`
  SetQuadReplaceColor(&otherKey, {1, 1, 1, 1}, {}, {}, Green, {}, {});
  const std::pair<std::vector<Quad>, const char*> cases[] = {
      {{MakeQuad(99, 2, Yellow), MakeQuad(99, 2, Green)}, "99x2r1 99x2r0"},
      {{MakeQuad(99, 0, Yellow), MakeQuad(99, 0, Green), MakeQuad(98, 0), MakeQuad(99, 0)}, "99x4r1 98x2r1 99x2r1"},
      {{keyed, sameKey}, "99x4r1"},
      {{keyed, otherKey}, "99x2r1 99x2r0"},
  };
  for (const auto& [quads, want] : cases) {
    std::vector<float> vertices;
    std::vector<TriangleBatch> batches;
    int vertexCount = -1;
    ASSERT_TRUE(BuildFrameBatches(quads, vertices, batches, vertexCount)) << want;
    std::string got;
    for (const TriangleBatch& b : batches) {
      const Color& c = b.shaderIndex == 3 ? b.replaceColor1 : b.color;
      got += (got.empty() ? "" : " ") + std::to_string(b.textureIndex) + "x" + std::to_string(b.triangleCount) +
             "r" + std::to_string(int(c.r));
    }
    EXPECT_EQ(got, want);
    EXPECT_EQ(vertexCount, 3 * (int(quads.size()) * 2));
  }
}

}  // namespace
