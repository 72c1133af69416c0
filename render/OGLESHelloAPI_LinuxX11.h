// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// Window and GL context: the X display, the program's one window and an EGL OpenGL ES 2
// context on it. Every function runs on the main thread, which keeps the context current for
// the whole run. Each returns true on success and prints a message before returning false.
#include <EGL/egl.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

// Window size in pixels; set before the window is created and updated on resize.
extern int WindowWidthCurrent;
extern int WindowHeightCurrent;
extern const char* const ApplicationName;
extern const char* const IconName;

// Opens the default display. False when `display` is null or no display can be opened.
bool createNativeDisplay(Display** display);
// Creates, maps and decorates the window (title, icon, close protocol); always true.
bool createNativeWindow(Display* display, Window* window);
bool createEGLDisplay(Display* display, EGLDisplay& eglDisplay);
// Takes the one configuration that offers a window surface and ES 2 rendering.
bool chooseEGLConfig(EGLDisplay eglDisplay, EGLConfig& config);
bool createEGLSurface(Window window, EGLDisplay eglDisplay, EGLConfig config, EGLSurface& surface);
// Binds ES, creates a version 2 context and makes it current on `surface`.
bool setupEGLContext(EGLDisplay eglDisplay, EGLConfig config, EGLSurface surface, EGLContext& context);
// True when EGL reports no error, else prints "<functionName> failed (<code in hex>)."
bool testEGLError(const char* functionName);
// Destroys the window if not 0, frees the size hints if not null, closes the display if not null.
void releaseNativeResources(Display* display, Window window, XSizeHints* sizeHints);
