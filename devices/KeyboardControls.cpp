// SPDX-License-Identifier: LGPL-2.1-or-later
// Keyboard: turning the held keys of a frame into the combination flags of Controls.
#include "devices/Keyboard.h"
#include "devices/KeyboardSlots.h"

using namespace keyslot;

void Keyboard::FillCombinations(bool ctrlKConsumedLetter) {
  const Context ctx = ContextOf(keys);
  auto held = [this](int slot) { return keys[slot] != 0; };
  auto pressed = [this](int slot) { return keys[slot] && !keysBefore[slot]; };
  Controls& c = controls;

  // The letter that completed a Ctrl-K command is not also a Ctrl+letter command:
  // Ctrl+K, Y must not erase a whole session on the sessions page as Ctrl+Y does.
  const bool ctrl = ctx.ctrl && !ctrlKConsumedLetter;

  c.returnPressed = ctx.none && pressed(Return);
  c.shiftReturn = ctx.shift && pressed(Return);
  c.spacePressed = ctx.none && pressed(Space);
  c.shiftSpace = ctx.shift && pressed(Space);
  c.rightCtrlPressed = ctx.none && pressed(RightCtrl);
  c.ctrlReturn = ctrl && pressed(Return);
  c.altReturn = ctx.alt && pressed(Return);

  c.f1Pressed = ctx.none && pressed(F1);
  c.f5Pressed = ctx.none && pressed(F1 + 4);
  c.f7Pressed = ctx.none && pressed(F7);
  c.f8Pressed = ctx.none && pressed(F7 + 1);
  c.f9Pressed = ctx.none && pressed(F7 + 2);
  c.f10Pressed = ctx.none && pressed(F7 + 3);
  c.f11Pressed = ctx.none && pressed(F7 + 4);

  c.shiftLeftHeld = ctx.shift && held(Left);
  c.shiftRightHeld = ctx.shift && held(Right);
  c.shiftUpHeld = ctx.shift && held(Up);
  c.shiftDownHeld = ctx.shift && held(Down);

  for (int d = 0; d < 10; ++d) c.digitPressed[d] = pressed(Digit(d));
  for (int d = 1; d <= 8; ++d) c.altGrDigit[d - 1] = ctx.altGr && pressed(Digit(d));
  c.altGrQ = ctx.altGr && pressed(Letter('q'));
  c.altGrW = ctx.altGr && pressed(Letter('w'));
  c.altGrE = ctx.altGr && pressed(Letter('e'));
  c.altGrR = ctx.altGr && pressed(Letter('r'));
  c.altGrT = ctx.altGr && pressed(Letter('t'));
  c.altGrZ = ctx.altGr && pressed(Z);
  c.altGrU = ctx.altGr && pressed(Letter('u'));
  c.altGrI = ctx.altGr && pressed(Letter('i'));

  c.altKeypadPlus = ctx.alt && pressed(KeypadPlus);
  c.altKeypadMinus = ctx.alt && pressed(KeypadMinus);
  c.altShiftKeypadPlus = ctx.altShift && pressed(KeypadPlus);
  c.altShiftKeypadMinus = ctx.altShift && pressed(KeypadMinus);
  c.ctrlKeypadPlus = ctrl && pressed(KeypadPlus);
  c.ctrlKeypadMinus = ctrl && pressed(KeypadMinus);
  c.ctrlShiftKeypadPlus = ctx.ctrlShift && pressed(KeypadPlus);
  c.ctrlShiftKeypadMinus = ctx.ctrlShift && pressed(KeypadMinus);
  c.shiftKeypadPlus = ctx.shift && pressed(KeypadPlus);
  c.shiftKeypadMinus = ctx.shift && pressed(KeypadMinus);
  c.shiftPlus = ctx.shift && pressed(Plus);
  c.shiftMinus = ctx.shift && pressed(Minus);

  c.altB = ctx.alt && pressed(Letter('b'));
  c.altV = ctx.alt && pressed(Letter('v'));
  c.altO = ctx.alt && pressed(Letter('o'));
  c.altP = ctx.alt && pressed(Letter('p'));
  c.altR = ctx.alt && pressed(Letter('r'));
  c.altU = ctx.alt && pressed(Letter('u'));
  c.altC = ctx.alt && pressed(Letter('c'));
  c.altI = ctx.alt && pressed(Letter('i'));

  c.ctrlLeftHeld = ctx.ctrl && held(Left);
  c.ctrlRightHeld = ctx.ctrl && held(Right);
  c.ctrlUpHeld = ctx.ctrl && held(Up);
  c.ctrlDownHeld = ctx.ctrl && held(Down);
  c.altLeftHeld = ctx.alt && held(Left);
  c.altRightHeld = ctx.alt && held(Right);
  c.altUpHeld = ctx.alt && held(Up);
  c.altDownHeld = ctx.alt && held(Down);
  c.altShiftLeftHeld = ctx.altShift && held(Left);
  c.altShiftRightHeld = ctx.altShift && held(Right);
  c.altShiftUpHeld = ctx.altShift && held(Up);
  c.altShiftDownHeld = ctx.altShift && held(Down);
  c.ctrlShiftLeftHeld = ctx.ctrlShift && held(Left);
  c.ctrlShiftRightHeld = ctx.ctrlShift && held(Right);
  c.ctrlShiftUpHeld = ctx.ctrlShift && held(Up);
  c.ctrlShiftDownHeld = ctx.ctrlShift && held(Down);

  c.pageUpPressed = ctx.none && pressed(PageUp);
  c.pageDownPressed = ctx.none && pressed(PageDown);

  for (int i = 0; i < 10; ++i) c.shiftNumberRow[i] = ctx.shift && pressed(Digit((i + 1) % 10));
  c.shiftQ = ctx.shift && pressed(Letter('q'));
  c.shiftW = ctx.shift && pressed(Letter('w'));
  for (int d = 1; d <= 8; ++d) c.ctrlDigit[d - 1] = ctrl && pressed(Digit(d));
  for (int d = 0; d <= 8; ++d) c.altDigit[d] = ctx.alt && pressed(Digit(d));

  c.keypadPlusPressed = ctx.none && pressed(KeypadPlus);
  c.keypadMinusPressed = ctx.none && pressed(KeypadMinus);
  c.shiftF = ctx.shift && pressed(Letter('f'));
  c.shiftO = ctx.shift && pressed(Letter('o'));

  c.ctrlC = ctrl && pressed(Letter('c'));
  c.ctrlV = ctrl && pressed(Letter('v'));
  c.ctrlM = ctrl && pressed(Letter('m'));
  c.ctrlX = ctrl && pressed(Letter('x'));
  c.ctrlN = ctrl && pressed(Letter('n'));
  c.ctrlT = ctrl && pressed(Letter('t'));
  c.ctrlO = ctrl && pressed(Letter('o'));
  c.ctrlG = ctrl && pressed(Letter('g'));
  c.altShiftX = ctx.altShift && pressed(Letter('x'));
  c.ctrlShiftB = ctx.ctrlShift && pressed(Letter('b'));
  c.ctrlShiftE = ctx.ctrlShift && pressed(Letter('e'));
  c.ctrlShiftL = ctx.ctrlShift && pressed(Letter('l'));
  c.ctrlShiftV = ctx.ctrlShift && pressed(Letter('v'));

  c.deletePressed = ctx.none && pressed(Delete);
  c.insertPressed = ctx.none && pressed(Insert);
  c.tabPressed = ctx.none && pressed(Tab);
  c.shiftTab = ctx.shift && pressed(Tab);

  c.ctrlS = ctrl && pressed(Letter('s'));
  c.ctrlL = ctrl && pressed(Letter('l'));
  c.ctrlE = ctrl && pressed(Letter('e'));
  c.ctrlF = ctrl && pressed(Letter('f'));
  c.ctrlB = ctrl && pressed(Letter('b'));
  c.ctrlA = ctrl && pressed(Letter('a'));
  c.altS = ctx.alt && pressed(Letter('s'));
  c.altM = ctx.alt && pressed(Letter('m'));
  c.altE = ctx.alt && pressed(Letter('e'));
  c.altL = ctx.alt && pressed(Letter('l'));
  c.altF = ctx.alt && pressed(Letter('f'));
  c.altQ = ctx.alt && pressed(Letter('q'));
  c.altG = ctx.alt && pressed(Letter('g'));
  c.altZ = ctx.alt && pressed(Z);
  c.altY = ctx.alt && pressed(Y);
  c.altX = ctx.alt && pressed(Letter('x'));
  c.altT = ctx.alt && pressed(Letter('t'));
  c.altW = ctx.alt && pressed(Letter('w'));
  c.ctrlI = ctrl && pressed(Letter('i'));
  c.ctrlJ = ctrl && pressed(Letter('j'));
  c.ctrlY = ctrl && pressed(Y);
  c.ctrlP = ctrl && pressed(Letter('p'));

  c.backspacePressed = ctx.none && pressed(Backspace);
  c.escapePressed = ctx.none && pressed(Escape);
  c.shiftEscape = ctx.shift && pressed(Escape);

  c.quit = ctx.ctrlShift && pressed(Letter('q'));
  c.ctrlShiftI = ctx.ctrlShift && pressed(Letter('i'));
  c.altShiftM = ctx.altShift && pressed(Letter('m'));

  c.altPageUp = ctx.alt && pressed(PageUp);
  c.altPageDown = ctx.alt && pressed(PageDown);
  c.altShiftPageUp = ctx.altShift && pressed(PageUp);
  c.altShiftPageDown = ctx.altShift && pressed(PageDown);
  c.ctrlPageUp = ctx.ctrl && pressed(PageUp);
  c.ctrlPageDown = ctx.ctrl && pressed(PageDown);
  c.ctrlShiftPageUp = ctx.ctrlShift && pressed(PageUp);
  c.ctrlShiftPageDown = ctx.ctrlShift && pressed(PageDown);
  c.shiftPageUp = ctx.shift && pressed(PageUp);
  c.shiftPageDown = ctx.shift && pressed(PageDown);
  c.ctrlAltPageUp = ctx.ctrlAlt && pressed(PageUp);
  c.ctrlAltPageDown = ctx.ctrlAlt && pressed(PageDown);

  c.leftHeld = ctx.none && held(Left);
  c.rightHeld = ctx.none && held(Right);
  c.upHeld = ctx.none && held(Up);
  c.downHeld = ctx.none && held(Down);
}

void Keyboard::FillPianoAndLatches() {
  const Context ctx = ContextOf(keys);
  Controls& c = controls;
  auto pressed = [this](int slot) { return keys[slot] && !keysBefore[slot]; };
  auto released = [this](int slot) { return !keys[slot] && keysBefore[slot]; };

  // A press counts only without modifiers (Shift+A is a command, not a note), and only a
  // counted press is followed by a release, whatever is held when the key goes up.
  for (int i = 0; i < kPianoKeys; ++i) {
    const int slot = kPianoSlots[i];
    c.pianoHeld[i] = keys[slot] != 0;
    if (ctx.none && pressed(slot)) {
      c.pianoPressed[i] = true;
      noteKeyLatch[i] = 1;
    } else if (released(slot) && noteKeyLatch[i]) {
      c.pianoReleased[i] = true;
      noteKeyLatch[i] = 0;
    }
  }

  if (ctx.none && pressed(Insert)) {
    c.insertDown = true;
    insertLatch = 1;
  } else if (released(Insert) && insertLatch) {
    c.insertUp = true;
    insertLatch = 0;
  }
  if (ctx.none && pressed(Delete)) {
    c.deleteDown = true;
    deleteLatch = 1;
  } else if (released(Delete) && deleteLatch) {
    c.deleteUp = true;
    deleteLatch = 0;
  }

  if (ctx.shift && pressed(Insert)) {
    c.shiftInsertDown = true;
    shiftInsertLatch = 1;
  } else if (released(Insert) && shiftInsertLatch) {
    c.shiftInsertUp = true;
    shiftInsertLatch = 0;
  }
  if (keys[LeftShift] && pressed(RightShift)) {
    c.shiftRightShiftDown = true;
    rightShiftLatch = 1;
  } else if (released(RightShift) && rightShiftLatch) {
    c.shiftRightShiftUp = true;
    rightShiftLatch = 0;
  }
}
