// SPDX-License-Identifier: LGPL-2.1-or-later
#include "devices/Keyboard.h"

#include <cstdio>
#include <cstring>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "devices/KeyboardSlots.h"

using namespace keyslot;

namespace {

// Keysyms of a German keyboard; with the US layout everything not in UsSlot lands here too,
// so a US keyboard with the extra key left of Z still reaches the less slot.
int CommonSlot(KeySym sym) {
  if (sym >= XK_a && sym <= XK_x) return LetterA + static_cast<int>(sym - XK_a);
  if (sym >= XK_0 && sym <= XK_9) return Digit0 + static_cast<int>(sym - XK_0);
  if (sym >= XK_F1 && sym <= XK_F5) return F1 + static_cast<int>(sym - XK_F1);
  if (sym >= XK_F7 && sym <= XK_F12) return F7 + static_cast<int>(sym - XK_F7);
  switch (sym) {
    case XK_Shift_L: return LeftShift;
    case XK_Control_L: return LeftCtrl;
    case XK_Alt_L: return LeftAlt;
    case XK_ISO_Level3_Shift: return AltGr;
    case XK_dead_circumflex: return Circumflex;
    case XK_Control_R: return RightCtrl;
    case XK_Return: return Return;
    case XK_space: return Space;
    case XK_KP_Add: return KeypadPlus;
    case XK_KP_Subtract: return KeypadMinus;
    case XK_Left: return Left;
    case XK_Right: return Right;
    case XK_Up: return Up;
    case XK_Down: return Down;
    case XK_Prior: case XK_KP_Prior: return PageUp;
    case XK_Next: case XK_KP_Next: return PageDown;
    case XK_y: return Y;
    case XK_z: return Z;
    case XK_plus: return Plus;
    case XK_minus: return Minus;
    case XK_Delete: case XK_KP_Delete: return Delete;
    case XK_Insert: case XK_KP_Insert: return Insert;
    case XK_Tab: return Tab;
    case XK_period: return Period;
    case XK_numbersign: return NumberSign;
    case XK_BackSpace: return Backspace;
    case XK_Escape: return Escape;
    case XK_less: return Less;
    case XK_comma: return Comma;
    case XK_Shift_R: return RightShift;
    case XK_odiaeresis: return ODiaeresis;
    case XK_adiaeresis: return ADiaeresis;
    case XK_udiaeresis: return UDiaeresis;
    case XK_ssharp: return SharpS;
    case XK_dead_acute: return Acute;
    default: return -1;
  }
}

// The US keysyms whose position differs from the German key of the same symbol.
int UsSlot(KeySym sym) {
  switch (sym) {
    case XK_grave: return Circumflex;
    case XK_z: return Y;
    case XK_y: return Z;
    case XK_bracketright: return Plus;
    case XK_slash: return Minus;
    case XK_backslash: return NumberSign;
    case XK_semicolon: return ODiaeresis;
    case XK_apostrophe: return ADiaeresis;
    case XK_bracketleft: return UDiaeresis;
    case XK_minus: return SharpS;
    case XK_equal: return Acute;
    default: return -1;
  }
}

struct CtrlKCommand {
  int slot;
  bool Controls::*flag;
  char letter;
};

// The second keys of the Ctrl-K commands; K itself is checked first, the rest in this order.
constexpr CtrlKCommand kCtrlKCommands[] = {
    {Letter('k'), &Controls::ctrlKK, 'K'}, {Letter('b'), &Controls::ctrlKB, 'B'},
    {Letter('c'), &Controls::ctrlKC, 'C'}, {Y, &Controls::ctrlKY, 'Y'},
    {Letter('h'), &Controls::ctrlKH, 'H'}, {Letter('u'), &Controls::ctrlKU, 'U'},
    {Letter('m'), &Controls::ctrlKM, 'M'}, {Letter('a'), &Controls::ctrlKA, 'A'},
    {Letter('s'), &Controls::ctrlKS, 'S'}, {Letter('r'), &Controls::ctrlKR, 'R'},
    {Letter('t'), &Controls::ctrlKT, 'T'}, {Letter('q'), &Controls::ctrlKQ, 'Q'},
    {Letter('d'), &Controls::ctrlKD, 'D'}, {Letter('n'), &Controls::ctrlKN, 'N'},
};

bool IsCtrlKLetter(int slot) {
  for (const CtrlKCommand& c : kCtrlKCommands) {
    if (c.slot == slot) return true;
  }
  return false;
}

}  // namespace

Keyboard::Keyboard(Display* display, bool germanLayout) : display(display), germanLayout(germanLayout) {
  // Without this, a held key repeats as release/press pairs, and a frame boundary falling
  // between the two would report a spurious release and a second press (a retriggered note).
  // Repeats then arrive as presses only and still count in the cursor-key counts.
  if (display != nullptr) XkbSetDetectableAutoRepeat(display, True, nullptr);
}

int Keyboard::SlotForKeycode(unsigned int keycode) const {
  // The unshifted symbol of the first group: the key's name, whatever modifiers are down.
  KeySym sym = XkbKeycodeToKeysym(display, static_cast<KeyCode>(keycode), 0, 0);
  if (sym == NoSymbol) return -1;
  if (!germanLayout) {
    int slot = UsSlot(sym);
    if (slot >= 0) return slot;
  }
  return CommonSlot(sym);
}

void Keyboard::LoseFocus() {
  printf("** focus lost\n");
  // Keys released elsewhere never come back to us: forget them all. The latches stay, so the
  // piano keys, Insert and Delete held until now report their release in this frame and the
  // editor silences their notes instead of leaving them hanging.
  memset(keys, 0, sizeof keys);
  controls = Controls{};
  ctrlKWaiting = 0;
}

void Keyboard::ProcessEvents(bool& quitRequested, WindowInfo& windowInfo) {
  // Only what is queued now; events arriving while we work belong to the next frame.
  // Read, not flush (XPending would flush): this thread sends no requests of its own, and a
  // flush has to wait for the socket while the render loop pushes a frame through the same
  // connection. Under Xvfb that wait held most frames up, by up to 3 ms, and with them the
  // notes the player sends at the end of the frame.
  int pending = XEventsQueued(display, QueuedAfterReading);
  for (int i = 0; i < pending; ++i) {
    XEvent event;
    XNextEvent(display, &event);
    switch (event.type) {
      case KeyPress: {
        int slot = SlotForKeycode(event.xkey.keycode);
        if (slot < 0) break;
        keys[slot] = 1;
        switch (slot) {
          case Left: ++controls.leftCount; break;
          case Right: ++controls.rightCount; break;
          case Up: ++controls.upCount; break;
          case Down: ++controls.downCount; break;
          case PageUp: ++controls.pageUpCount; break;
          case PageDown: ++controls.pageDownCount; break;
          default: break;
        }
        break;
      }
      case KeyRelease: {
        int slot = SlotForKeycode(event.xkey.keycode);
        if (slot >= 0) keys[slot] = 0;
        break;
      }
      case ButtonPress:
        // A click quits; the wheel (buttons 4 to 7) must not throw away unsaved work.
        if (event.xbutton.button <= Button3) quitRequested = true;
        break;
      case DestroyNotify:
      case ClientMessage:  // the window manager's close request
        quitRequested = true;
        break;
      case FocusOut:
        // Focus moving to a child of our window is not a loss.
        if (event.xfocus.detail != NotifyInferior) LoseFocus();
        break;
      case ConfigureNotify:
        windowInfo.width = event.xconfigure.width;
        windowInfo.height = event.xconfigure.height;
        break;
      case MappingNotify:
        XRefreshKeyboardMapping(&event.xmapping);
        break;
      default:
        break;
    }
  }
}

void Keyboard::HandleCtrlK(bool& consumedLetter) {
  consumedLetter = false;
  auto pressed = [this](int slot) { return keys[slot] && !keysBefore[slot]; };

  if (!ctrlKWaiting) {
    if (ContextOf(keys).ctrl && pressed(Letter('k'))) {
      ctrlKWaiting = 1;
      printf("*** WAITING FOR B,K,C,Y,H,U,M,A,S,R,T,Q,D,N\n");
    }
    return;
  }

  // The wait survives only while Left Ctrl is held with nothing but K and at most one other
  // command letter: releasing Ctrl or touching any other key cancels it.
  bool allowed = keys[LeftCtrl] != 0;
  int others = 0;
  for (int slot = 0; slot < kKeySlots && allowed; ++slot) {
    if (!keys[slot] || slot == LeftCtrl || slot == Letter('k')) continue;
    if (IsCtrlKLetter(slot)) {
      ++others;
    } else {
      allowed = false;
    }
  }
  if (others > 1) allowed = false;
  if (!allowed) {
    ctrlKWaiting = 0;
    printf("bCtrlK OFF\n");
    return;
  }
  for (const CtrlKCommand& command : kCtrlKCommands) {
    if (pressed(command.slot)) {
      controls.*command.flag = true;
      ctrlKWaiting = 0;
      consumedLetter = true;
      printf("** CTRL K%c\n", command.letter);
      return;
    }
  }
}

Controls Keyboard::Read(WindowInfo& windowInfo) {
  windowInfo = WindowInfo{};
  controls = Controls{};
  memcpy(keysBefore, keys, sizeof keys);

  bool quitRequested = false;
  if (display != nullptr) ProcessEvents(quitRequested, windowInfo);

  bool consumedLetter = false;
  HandleCtrlK(consumedLetter);
  FillCombinations(consumedLetter);
  FillPianoAndLatches();

  // Ctrl+Shift+Q is filled in with the combinations.
  if (quitRequested) controls.quit = true;
  return controls;
}
