// SPDX-License-Identifier: LGPL-2.1-or-later
// ZembrovaneSequencer: start-up in order, the two loops, and the teardown in reverse order.
#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <cstdio>
#include <string>

#include "app/CommandLine.h"
#include "app/ProgramDirectory.h"
#include "app/QuitRequest.h"
#include "devices/KeyboardLayout.h"
#include "app/SequencerThread.h"
#include "devices/MidiInput.h"
#include "devices/MidiOutput.h"
#include "editor/Sequencer.h"
#include "render/OGLESHelloAPI_LinuxX11.h"
#include "render/Render.h"

namespace {

// Key press and release, button press (a click quits), structure notify (resize, close)
// and focus change.
constexpr long kWindowEventMask = KeyPressMask | KeyReleaseMask | ButtonPressMask | StructureNotifyMask |
                                  FocusChangeMask;

// Xlib's default handler ends the program at once (status 1, no note-offs, no teardown) on
// any X error, as when another client destroys the window. The error is reported and the
// program quits as the user would have.
int OnXError(Display*, XErrorEvent* error) {
  printf("error: X error %d (request %d) on resource 0x%lx; quitting\n", error->error_code, error->request_code,
         error->resourceid);
  QuitRequest::Request();
  return 0;
}

// A window larger than the screen would lose its bottom lines: the scale is reduced to fit.
// Without -g the layout X uses decides the key table.
void FitToScreen(Display* display, CommandLineOptions& options) {
  const int screen = DefaultScreen(display);
  const int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
  if (options.windowWidth > width || options.windowHeight > height) {
    const double fit = std::min(width / 800.0, height / 600.0);
    printf("gui scale %g makes a window larger than the %dx%d screen: using %.2f\n", options.scale, width, height,
           fit);
    options.scale = fit;
    options.windowWidth = static_cast<int>(std::floor(fit * 800));
    options.windowHeight = static_cast<int>(std::floor(fit * 600));
  }
  if (!options.germanLayout) {
    const std::string layout = ActiveKeyboardLayout(display);
    options.germanLayout = IsGermanLayout(layout);
    printf("keyboard layout %s: %s key table\n", layout.empty() ? "unknown" : layout.c_str(),
           options.germanLayout ? "German" : "US");
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Line by line even into a file or a pipe: a run that is killed keeps its last lines.
  setvbuf(stdout, nullptr, _IOLBF, 0);
  QuitRequest::InstallSignalHandlers();
  const std::string programDirectory = GetProgramDirectory();
  printf("ZEMBROVANE SEQUENCER VERSION 0.92\n\n");
  MidiInput::PrintMidiInputs();
  printf("\n");
  MidiOutput::PrintMidiOutputs();
  printf("\n");

  CommandLineOptions options;
  if (ParseCommandLine(argc, argv, options) != 0) return 255;

  printf("XInitThreads rv=%d\n", XInitThreads());
  XSetErrorHandler(OnXError);

  // A start that fails from here on still tears down in order, but reports failure.
  bool started = false;
  Display* display = nullptr;
  // The render thread draws through a connection of its own: a swap holds its connection's lock
  // while the frame goes to the server (milliseconds on a virtual X server), and the sequencer
  // thread, which reads the keys through `display` every millisecond, must not wait for it; a
  // late sequencer frame makes late MIDI messages.
  Display* renderDisplay = nullptr;
  Window window = 0;
  EGLDisplay eglDisplay = EGL_NO_DISPLAY;
  EGLConfig eglConfig = nullptr;
  EGLSurface eglSurface = EGL_NO_SURFACE;
  EGLContext eglContext = EGL_NO_CONTEXT;
  // Released explicitly at the end, in the order the threads and the GL context need.
  std::unique_ptr<IRender> render;
  std::unique_ptr<Sequencer> sequencer;
  std::unique_ptr<ThreadShared> shared;

  const bool displayUp = createNativeDisplay(&display);
  if (displayUp) FitToScreen(display, options);
  WindowWidthCurrent = options.windowWidth;
  WindowHeightCurrent = options.windowHeight;
  const bool windowUp = displayUp && createNativeWindow(display, &window);
  if (windowUp) XSelectInput(display, window, kWindowEventMask);
  const bool contextUp = windowUp && createNativeDisplay(&renderDisplay) && createEGLDisplay(renderDisplay, eglDisplay) &&
                         chooseEGLConfig(eglDisplay, eglConfig) &&
                         createEGLSurface(window, eglDisplay, eglConfig, eglSurface) &&
                         setupEGLContext(eglDisplay, eglConfig, eglSurface, eglContext);

  if (contextUp) {
    render.reset(IRender::Create());
    const bool renderUp =
        render->Init(800, 600, options.windowWidth, options.windowHeight, Color{0, 155 / 255.0, 0, 1},
                     programDirectory + "../share/Shaders/") &&
        render->LoadTexture(programDirectory + "../share/res/drawable/atlas.png", 99, false);
    if (renderUp) {
      sequencer = std::make_unique<Sequencer>(
          programDirectory, options.projectPrefix, options.midiInput, options.midiOutput, options.midiOutput2,
          options.defaultInstrument, options.noOp, options.bufferSize, options.background, options.launchpad,
          options.wallpaper, options.fx, "", options.qmini, options.blackKeysTransport, true, options.maxVelocityValue);
      sequencer->GetPlayer()->SetMidiClock(options.midiClock);
      started = sequencer->Init(render.get());
    }
  }

  if (started) {
    shared = std::make_unique<ThreadShared>();
    shared->scene = sequencer.get();
    shared->keyboard = std::make_unique<Keyboard>(display, options.germanLayout);
    if (pthread_create(&shared->thread, nullptr, SequencerThread::Main, shared.get()) != 0) {
      printf("error: could not start the sequencer thread\n");
      started = false;
      shared.reset();
    } else {
      // Named so that a profiler or /proc/<pid>/task/*/comm tells it from the audio threads.
      pthread_setname_np(shared->thread, "zs-sequencer");
      RunRenderLoop(*shared, render.get(), eglDisplay, eglSurface, options.windowWidth, options.windowHeight);
    }
  }

  if (sequencer) sequencer->Shutdown();
  if (shared) {
    pthread_join(shared->thread, nullptr);
    pthread_mutex_destroy(&shared->mutex);
    shared.reset();
  }
  sequencer.reset();
  if (render) {
    render->Shutdown();
    render.reset();
  }
  if (eglDisplay != EGL_NO_DISPLAY) {
    eglMakeCurrent(eglDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglTerminate(eglDisplay);
  }
  if (renderDisplay != nullptr) XCloseDisplay(renderDisplay);
  releaseNativeResources(display, window, nullptr);
  return started ? 0 : 1;
}
