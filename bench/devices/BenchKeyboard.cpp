// SPDX-License-Identifier: LGPL-2.1-or-later
// Cost of Keyboard::Read per sequencer frame (the sequencer thread calls it up to 1000 times a
// second). Needs an X display with the XTEST extension (DISPLAY, e.g. Xvfb); skipped without.
//   DISPLAY=:N build/bench/bench_keyboard
#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "devices/Keyboard.h"

namespace {

struct BenchWindow {
  Display* display = XOpenDisplay(nullptr);
  Window window = 0;
  BenchWindow() {
    if (display == nullptr) return;
    window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 320, 200, 0, 0, 0);
    XSelectInput(display, window, KeyPressMask | KeyReleaseMask | ButtonPressMask |
                                      StructureNotifyMask | FocusChangeMask);
    XMapRaised(display, window);
    XSync(display, False);
    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
  }
  ~BenchWindow() {
    if (display != nullptr) XCloseDisplay(display);
  }
};

// Most frames: nothing typed.
void BM_ReadIdle(benchmark::State& state) {
  BenchWindow w;
  if (w.display == nullptr) return state.SkipWithError("no X display");
  Keyboard keyboard(w.display, false);
  WindowInfo info;
  for (auto _ : state) benchmark::DoNotOptimize(keyboard.Read(info));
}
BENCHMARK(BM_ReadIdle);

// A frame that drains a burst of key events (a chord struck and released: 2 x range(0) events).
void BM_ReadBurst(benchmark::State& state) {
  BenchWindow w;
  if (w.display == nullptr) return state.SkipWithError("no X display");
  Display* person = XOpenDisplay(nullptr);
  Keyboard keyboard(w.display, false);
  WindowInfo info;
  const KeySym keys[] = {XK_a, XK_s, XK_d, XK_f, XK_g, XK_h, XK_j, XK_k};
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < count; ++i) XTestFakeKeyEvent(person, XKeysymToKeycode(person, keys[i % 8]), True, 0);
    for (int i = 0; i < count; ++i) XTestFakeKeyEvent(person, XKeysymToKeycode(person, keys[i % 8]), False, 0);
    XSync(person, False);
    XSync(w.display, False);
    state.ResumeTiming();
    benchmark::DoNotOptimize(keyboard.Read(info));
  }
  XCloseDisplay(person);
}
BENCHMARK(BM_ReadBurst)->Arg(1)->Arg(8);

}  // namespace
