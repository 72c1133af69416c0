// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>

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

// Bands above and below are seen in the GL tests' pixels; here bands at the sides.
TEST(CalcLetterBoxes, CentresTheVirtualScreen) {
  Render render;
  for (auto [w, h, want] : {std::tuple{1920, 1080, std::array{1.8, 240.0}}, {1600, 900, {1.5, 200.0}}}) {
    double ox = -1, oy = -1, scale = -1;
    render.CalcLetterBoxes(800, 600, w, h, ox, oy, scale);
    EXPECT_EQ((std::array{scale, ox, oy}), (std::array{want[0], want[1], 0.0})) << w << "x" << h;
  }
}

// Which quads share a draw call: each batch as "<texture>x<triangles>", with the red of its
// colour or, for shader 3, of its first replacement colour.
TEST(BuildFrameBatches, QuadsJoinOnlyWhenTheirDrawStateMatches) {
  Quad keyed = MakeQuad(99, 3), sameKey = MakeQuad(99, 3, Green), otherKey = MakeQuad(99, 3);
  SetQuadReplaceColor(&keyed, {1, 1, 1, 1}, {}, {}, Yellow, {}, {});
  SetQuadReplaceColor(&sameKey, {1, 1, 1, 1}, {}, {}, Yellow, {}, {});  // shader 3 does not read `color`
  SetQuadReplaceColor(&otherKey, {1, 1, 1, 1}, {}, {}, Green, {}, {});
  const std::pair<std::vector<Quad>, const char*> cases[] = {
      {{MakeQuad(99, 2, Yellow), MakeQuad(99, 2, Green)}, "99x2r1 99x2r0"},  // text colours split
      {{MakeQuad(99, 2), MakeQuad(99, 2), MakeQuad(99, 2)}, "99x6r1"},
      // Shader 0 ignores colours; a texture change splits; non-adjacent quads never join.
      {{MakeQuad(99, 0, Yellow), MakeQuad(99, 0, Green), MakeQuad(98, 0), MakeQuad(99, 0)}, "99x4r1 98x2r1 99x2r1"},
      {{keyed, sameKey}, "99x4r1"},
      {{keyed, otherKey}, "99x2r1 99x2r0"},
  };
  for (const auto& [quads, want] : cases) {
    Frame f;
    ASSERT_TRUE(f.Build(quads)) << want;
    std::string got;
    for (const TriangleBatch& b : f.batches) {
      const Color& c = b.shaderIndex == 3 ? b.replaceColor1 : b.color;
      got += (got.empty() ? "" : " ") + std::to_string(b.textureIndex) + "x" + std::to_string(b.triangleCount) +
             "r" + std::to_string(int(c.r));
    }
    EXPECT_EQ(got, want);
    EXPECT_EQ(f.vertexCount, 3 * (int(quads.size()) * 2));
  }
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
