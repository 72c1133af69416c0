// SPDX-License-Identifier: LGPL-2.1-or-later
#include "devices/KeyboardLayout.h"

#include <X11/XKBlib.h>

std::string ActiveKeyboardLayout(Display* display) {
  if (!display) return {};
  XkbStateRec state;
  if (XkbGetState(display, XkbUseCoreKbd, &state) != Success) return {};
  XkbDescPtr keyboard = XkbGetKeyboard(display, XkbAllComponentsMask, XkbUseCoreKbd);
  if (!keyboard) return {};
  std::string name;
  if (keyboard->names && state.group < XkbNumKbdGroups && keyboard->names->groups[state.group] != None) {
    if (char* atom = XGetAtomName(display, keyboard->names->groups[state.group])) {
      name = atom;
      XFree(atom);
    }
  }
  XkbFreeKeyboard(keyboard, XkbAllComponentsMask, True);
  return name;
}

bool IsGermanLayout(const std::string& layout) { return layout.rfind("German", 0) == 0; }
