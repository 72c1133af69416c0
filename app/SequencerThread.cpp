// SPDX-License-Identifier: LGPL-2.1-or-later
#include "app/SequencerThread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "app/QuitRequest.h"
#include "player/Util.h"

namespace {

// Below JACK's real-time threads (priority 10 by default, its clients just under it), which
// must never wait for us, and above every normal thread, so a busy desktop does not delay a
// frame. The frames sleep, so the thread never takes a core for itself.
constexpr int kRealtimePriority = 5;

// SCHED_FIFO when the rtprio limit (or privilege) allows it, else normal scheduling as before.
void RequestRealtimeScheduling() {
  rlimit limit{};
  getrlimit(RLIMIT_RTPRIO, &limit);
  const bool privileged = geteuid() == 0;
  const int priority = privileged ? kRealtimePriority
                                  : static_cast<int>(std::min<rlim_t>(limit.rlim_cur, kRealtimePriority));
  sched_param param{};
  param.sched_priority = priority;
  if (priority >= 1 && pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) {
    printf("sequencer thread: real-time scheduling (SCHED_FIFO, priority %d)\n", priority);
  } else {
    printf("sequencer thread: normal scheduling (real-time not permitted; rtprio limit %ld)\n",
           static_cast<long>(limit.rlim_cur));
  }
}

}  // namespace

void* SequencerThread::Main(void* arg) {
  ThreadShared& shared = *static_cast<ThreadShared*>(arg);
  RequestRealtimeScheduling();
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
