// The generated pictures as the program loads them: decoded with LodePNG from the build tree.
#include <gtest/gtest.h>
#include <lodepng.h>

#include <set>

#include "render/Atlas.h"
#include "render/Font.h"
#include "render/WindowIcon.h"
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
    ASSERT_TRUE(icon.Load(zs::test::BuildPath("share/res/drawable/icon.png")));
  }
  static int OpaqueIn(int x0, int y0, int w, int h) {
    int n = 0;
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) n += atlas.At(x, y)[3] > 0;
    return n;
  }
  static Image atlas, icon;
};
Image Assets::atlas, Assets::icon;

TEST_F(Assets, AtlasIsSquareAndEveryRectangleHasAPicture) {
  EXPECT_EQ(atlas.width, 1024u);
  EXPECT_EQ(atlas.height, 1024u);
  for (int i = 0; i < Atlas::Count; ++i) {
    const PixelRect r = Atlas::GetCoords(i);
    EXPECT_GT(OpaqueIn(r.x, r.y, r.w, r.h), r.w * r.h / 20) << "rectangle " << i;
  }
  // The markers are pure white where shader 3 recolours them.
  for (int index : {Atlas::MarkerA, Atlas::MarkerB}) {
    const PixelRect r = Atlas::GetCoords(index);
    const unsigned char* centre = atlas.At(r.x + 16, r.y + 16);
    EXPECT_TRUE(centre[0] == 255 && centre[1] == 255 && centre[2] == 255 && centre[3] == 255) << index;
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

TEST_F(Assets, KeyColumnsLineUpWithTheGrid) {
  const PixelRect panel = Atlas::GetCoords(Atlas::KeyboardPanel);
  const PixelRect strip = Atlas::GetCoords(Atlas::KeyStrip);
  static const bool black[12] = {false, true, false, true, false, false, true, false, true, false, true, false};
  for (int k = 0; k < 37; ++k) {
    const int x = 3 + 21 * k + 9;  // middle of key column k on screen
    const unsigned char* key = atlas.At(panel.x + x, panel.y + 160);
    const int brightness = key[0] + key[1] + key[2];
    if (black[k % 12]) {
      EXPECT_LT(brightness, 200) << "key " << k;
    } else {
      EXPECT_GT(brightness, 500) << "key " << k;
    }
    // The strip (shown at (3, 134)) is opaque over black keys only, so white-key highlights show.
    const unsigned char* over = atlas.At(strip.x + x - 3, strip.y + 160 - 134);
    EXPECT_EQ(over[3] > 0, black[k % 12]) << "key " << k;
    // The gap between columns separates keys.
    const unsigned char* gap = atlas.At(panel.x + 3 + 21 * k + 19, panel.y + 160);
    EXPECT_LT(gap[0] + gap[1] + gap[2], 200) << "gap after key " << k;
  }
  // Above the rail the panel leaves the grid's background visible.
  EXPECT_EQ(OpaqueIn(panel.x, panel.y + 184, panel.w, 16), 0);
}

TEST_F(Assets, IconHasTwelveOpaqueColoursAndMatchesTheWindowIcon) {
  ASSERT_EQ(icon.width, 64u);
  ASSERT_EQ(icon.height, 64u);
  const auto pixels = DrawWindowIcon();
  std::set<uint32_t> colours;
  for (size_t i = 0; i < pixels.size(); ++i) {
    const unsigned char* p = &icon.rgba[i * 4];
    EXPECT_EQ(pixels[i], uint32_t(p[3]) << 24 | p[0] << 16 | p[1] << 8 | p[2]);
    EXPECT_EQ(pixels[i] >> 24, 0xffu);
    colours.insert(pixels[i]);
  }
  EXPECT_EQ(colours.size(), 12u);
  for (uint32_t named : {0xff212121u, 0xff313131u, 0xffd60ad6u, 0xffea9905u, 0xffffffffu, 0xff000000u})
    EXPECT_TRUE(colours.count(named)) << std::hex << named;
}

}  // namespace
