#include <EGL/egl.h>

#include "app/SequencerThread.h"
#include "render/OGLESHelloAPI_LinuxX11.h"
#include "render/Render.h"

void RunRenderLoop(ThreadShared& shared, IRender* render, EGLDisplay display, EGLSurface surface, int windowWidth,
                   int windowHeight) {
  QuadList quads;
  SceneInfo sceneInfo{};
  bool keepGoing = true;
  while (keepGoing) {
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
  }
}
