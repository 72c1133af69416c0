// SPDX-License-Identifier: LGPL-2.1-or-later
// Where quads land on screen is checked by the GL tests' pixels; here what they cannot tell
// apart: texture mirroring, the bounding boxes, and the replacement colour table.
#include "render/Quad.h"

#include <gtest/gtest.h>

namespace {

const Color Red{1, 0, 0, 1};

// Expects the four corners' (x, y) or texture (u, v) to be `want`.
void Expect(const Quad& q, bool texture, const double (&want)[4][2]) {
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 2; ++k)
      EXPECT_FLOAT_EQ(texture ? q.textureCoords[i][k] : q.corners[i][k], float(want[i][k])) << "corner " << i;
}

TEST(Quad, ReflectionsAndScalingMoveTheRightCorners) {
  Quad q;
  SetQuadReplaceColor(&q, Red, Red, Red, Red, Red, Red);  // leftovers are cleared
  InitQuad(&q, 10, 20, 99, 2, false, false, false, Red);
  EXPECT_EQ(QuadReplaceColors(q).color1.r, 0);
  Expect(q, true, {{0, 1}, {0, 0}, {1, 1}, {1, 0}});
  InitQuad(&q, 10, 20, 0, 0, false, true, true, Red);
  Expect(q, true, {{1, 0}, {1, 1}, {0, 0}, {0, 1}});
  ReflectQuad(&q, false, true);
  Expect(q, true, {{1, 1}, {1, 0}, {0, 1}, {0, 0}});
  ReflectQuad(&q, true, false);
  ScaleQuadTexture(&q, 3, 0.5);
  Expect(q, true, {{0, 0.5}, {0, 0}, {3, 0.5}, {3, 0}});

  TranslateQuad(&q, 5, 7);
  ScaleQuad(&q, 2, 0.5);  // keeps the bottom-left corner
  Expect(q, false, {{5, 17}, {5, 7}, {25, 17}, {25, 7}});
}

TEST(QuadBoundingBox, TriangleIgnoresCornerThreeAndListsUnite) {
  std::vector<Quad> quads(2);
  InitQuad(&quads[0], 10, 20, 0, 0, true, false, false, Red);
  quads[0].corners[3][0] = 100;
  BoundingBox box;
  GetQuadBoundingBox(&quads[0], box);
  EXPECT_EQ(box.maxX, 10);
  EXPECT_EQ(box.maxY, 20);
  quads[0].isTriangle = false;
  InitQuad(&quads[1], 5, 5, 0, 0, false, false, false, Red);
  TranslateQuad(&quads[1], -5, 100);
  GetQuadsBoundingBox(quads, box);
  EXPECT_TRUE(box.minX == -5 && box.minY == 0 && box.maxX == 100 && box.maxY == 105);
}

// Markers of many colours over a long session: equal sets share one entry, and once the table
// is full a new set draws the picture's own colours instead of writing past the table.
TEST(QuadReplaceColors, EqualSetsShareAnEntryAndAFullTableReplacesNothing) {
  Quad a, b;
  for (int i = 0; i < 300; ++i) {
    const Color c{i / 300.0, 0, 0, 1};
    SetQuadReplaceColor(&a, c, c, c, c, c, c);
    SetQuadReplaceColor(&b, c, c, c, c, c, c);
    EXPECT_EQ(a.replaceColors, b.replaceColors);
    EXPECT_TRUE(QuadReplaceColors(a).replace3 == c || QuadReplaceColors(a).replace3 == Color{}) << i;
  }
  EXPECT_TRUE(QuadReplaceColors(a).replace3 == Color{});
}

}  // namespace
