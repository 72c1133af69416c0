// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include "render/Render.h"

namespace {

const Color Yellow{1, 1, 0, 1};
const Color Green{0, 1, 0, 1};

Quad MakeQuad(int texture, int shader, Color color = Yellow, bool triangle = false) {
  Quad q;
  InitQuad(&q, 10, 10, texture, shader, triangle, false, false, color);
  return q;
}

struct Frame {
  std::vector<float> vertices;
  std::vector<TriangleBatch> batches;
  int vertexCount = -1;
  bool Build(const std::vector<Quad>& quads) { return BuildFrameBatches(quads, vertices, batches, vertexCount); }
};

TEST(CalcLetterBoxes, CentresTheVirtualScreen) {
  Render render;
  struct Case {
    int w, h;
    double scale, offsetX, offsetY;
  };
  for (const Case& c : {Case{800, 600, 1, 0, 0}, Case{1920, 1080, 1.8, 240, 0}, Case{1000, 1000, 1.25, 0, 125},
                        Case{1600, 900, 1.5, 200, 0}}) {
    double ox = -1, oy = -1, scale = -1;
    render.CalcLetterBoxes(800, 600, c.w, c.h, ox, oy, scale);
    EXPECT_DOUBLE_EQ(scale, c.scale) << c.w << "x" << c.h;
    EXPECT_DOUBLE_EQ(ox, c.offsetX) << c.w << "x" << c.h;
    EXPECT_DOUBLE_EQ(oy, c.offsetY) << c.w << "x" << c.h;
  }
}

TEST(BuildFrameBatches, ColourSplitsTextBatches) {
  Frame f;
  ASSERT_TRUE(f.Build({MakeQuad(99, 2, Yellow), MakeQuad(99, 2, Green)}));
  ASSERT_EQ(f.batches.size(), 2u);
  EXPECT_EQ(f.batches[1].color.r, 0);

  ASSERT_TRUE(f.Build({MakeQuad(99, 2), MakeQuad(99, 2), MakeQuad(99, 2)}));
  ASSERT_EQ(f.batches.size(), 1u);
  EXPECT_EQ(f.batches[0].triangleCount, 6);
  EXPECT_EQ(f.vertexCount, 18);

  // Shader 0 ignores colours; a texture or program change splits; non-adjacent quads never join.
  ASSERT_TRUE(f.Build({MakeQuad(99, 0, Yellow), MakeQuad(99, 0, Green), MakeQuad(98, 0), MakeQuad(99, 0)}));
  ASSERT_EQ(f.batches.size(), 3u);
  EXPECT_EQ(f.batches[0].triangleCount, 4);
  EXPECT_EQ(f.batches[1].textureIndex, 98);
  EXPECT_EQ(f.batches[2].textureIndex, 99);
}

TEST(BuildFrameBatches, ShaderThreeComparesKeyAndReplacementColours) {
  Quad a = MakeQuad(99, 3), b = MakeQuad(99, 3);
  const Color white{1, 1, 1, 1};
  SetQuadReplaceColor(&a, white, {}, {}, Green, {}, {});
  SetQuadReplaceColor(&b, white, {}, {}, Green, {}, {});
  b.color = Green;  // shader 3 does not read `color`
  Frame f;
  ASSERT_TRUE(f.Build({a, b}));
  ASSERT_EQ(f.batches.size(), 1u);
  SetQuadReplaceColor(&b, white, {}, {}, Yellow, {}, {});
  ASSERT_TRUE(f.Build({a, b}));
  ASSERT_EQ(f.batches.size(), 2u);
  EXPECT_EQ(f.batches[1].replaceColor1.r, 1);
}

TEST(BuildFrameBatches, TriangleQuadJoinsFollowingQuad) {
  Frame f;
  ASSERT_TRUE(f.Build({MakeQuad(-1, 1, Yellow, true), MakeQuad(-1, 1, Yellow)}));
  ASSERT_EQ(f.batches.size(), 1u);
  EXPECT_EQ(f.batches[0].triangleCount, 3);
  EXPECT_EQ(f.vertexCount, 9);
  // Vertices: corners 0, 1, 2 of the triangle, then 0, 1, 2, 1, 2, 3 of the quad, z always 0.
  const int corners[9] = {0, 1, 2, 0, 1, 2, 1, 2, 3};
  const Quad ref = MakeQuad(-1, 1);
  for (int v = 0; v < 9; ++v) {
    const float* p = &f.vertices[v * Render::kFloatsPerVertex];
    EXPECT_EQ(p[0], float(ref.corners[corners[v]][0])) << v;
    EXPECT_EQ(p[1], float(ref.corners[corners[v]][1])) << v;
    EXPECT_EQ(p[3], float(ref.textureCoords[corners[v]][0])) << v;
    EXPECT_EQ(p[4], float(ref.textureCoords[corners[v]][1])) << v;
  }
}

TEST(BuildFrameBatches, InvalidQuadBlanksTheFrame) {
  Frame f;
  EXPECT_FALSE(f.Build({MakeQuad(-1, 1), MakeQuad(-1, 0)}));  // no texture but a textured shader
  EXPECT_TRUE(f.batches.empty());
  EXPECT_EQ(f.vertexCount, 0);
  EXPECT_FALSE(f.Build({MakeQuad(5, -1)}));  // a texture but no shader
}

TEST(BuildFrameBatches, StoreGrowsPastEightHundredQuads) {
  Frame f;
  f.vertices.assign(size_t(Render::kInitialVertexCapacity) * Render::kFloatsPerVertex, 0);
  std::vector<Quad> quads;
  for (int i = 0; i < 1500; ++i) {
    Quad q = MakeQuad(-1, 1, i % 2 ? Yellow : Green);
    TranslateQuad(&q, i, 0);
    quads.push_back(q);
  }
  ASSERT_TRUE(f.Build(quads));
  EXPECT_EQ(f.vertexCount, 9000);
  EXPECT_GE(f.vertices.size(), 9000u * Render::kFloatsPerVertex);
  EXPECT_EQ(f.batches.size(), 1500u);
  // The last quad's last vertex (corner 3) was written, not dropped.
  EXPECT_EQ(f.vertices[(9000 - 1) * Render::kFloatsPerVertex], 1499.0f + 10.0f);
}

}  // namespace
