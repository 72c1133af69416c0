// SPDX-License-Identifier: LGPL-2.1-or-later
#include "render/OGLESHelloAPI_LinuxX11.h"

#include <X11/Xatom.h>

#include <cstdio>
#include <cstring>

#include "render/WindowIcon.h"

int WindowWidthCurrent = 800;
int WindowHeightCurrent = 600;
const char* const kApplicationName = "Zembrovane Sequencer";
const char* const kIconName = "Sequencer";

namespace {

// ButtonPress | Exposure | StructureNotify: a click in the window ends the program.
constexpr long kCreationEventMask = ButtonPressMask | ExposureMask | StructureNotifyMask;

}  // namespace

bool testEGLError(const char* functionName) {
  const EGLint error = eglGetError();
  if (error != EGL_SUCCESS) {
    printf("%s failed (%x).\n", functionName, error);
    return false;
  }
  return true;
}

bool createNativeDisplay(Display** display) {
  if (!display) return false;
  *display = XOpenDisplay(nullptr);
  if (!*display) {
    printf("Error: Unable to open X display\n");
    return false;
  }
  return true;
}

bool createNativeWindow(Display* display, Window* window) {
  const int screen = XDefaultScreen(display);
  const int depth = DefaultDepth(display, screen);
  const Window root = RootWindow(display, screen);

  XVisualInfo visualInfo;
  std::memset(&visualInfo, 0, sizeof(XVisualInfo));
  XMatchVisualInfo(display, screen, depth, TrueColor, &visualInfo);
  // Without a match the record stays zero; fall back to the screen's default visual.
  Visual* visual = visualInfo.visual ? visualInfo.visual : DefaultVisual(display, screen);
  const int visualDepth = visualInfo.visual ? visualInfo.depth : depth;

  XSetWindowAttributes attributes;
  std::memset(&attributes, 0, sizeof(attributes));
  attributes.colormap = XCreateColormap(display, root, visual, AllocNone);
  attributes.event_mask = kCreationEventMask;
  *window = XCreateWindow(display, root, 0, 0, WindowWidthCurrent, WindowHeightCurrent, 0, visualDepth, InputOutput,
                          visual, CWColormap | CWEventMask, &attributes);
  XMapWindow(display, *window);

  const Atom iconAtom = XInternAtom(display, "_NET_WM_ICON", True);
  if (iconAtom != None) {
    const Atom cardinal = XInternAtom(display, "CARDINAL", True);
    static const auto iconData = MakeWindowIconProperty();
    XChangeProperty(display, *window, iconAtom, cardinal, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(iconData.data()), static_cast<int>(iconData.size()));
  }

  XStoreName(display, *window, kApplicationName);
  // The class lets a desktop match the open window with its menu entry (StartupWMClass).
  XClassHint classHint;
  classHint.res_name = const_cast<char*>("zembrovane-sequencer");
  classHint.res_class = const_cast<char*>("ZembrovaneSequencer");
  XSetClassHint(display, *window, &classHint);

  XTextProperty iconNameProperty;
  iconNameProperty.value = reinterpret_cast<unsigned char*>(const_cast<char*>(kIconName));
  iconNameProperty.encoding = XA_STRING;
  iconNameProperty.format = 8;
  iconNameProperty.nitems = std::strlen(kIconName);
  XSetWMIconName(display, *window, &iconNameProperty);
  printf("XSetIconName() = %d\n", XSetIconName(display, *window, kIconName));

  // Made if it does not exist yet, so that a window manager started later still sees the protocol.
  Atom deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, *window, &deleteAtom, 1);

  return true;
}

bool createEGLDisplay(Display* display, EGLDisplay& eglDisplay) {
  eglDisplay = eglGetDisplay(static_cast<EGLNativeDisplayType>(display));
  if (eglDisplay == EGL_NO_DISPLAY) {
    printf("Failed to get an EGLDisplay");
    return false;
  }
  EGLint major = 0, minor = 0;
  if (!eglInitialize(eglDisplay, &major, &minor)) {
    printf("Failed to initialize the EGLDisplay");
    return false;
  }
  return true;
}

bool chooseEGLConfig(EGLDisplay eglDisplay, EGLConfig& config) {
  const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT, EGL_NONE};
  EGLint configsReturned = 0;
  if (!eglChooseConfig(eglDisplay, attributes, &config, 1, &configsReturned) || configsReturned != 1) {
    printf("Failed to choose a suitable config.");
    return false;
  }
  return true;
}

bool createEGLSurface(Window window, EGLDisplay eglDisplay, EGLConfig config, EGLSurface& surface) {
  surface = eglCreateWindowSurface(eglDisplay, config, static_cast<EGLNativeWindowType>(window), nullptr);
  return testEGLError("eglCreateWindowSurface");
}

bool setupEGLContext(EGLDisplay eglDisplay, EGLConfig config, EGLSurface surface, EGLContext& context) {
  eglBindAPI(EGL_OPENGL_ES_API);
  if (!testEGLError("eglBindAPI")) return false;
  const EGLint contextAttributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
  context = eglCreateContext(eglDisplay, config, EGL_NO_CONTEXT, contextAttributes);
  if (!testEGLError("eglCreateContext")) return false;
  eglMakeCurrent(eglDisplay, surface, surface, context);
  return testEGLError("eglMakeCurrent");
}

void releaseNativeResources(Display* display, Window window, XSizeHints* sizeHints) {
  if (window && display) XDestroyWindow(display, window);
  if (sizeHints) XFree(sizeHints);
  if (display) XCloseDisplay(display);
}
