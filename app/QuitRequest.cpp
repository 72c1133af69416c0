// SPDX-License-Identifier: LGPL-2.1-or-later
#include "app/QuitRequest.h"

#include <signal.h>

#include <atomic>

namespace {

// Lock-free, so setting it from a signal handler is safe.
std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// A second signal ends the program at once, as it would have without this handler: the way
// out for the user when the orderly quit itself hangs.
void OnQuitSignal(int signal) {
  if (requested.exchange(true)) {
    ::signal(signal, SIG_DFL);
    raise(signal);
  }
}

}  // namespace

void QuitRequest::InstallSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  // Restarted calls: a signal must not make a read or a wait of some library fail.
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  ::signal(SIGXFSZ, SIG_IGN);
}

void QuitRequest::Request() { requested.store(true); }

bool QuitRequest::Requested() { return requested.load(); }
