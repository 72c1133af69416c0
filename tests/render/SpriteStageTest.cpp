// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include "render/Atlas.h"
#include "render/Sprite.h"

namespace {

void ExpectBox(Sprite& s, double minX, double minY, double maxX, double maxY) {
  const BoundingBox box = s.GetBoundingBox();
  EXPECT_NEAR(box.minX, minX, 1e-9);
  EXPECT_NEAR(box.minY, minY, 1e-9);
  EXPECT_NEAR(box.maxX, maxX, 1e-9);
  EXPECT_NEAR(box.maxY, maxY, 1e-9);
}

TEST(Sprite, AnchorPositionAndScale) {
  Sprite s;
  s.Create(nullptr, 32, 32);
  s.SetAnchor(0.5, 0.5);
  s.SetPosition(100, 100);
  ExpectBox(s, 84, 84, 116, 116);
  s.SetScale(2, 2);
  ExpectBox(s, 68, 68, 132, 132);
  s.SetSize(16, 64);
  ExpectBox(s, 92, 68, 108, 132);
}

TEST(Sprite, RotationBeforeAndAfterScaling) {
  Sprite s;
  s.Create(nullptr, 20, 10);  // anchored at its bottom-left corner, at the origin
  s.SetScale(2, 1);
  s.SetRotation(90);  // after scaling: the 40 x 10 rectangle turns upright
  ExpectBox(s, -10, 0, 0, 40);
  s.SetRotation(0);
  s.SetRotation2(90);  // before scaling: 10 x 20 upright, then x doubled
  ExpectBox(s, -20, 0, 0, 20);
  // Corner 2 (top-right) of the unrotated quad ends where a 90 degree turn puts it.
  Quad* q = s.GetQuad(0);
  EXPECT_NEAR(q->corners[2][0], -20, 1e-5);
  EXPECT_NEAR(q->corners[2][1], 20, 1e-5);
}

TEST(Sprite, FlatSpriteStaysOnShaderOne) {
  Sprite s;
  s.Create(nullptr, 18, 23);
  s.SetShaderIndex(3);
  s.SetColor({0, 1, 0, 0.5});
  Quad* q = s.GetQuad(0);
  EXPECT_EQ(q->shaderIndex, 1);
  EXPECT_EQ(q->textureIndex, kFlatTextureIndex);
  EXPECT_EQ(q->color.a, 0.5);
}

TEST(Sprite, AtlasIndexOutsideOneToEightShowsRectangleZero) {
  for (auto [index, shown] : {std::pair{0, 0}, {9, 0}, {10, 0}, {-1, 0}, {8, 8}}) {
    Sprite s;
    s.Create(nullptr, index);
    EXPECT_EQ(s.GetTextureIndex(), Atlas::kTextureSlot);
    ExpectBox(s, 0, 0, Atlas::GetCoords(shown).w, Atlas::GetCoords(shown).h);
  }
  // Rectangles 9 and 10 are reached through the slot-and-rectangle form.
  Sprite s;
  s.Create(nullptr, Atlas::kTextureSlot, Atlas::GetCoords(10));
  ExpectBox(s, 0, 0, Atlas::GetCoords(10).w, Atlas::GetCoords(10).h);
}

// What each rectangle shows is checked on the picture itself (AssetsTest).
TEST(Atlas, RectanglesLieApartInsideTheTextureAndOthersAreRectangleZero) {
  const PixelRect zero = Atlas::GetCoords(0);
  for (int index : {-1, 11, 1000}) {
    const PixelRect r = Atlas::GetCoords(index);
    EXPECT_TRUE(r.x == zero.x && r.y == zero.y && r.w == zero.w && r.h == zero.h) << index;
  }
  for (int i = 0; i < Atlas::kCount; ++i) {
    const PixelRect a = Atlas::GetCoords(i);
    EXPECT_GE(a.x, 0);
    EXPECT_LE(a.x + a.w, Atlas::kSize);
    EXPECT_LE(a.y + a.h, Atlas::kSize);
    for (int j = i + 1; j < Atlas::kCount; ++j) {
      const PixelRect b = Atlas::GetCoords(j);
      const bool apart = a.x + a.w <= b.x || b.x + b.w <= a.x || a.y + a.h <= b.y || b.y + b.h <= a.y;
      EXPECT_TRUE(apart) << "rectangles " << i << " and " << j;
    }
  }
}

}  // namespace
