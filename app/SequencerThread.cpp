// SPDX-License-Identifier: LGPL-2.1-or-later
#include "app/SequencerThread.h"

#include <unistd.h>

#include "app/QuitRequest.h"
#include "player/Util.h"

void* SequencerThread::Main(void* arg) {
  ThreadShared& shared = *static_cast<ThreadShared*>(arg);
  Timer delta;
  Timer frame;
  delta.Start();
  bool quit = false;
  while (!quit) {
    frame.Start();
    const double elapsed = delta.Restart() / 1000.0;
    Controls controls = shared.keyboard->Read(shared.windowInfo);
    // The one place where every quit request meets: the keyboard's (Ctrl+Shift+Q, window
    // closed, click) and QuitRequest's (signals, X errors). The scene sees them all as
    // controls.quit in this last frame.
    if (QuitRequest::Requested()) controls.quit = true;
    quit = controls.quit;
    shared.scene->Update(elapsed, controls, shared.quads, shared.sceneInfo);

    pthread_mutex_lock(&shared.mutex);
    shared.renderQuads = shared.quads;
    shared.renderSceneInfo = shared.sceneInfo;
    if (shared.windowInfo.width != 0 && shared.windowInfo.height != 0) shared.renderWindowInfo = shared.windowInfo;
    pthread_mutex_unlock(&shared.mutex);

    // At most one frame per millisecond: the player's timing uses the measured time, so
    // this only keeps the thread from spinning.
    const double ms = frame.GetTimeElapsed();
    if (ms < 1.0) usleep(static_cast<useconds_t>((1.0 - ms) * 1000.0));
  }
  shared.done.store(true);
  return nullptr;
}
