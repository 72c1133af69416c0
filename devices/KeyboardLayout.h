// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <string>

#include <X11/Xlib.h>

// The keyboard layout X uses now (the name of the active XKB group, e.g. "German" or
// "English (US)"), so the program can read keys in the German key table without -g when the
// user's keyboard is German. Empty when X does not say.
std::string ActiveKeyboardLayout(Display* display);
// Whether that layout is one of the German ones (Germany, Austria, Switzerland).
bool IsGermanLayout(const std::string& layout);
