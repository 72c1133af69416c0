// SPDX-License-Identifier: LGPL-2.1-or-later
#include <EGL/egl.h>
#include <time.h>
#include <unistd.h>

#include "app/SequencerThread.h"
#include "render/OGLESHelloAPI_LinuxX11.h"
#include "render/Render.h"

namespace {

// A display with vertical sync paces the loop by the swap. Without one (a virtual X server,
// sync switched off in the driver) the swap returns at once and the loop would draw as fast as
// the CPU allows, taking cores from the synthesizers and the sequencer thread. A frame takes at
// least this long: above the rate of 144 Hz displays, so those are still drawn every refresh.
constexpr long kMinFrameNanoseconds = 6000000;

long NanosecondsSince(const timespec& start) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (now.tv_sec - start.tv_sec) * 1000000000L + (now.tv_nsec - start.tv_nsec);
}

}  // namespace

void RunRenderLoop(ThreadShared& shared, IRender* render, EGLDisplay display, EGLSurface surface, int windowWidth,
                   int windowHeight) {
  QuadList quads;
  SceneInfo sceneInfo{};
  bool keepGoing = true;
  while (keepGoing) {
    timespec frameStart;
    clock_gettime(CLOCK_MONOTONIC, &frameStart);
    if (!shared.done.load()) {
      WindowInfo size;
      pthread_mutex_lock(&shared.mutex);
      quads = shared.renderQuads;
      sceneInfo = shared.renderSceneInfo;
      size = shared.renderWindowInfo;
      pthread_mutex_unlock(&shared.mutex);
      if (size.width != 0 && size.height != 0 && (size.width != windowWidth || size.height != windowHeight)) {
        windowWidth = size.width;
        windowHeight = size.height;
        render->UpdateRenderWindowDimensions(windowWidth, windowHeight);
      }
    } else {
      // The last frame: nothing but the zero background.
      quads.quads.clear();
      sceneInfo = SceneInfo{};
      keepGoing = false;
    }
    render->SetScroll(sceneInfo.scrollX, sceneInfo.scrollY);
    render->SetBackgroundColor(sceneInfo.background);
    render->BeginFrame();
    render->Add(quads.quads);
    quads.quads.clear();
    render->EndFrame();
    render->RenderFrame();
    if (!eglSwapBuffers(display, surface)) {
      testEGLError("eglSwapBuffers");
      // Draw the next frame at once; a failing swap must not keep a finished program alive.
      if (!shared.done.load()) keepGoing = true;
    }
    const long elapsed = NanosecondsSince(frameStart);
    if (keepGoing && elapsed < kMinFrameNanoseconds) usleep((kMinFrameNanoseconds - elapsed) / 1000);
  }
}
