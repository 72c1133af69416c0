// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>

// Slots of Keyboard::keys: one per physical key the editor knows, named after the German
// layout, and the modifier contexts built from them. Shared by the Keyboard source files only.

namespace keyslot {

enum : int {
  LeftShift = 0,
  LeftCtrl = 1,
  LeftAlt = 2,
  AltGr = 3,
  Circumflex = 4,  // key left of 1
  RightCtrl = 5,
  Return = 6,
  Space = 7,
  KeypadPlus = 8,
  KeypadMinus = 9,
  F1 = 10,  // F1..F5 in 10..14
  F7 = 15,  // F7..F12 in 15..20; F6 has no slot
  Left = 21,
  Right = 22,
  Up = 23,
  Down = 24,
  PageUp = 25,
  PageDown = 26,
  Digit0 = 27,   // digits 0..9 in 27..36
  LetterA = 37,  // letters a..x in 37..60
  Y = 61,        // left of X (US: Z)
  Z = 62,        // right of T (US: Y)
  Plus = 63,     // German + (US: ])
  Minus = 64,    // German - (US: /)
  Delete = 65,
  Insert = 66,
  Tab = 67,
  Period = 68,
  NumberSign = 69,  // German # (US: backslash)
  Backspace = 70,
  Escape = 71,
  Less = 72,  // German < left of Y
  Comma = 73,
  RightShift = 74,
  ODiaeresis = 75,  // US: ;
  ADiaeresis = 76,  // US: '
  UDiaeresis = 77,  // US: [
  SharpS = 78,      // US: -
  Acute = 79,       // US: =
};

constexpr int Digit(int d) { return Digit0 + d; }
// a..x only; y and z are swapped between the layouts and have slots of their own.
constexpr int Letter(char c) { return LetterA + (c - 'a'); }

// Piano keys: four rows of 12, bottom row first, left to right.
constexpr int kPianoSlots[48] = {
    Less,        Y,           Letter('x'), Letter('c'), Letter('v'), Letter('b'),
    Letter('n'), Letter('m'), Comma,       Period,      Minus,       RightShift,
    Letter('a'), Letter('s'), Letter('d'), Letter('f'), Letter('g'), Letter('h'),
    Letter('j'), Letter('k'), Letter('l'), ODiaeresis,  ADiaeresis,  NumberSign,
    Letter('q'), Letter('w'), Letter('e'), Letter('r'), Letter('t'), Z,
    Letter('u'), Letter('i'), Letter('o'), Letter('p'), UDiaeresis,  Plus,
    Digit(1),    Digit(2),    Digit(3),    Digit(4),    Digit(5),    Digit(6),
    Digit(7),    Digit(8),    Digit(9),    Digit(0),    SharpS,      Acute,
};

// Which modifiers a combination is made with. Right Ctrl counts towards the number of held
// modifiers but does not spoil the plain context, so Right Ctrl (record) and F1 work together.
struct Context {
  bool none;
  bool shift;
  bool ctrl;
  bool alt;
  bool altGr;
  bool ctrlShift;
  bool altShift;
  bool ctrlAlt;
};

inline Context ContextOf(const uint8_t* keys) {
  const bool shift = keys[LeftShift], ctrl = keys[LeftCtrl], alt = keys[LeftAlt];
  const bool altGr = keys[AltGr], circumflex = keys[Circumflex];
  const int count = shift + ctrl + keys[RightCtrl] + alt + altGr + circumflex;
  Context c;
  c.none = !shift && !ctrl && !alt && !altGr && !circumflex;
  c.shift = count == 1 && shift;
  c.ctrl = count == 1 && ctrl;
  c.alt = count == 1 && alt;
  c.altGr = count == 1 && altGr;
  c.ctrlShift = ctrl && shift && !alt;
  c.altShift = alt && shift && !ctrl;
  c.ctrlAlt = count == 2 && ctrl && alt;
  return c;
}

}  // namespace keyslot
