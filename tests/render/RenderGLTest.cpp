// SPDX-License-Identifier: LGPL-2.1-or-later
// The window and the renderer on Xvfb, EGL and Mesa's GLES 2, pixels read back with glReadPixels.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>

#include "render/Atlas.h"
#include "render/Font.h"
#include "render/OGLESHelloAPI_LinuxX11.h"
#include "render/Render.h"
#include "render/Sprite.h"
#include "render/Stage.h"
#include "tests/support/TestServers.h"

namespace {

const Color Background{0, 0, 1, 1};
const Color Red{1, 0, 0, 1};
const Color Green{0, 1, 0, 1};
const Color White{1, 1, 1, 1};

using Pixel = std::array<int, 3>;

// 1000 x 1000 pixels: the 800 x 600 virtual screen lands at scale 1.25, 125-pixel bands above and below.
class RenderGL : public ::testing::Test {
 protected:
  static constexpr int Size = 1000;

  static void SetUpTestSuite() {
    ASSERT_TRUE(zs::test::UseTestServers());
    WindowWidthCurrent = Size;
    WindowHeightCurrent = Size;
    ASSERT_TRUE(createNativeDisplay(&display));
    ASSERT_TRUE(createNativeWindow(display, &window));
    ASSERT_TRUE(createEGLDisplay(display, eglDisplay));
    ASSERT_TRUE(chooseEGLConfig(eglDisplay, config));
    ASSERT_TRUE(createEGLSurface(window, eglDisplay, config, surface));
    ASSERT_TRUE(setupEGLContext(eglDisplay, config, surface, context));
    render.reset(IRender::Create());
    ASSERT_TRUE(render->Init(800, 600, Size, Size, Background, zs::test::BuildPath("share/Shaders/")));
    ASSERT_TRUE(render->LoadTexture(zs::test::BuildPath("share/res/drawable/atlas.png"), Atlas::kTextureSlot, false));
  }

  static void TearDownTestSuite() {
    if (render) render->Shutdown();
    render.reset();
    if (eglDisplay != EGL_NO_DISPLAY) {
      eglMakeCurrent(eglDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
      eglTerminate(eglDisplay);
    }
    releaseNativeResources(display, window, nullptr);
  }

  void SetUp() override {
    if (!render) GTEST_SKIP() << "no GL context";
  }

  static void Draw(const std::vector<Quad>& quads, Stage* stage = nullptr) {
    render->SetBackgroundColor(Background);
    render->BeginFrame();
    render->Add(quads);
    if (stage) render->Add(stage);
    render->EndFrame();
    render->RenderFrame();
  }

  static Pixel Read(int x, int y) {
    unsigned char p[4] = {};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
  }
  static Pixel ReadVirtual(double x, double y) { return Read(int(1.25 * x), int(125 + 1.25 * y)); }

  static void ExpectNear(const Pixel& p, int r, int g, int b, const char* what) {
    EXPECT_TRUE(std::abs(p[0] - r) <= 3 && std::abs(p[1] - g) <= 3 && std::abs(p[2] - b) <= 3)
        << what << ": " << p[0] << "," << p[1] << "," << p[2];
  }

  static inline Display* display = nullptr;
  static inline Window window = 0;
  static inline EGLDisplay eglDisplay = EGL_NO_DISPLAY;
  static inline EGLConfig config = nullptr;
  static inline EGLSurface surface = EGL_NO_SURFACE;
  static inline EGLContext context = EGL_NO_CONTEXT;
  static inline std::unique_ptr<IRender> render;
};

TEST_F(RenderGL, FlatQuadIsScaledAndCentredInTheLetterBox) {
  Quad red;
  InitQuad(&red, 100, 50, -1, 1, false, false, false, Red);
  TranslateQuad(&red, 10, 20);  // window pixels 12.5..137.5 x 150..212.5
  Draw({red});
  ExpectNear(Read(14, 152), 255, 0, 0, "inside, near the bottom-left corner");
  ExpectNear(Read(136, 211), 255, 0, 0, "inside, near the top-right corner");
  ExpectNear(Read(11, 180), 0, 0, 255, "left of it");
}

TEST_F(RenderGL, InvalidQuadBlanksTheWholeFrame) {
  Quad flat, untextured, unshaded;
  InitQuad(&flat, 800, 600, -1, 1, false, false, false, Red);
  InitQuad(&untextured, 10, 10, -1, 0, false, false, false, Red);  // a textured shader without a texture
  InitQuad(&unshaded, 10, 10, Atlas::kTextureSlot, -1, false, false, false, Red);
  for (const Quad& broken : {untextured, unshaded}) {
    Draw({flat, broken});
    ExpectNear(ReadVirtual(400, 300), 0, 0, 255, "only the clear colour");
  }
  Draw({flat});
  ExpectNear(ReadVirtual(400, 300), 255, 0, 0, "the same quad alone is drawn");
}

TEST_F(RenderGL, GlyphIsTintedByItsColour) {
  MyFont font;
  std::vector<Quad> quads;
  font.Print("H", quads, 4, 4);  // 52 virtual units, 65 window pixels, about 5.4 pixels a texel
  ASSERT_EQ(quads.size(), 1u);
  quads[0].color = Green;
  TranslateQuad(&quads[0], 100, 300);
  Draw(quads);
  const int left = 125, top = 125 + 375 + 65;  // window pixels of the quad's left and top edges
  auto atTexel = [&](double column, double row) {
    return Read(int(left + (column + 0.5) * 65 / 12.0), int(top - (row + 0.5) * 65 / 12.0));
  };
  ExpectNear(atTexel(1, 2), 0, 255, 0, "left stem");
  ExpectNear(atTexel(5, 5), 0, 255, 0, "crossbar");
  ExpectNear(atTexel(5, 2), 0, 0, 255, "open above the crossbar");
}

TEST_F(RenderGL, MarkersAreRecolouredByShaderThree) {
  const Color recordRed{171 / 255.0, 36 / 255.0, 50 / 255.0, 1};
  Sprite markers[2], hidden;
  Stage stage;
  for (int i = 0; i < 2; ++i) {  // play and record, recoloured from their white
    markers[i].Create(render.get(), i ? Atlas::MarkerB : Atlas::MarkerA);
    markers[i].SetShaderIndex(3);
    markers[i].SetPosition(400 + 100 * i, 300);
    markers[i].color1 = White;
    markers[i].replaceColor1 = i ? recordRed : Green;
    stage.AddChild(&markers[i]);
  }
  hidden.Create(render.get(), 100, 100);
  hidden.SetColor(Red);
  hidden.SetVisible(false);
  stage.AddChild(&hidden);

  Draw({}, &stage);
  ASSERT_EQ(static_cast<Render*>(render.get())->GetBatches().size(), 2u);  // the invisible sprite adds nothing
  ExpectNear(ReadVirtual(412, 316), 0, 255, 0, "inside the play triangle");
  ExpectNear(ReadVirtual(516, 316), 171, 36, 50, "inside the record dot");
  ExpectNear(ReadVirtual(401, 301), 0, 0, 255, "transparent corner of the marker");

  markers[0].replaceColor1 = White;
  Draw({}, &stage);
  ExpectNear(ReadVirtual(412, 316), 255, 255, 255, "white play triangle");
}

TEST_F(RenderGL, FailuresAreReportedWithErrorLines) {
  namespace fs = std::filesystem;
  const std::string dir = zs::test::MakeTempDir("render-shaders");
  for (const auto& entry : fs::directory_iterator(zs::test::BuildPath("share/Shaders")))
    fs::copy_file(entry.path(), dir + "/" + entry.path().filename().string());
  std::ofstream(dir + "/Shader3.fsh") << "void main() { gl_FragColor = undefinedThing; }\n";
  Render broken;
  const std::string out = zs::test::Captured([&] {
    EXPECT_FALSE(broken.Init(800, 600, Size, Size, Background, dir + "/"));
    EXPECT_FALSE(render->LoadTexture(zs::test::BuildPath("share/res/drawable/atlas.png"), 100, false));
  });
  broken.Shutdown();
  EXPECT_NE(out.find("error: shader " + dir + "/Shader3.fsh does not compile"), std::string::npos) << out;
  EXPECT_NE(out.find("error: texture slot 100"), std::string::npos) << out;
  // Opening a folder succeeds; reading it must fail with a line, not an exception.
  fs::remove(dir + "/Shader2.vsh");
  fs::create_directory(dir + "/Shader2.vsh");
  Render folder;
  EXPECT_EQ(zs::test::Captured([&] { EXPECT_FALSE(folder.Init(800, 600, Size, Size, Background, dir + "/")); })
                .find("error: cannot read shader file " + dir + "/Shader2.vsh"),
            0u);
  folder.Shutdown();

  Quad red;
  InitQuad(&red, 800, 600, -1, 1, false, false, false, Red);
  Draw({red});
  ExpectNear(ReadVirtual(400, 300), 255, 0, 0, "still drawing");
}

}  // namespace
