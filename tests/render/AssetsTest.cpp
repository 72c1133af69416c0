// SPDX-License-Identifier: LGPL-2.1-or-later
// The generated pictures as the program loads them: decoded with LodePNG from the build tree.
#include <gtest/gtest.h>
#include <lodepng.h>

#include "render/Atlas.h"
#include "render/Font.h"
#include "tests/support/TestServers.h"

namespace {

struct Image {
  std::vector<unsigned char> rgba;
  unsigned width = 0, height = 0;
  bool Load(const std::string& path) { return lodepng::decode(rgba, width, height, path, LCT_RGBA, 8) == 0; }
  // Pixel at column x and texture row ty (counted from the bottom, as the renderer stores it).
  const unsigned char* At(int x, int ty) const { return &rgba[(size_t(height - 1 - ty) * width + x) * 4]; }
};

class Assets : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(atlas.Load(zs::test::BuildPath("share/res/drawable/atlas.png")));
  }
  static int OpaqueIn(int x0, int y0, int w, int h) {
    int n = 0;
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) n += atlas.At(x, y)[3] > 0;
    return n;
  }
  static Image atlas;
};
Image Assets::atlas;

TEST_F(Assets, AtlasIsSquareAndEveryRectangleHasAPicture) {
  EXPECT_EQ(atlas.width, 1024u);
  EXPECT_EQ(atlas.height, 1024u);
  for (int i = 0; i < Atlas::kCount; ++i) {
    const PixelRect r = Atlas::GetCoords(i);
    EXPECT_GT(OpaqueIn(r.x, r.y, r.w, r.h), r.w * r.h / 20) << "rectangle " << i;
  }
}

TEST_F(Assets, EveryGlyphIsInkedWhereTheFontSamplesIt) {
  MyFont font;
  for (const CharOutline& g : font.GetOutlines()) {
    // The quads sample columns x0 .. x1-1 and rows y0 .. y1-1; the rest of the cell stays empty
    // so that nothing of a glyph is cut off.
    EXPECT_GE(OpaqueIn(g.x0, g.y0, g.x1 - g.x0, g.y1 - g.y0), 4) << g.character;
    EXPECT_EQ(OpaqueIn(g.x1, g.y0, 1, g.y1 - g.y0 + 1), 0) << g.character;
    EXPECT_EQ(OpaqueIn(g.x0, g.y1, g.x1 - g.x0 + 1, 1), 0) << g.character;
    for (int y = g.y0; y < g.y1; ++y)
      for (int x = g.x0; x < g.x1; ++x) {
        const unsigned char* p = atlas.At(x, y);
        if (p[3]) {
          EXPECT_TRUE(p[0] == 255 && p[1] == 255 && p[2] == 255 && p[3] == 255) << g.character;
        }
      }
  }
}

}  // namespace
