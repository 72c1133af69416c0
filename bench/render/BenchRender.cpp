// SPDX-License-Identifier: LGPL-2.1-or-later
// Cost of turning a frame's quads into vertices and draw batches (Render::EndFrame).
//   build/bench/bench_render
// The GL variants also upload the vertices; they need an X display (DISPLAY, e.g. Xvfb) and
// are skipped without one.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "render/Atlas.h"
#include "render/Font.h"
#include "render/OGLESHelloAPI_LinuxX11.h"
#include "render/Render.h"
#include "render/Sprite.h"

namespace {

// 800 quads as a busy editor frame has them: flat note cells in alternating colours (worst case
// for batching), then sprites and text.
std::vector<Quad> BusyFrame() {
  std::vector<Quad> quads;
  const Color orange{1, 165 / 255.0, 0, 0.9}, white{1, 1, 1, 0.9};
  for (int i = 0; i < 700; ++i) {
    Quad q;
    InitQuad(&q, 18, 23, -1, 1, false, false, false, i % 3 ? orange : white);
    TranslateQuad(&q, 3 + 21 * (i % 37), 183 + 26 * (i / 37 % 16));
    quads.push_back(q);
  }
  MyFont font;
  while (quads.size() < 800) font.Print("T 1 O3 S1 L  0 C4", quads, 1.5, 1.5);
  quads.resize(800);
  return quads;
}

// A help page of 577 glyphs over the step grid (scale bands, notes, keyboard, cursor).
std::vector<Quad> HelpPageFrame() {
  std::vector<Quad> quads;
  Sprite panel;
  panel.Create(nullptr, Atlas::KeyboardPanel);
  quads.push_back(*panel.GetQuad(0));
  for (int c = 0; c < 37; c += 2) {
    Quad q;
    InitQuad(&q, 18, 413, -1, 1, false, false, false, {0.13, 0.13, 0.13, 0.5});
    TranslateQuad(&q, 3 + 21 * c, 183);
    quads.push_back(q);
  }
  for (int n = 0; n < 48; ++n) {
    Quad q;
    InitQuad(&q, 18, 23, -1, 1, false, false, false, {1, 165 / 255.0, 0, 0.9});
    TranslateQuad(&q, 3 + 21 * (n * 7 % 37), 573 - 26 * (n % 16));
    quads.push_back(q);
  }
  MyFont font;
  const std::string line = "CTRL K M ! MOVE BLOCK IF SAME SESSION TRACK";
  int glyphs = 0;
  for (int row = 0; glyphs < 577; ++row) {
    std::vector<Quad> text;
    font.Print(line, text, 1, 1);
    if (glyphs + int(text.size()) > 577) text.resize(577 - glyphs);
    glyphs += int(text.size());
    for (Quad& q : text) {
      q.color = {1, 1, 0, 1};
      TranslateQuad(&q, 10, 560 - 20 * row);
      quads.push_back(q);
    }
  }
  return quads;
}

void BM_BuildFrameBatches(benchmark::State& state, std::vector<Quad> (*makeFrame)()) {
  const std::vector<Quad> quads = makeFrame();
  std::vector<float> vertices(size_t(Render::kInitialVertexCapacity) * Render::kFloatsPerVertex);
  std::vector<TriangleBatch> batches;
  int vertexCount = 0;
  for (auto _ : state) {
    BuildFrameBatches(quads, vertices, batches, vertexCount);
    benchmark::DoNotOptimize(vertices.data());
  }
  state.counters["quads"] = double(quads.size());
  state.counters["batches"] = double(batches.size());
}
BENCHMARK_CAPTURE(BM_BuildFrameBatches, busy_800_quads, BusyFrame);
BENCHMARK_CAPTURE(BM_BuildFrameBatches, help_page_577_glyphs, HelpPageFrame);

// A real context for the variants that upload: created once, on first use.
IRender* GLRender() {
  static IRender* render = [] () -> IRender* {
    Display* display = nullptr;
    Window window = 0;
    EGLDisplay eglDisplay = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    EGLSurface surface = EGL_NO_SURFACE;
    EGLContext context = EGL_NO_CONTEXT;
    if (!getenv("DISPLAY") || !createNativeDisplay(&display) || !createNativeWindow(display, &window) ||
        !createEGLDisplay(display, eglDisplay) || !chooseEGLConfig(eglDisplay, config) ||
        !createEGLSurface(window, eglDisplay, config, surface) ||
        !setupEGLContext(eglDisplay, config, surface, context)) {
      return nullptr;
    }
    IRender* r = IRender::Create();
    // The shaders are not needed to build and upload vertices.
    r->Init(800, 600, 800, 600, Color{0, 0, 0, 1}, std::string(ZS_BUILD_DIR) + "/share/Shaders/");
    return r;
  }();
  return render;
}

void BM_EndFrameWithUpload(benchmark::State& state, std::vector<Quad> (*makeFrame)()) {
  IRender* render = GLRender();
  if (!render) {
    state.SkipWithError("no X display with EGL and GLES 2 (set DISPLAY)");
    return;
  }
  const std::vector<Quad> quads = makeFrame();
  for (auto _ : state) {
    render->BeginFrame();
    render->Add(quads);
    render->EndFrame();
  }
  glFinish();
}
BENCHMARK_CAPTURE(BM_EndFrameWithUpload, busy_800_quads, BusyFrame);
BENCHMARK_CAPTURE(BM_EndFrameWithUpload, help_page_577_glyphs, HelpPageFrame);

}  // namespace
