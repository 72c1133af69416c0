#include "render/Quad.h"

#include <gtest/gtest.h>

namespace {

const Color Red{1, 0, 0, 1};

void ExpectCorners(const Quad& q, const double (&xy)[4][2]) {
  for (int i = 0; i < 4; ++i) {
    EXPECT_DOUBLE_EQ(q.corners[i][0], xy[i][0]) << "corner " << i;
    EXPECT_DOUBLE_EQ(q.corners[i][1], xy[i][1]) << "corner " << i;
  }
}

void ExpectUV(const Quad& q, const double (&uv)[4][2]) {
  for (int i = 0; i < 4; ++i) {
    EXPECT_DOUBLE_EQ(q.textureCoords[i][0], uv[i][0]) << "corner " << i;
    EXPECT_DOUBLE_EQ(q.textureCoords[i][1], uv[i][1]) << "corner " << i;
  }
}

TEST(InitQuad, BuildsAxisAlignedQuadAtOrigin) {
  Quad q;
  q.color1 = Red;  // leftovers are cleared
  InitQuad(&q, 10, 20, 99, 2, false, false, false, Red);
  ExpectCorners(q, {{0, 20}, {0, 0}, {10, 20}, {10, 0}});
  ExpectUV(q, {{0, 1}, {0, 0}, {1, 1}, {1, 0}});
  EXPECT_EQ(q.textureIndex, 99);
  EXPECT_EQ(q.shaderIndex, 2);
  EXPECT_FALSE(q.isTriangle);
  EXPECT_EQ(q.color.r, 1);
  EXPECT_EQ(q.color1.r, 0);
  for (const auto& corner : q.corners) EXPECT_EQ(corner[2], 0);
}

TEST(InitQuad, ReflectionsMirrorTextureCoordinates) {
  Quad q;
  InitQuad(&q, 4, 4, 0, 0, false, true, false, Red);
  ExpectUV(q, {{1, 1}, {1, 0}, {0, 1}, {0, 0}});
  InitQuad(&q, 4, 4, 0, 0, false, false, true, Red);
  ExpectUV(q, {{0, 0}, {0, 1}, {1, 0}, {1, 1}});
  InitQuad(&q, 4, 4, 0, 0, false, true, true, Red);
  ExpectUV(q, {{1, 0}, {1, 1}, {0, 0}, {0, 1}});
}

TEST(QuadTransforms, ScaleKeepsBottomLeftCorner) {
  Quad q;
  InitQuad(&q, 10, 20, 0, 0, false, false, false, Red);
  TranslateQuad(&q, 5, 7);
  ExpectCorners(q, {{5, 27}, {5, 7}, {15, 27}, {15, 7}});
  ScaleQuad(&q, 2, 0.5);
  ExpectCorners(q, {{5, 17}, {5, 7}, {25, 17}, {25, 7}});
}

TEST(QuadTransforms, ReflectAndScaleTexture) {
  Quad q;
  InitQuad(&q, 1, 1, 0, 0, false, false, false, Red);
  ReflectQuad(&q, true, false);
  ExpectUV(q, {{1, 1}, {1, 0}, {0, 1}, {0, 0}});
  ReflectQuad(&q, true, true);
  ExpectUV(q, {{0, 0}, {0, 1}, {1, 0}, {1, 1}});
  ScaleQuadTexture(&q, 3, 0.5);
  ExpectUV(q, {{0, 0}, {0, 0.5}, {3, 0}, {3, 0.5}});
}

TEST(QuadBoundingBox, TriangleIgnoresCornerThree) {
  Quad q;
  InitQuad(&q, 10, 20, 0, 0, true, false, false, Red);
  q.corners[3][0] = 100;
  q.corners[3][1] = -50;
  BoundingBox box;
  GetQuadBoundingBox(&q, box);
  EXPECT_EQ(box.minX, 0);
  EXPECT_EQ(box.maxX, 10);
  EXPECT_EQ(box.minY, 0);
  EXPECT_EQ(box.maxY, 20);
  q.isTriangle = false;
  GetQuadBoundingBox(&q, box);
  EXPECT_EQ(box.maxX, 100);
  EXPECT_EQ(box.minY, -50);
}

TEST(QuadBoundingBox, UnionOfListAndZeroForEmpty) {
  std::vector<Quad> quads(2);
  InitQuad(&quads[0], 10, 10, 0, 0, false, false, false, Red);
  TranslateQuad(&quads[0], 20, 30);
  InitQuad(&quads[1], 5, 5, 0, 0, false, false, false, Red);
  TranslateQuad(&quads[1], -5, 100);
  BoundingBox box;
  GetQuadsBoundingBox(quads, box);
  EXPECT_EQ(box.minX, -5);
  EXPECT_EQ(box.minY, 30);
  EXPECT_EQ(box.maxX, 30);
  EXPECT_EQ(box.maxY, 105);
  box.maxX = 7;
  GetQuadsBoundingBox({}, box);
  EXPECT_EQ(box.minX, 0);
  EXPECT_EQ(box.maxX, 0);
  EXPECT_EQ(box.maxY, 0);
}

}  // namespace
