// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <EGL/egl.h>
#include <pthread.h>

#include <atomic>
#include <memory>

#include "devices/Keyboard.h"
#include "editor/IScene.h"
#include "render/Quad.h"

// What the sequencer thread and the render loop share. The render* fields are the published
// frame and are guarded by `mutex`; each side holds it only while copying. The other fields
// belong to the sequencer thread, except `done`, which it sets once as its last action.
struct ThreadShared {
  std::atomic<bool> done{false};
  pthread_t thread{};
  IScene* scene = nullptr;   // not owned
  QuadList quads;            // sequencer thread
  QuadList renderQuads;      // guarded
  SceneInfo sceneInfo;       // sequencer thread
  SceneInfo renderSceneInfo; // guarded
  WindowInfo windowInfo;     // sequencer thread, filled by Keyboard::Read
  WindowInfo renderWindowInfo;  // guarded
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  std::unique_ptr<Keyboard> keyboard;  // read only on the sequencer thread
};

namespace SequencerThread {
// The thread's body; `shared` is the ThreadShared. Runs frames of at least 1 ms until the
// keyboard or QuitRequest reports a quit request, then sets done.
void* Main(void* shared);
}  // namespace SequencerThread

// Main thread: draws the latest published frame until the sequencer thread is done.
class IRender;
void RunRenderLoop(ThreadShared& shared, IRender* render, EGLDisplay display, EGLSurface surface, int windowWidth,
                   int windowHeight);
