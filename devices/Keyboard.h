// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>

// Xlib's own spelling of the display type, so that users of Controls do not pull in Xlib and
// its macros (None, True, Status ...).
typedef struct _XDisplay Display;

// A new window size in pixels, reported by Keyboard::Read; {0, 0} when the window kept its size.
struct WindowInfo {
  int32_t width = 0;
  int32_t height = 0;
};

constexpr int kPianoKeys = 48;

// The keys of one frame, built by Keyboard::Read and passed by value to the editor. All
// fields start false / 0.
//
// Naming: "Pressed" fields and the bare combinations (ctrlC, altShiftX ...) are true in the
// frame in which the last key of the combination went down; "Held" fields are true while the
// keys are down. A combination needs its modifiers and no others: ctrlC is Left Ctrl alone,
// ctrlShiftB is Left Ctrl and Left Shift without Left Alt, ctrlAltPageUp exactly Left Ctrl and
// Left Alt. The plain keys (returnPressed, f1Pressed ...) need no Left Shift, Left Ctrl, Left
// Alt, AltGr or the key left of 1; Right Ctrl does not count. Right Shift is a piano key, not
// a modifier. Letters name the key at that position on a German keyboard: y is the key left of
// x (Z on a US keyboard), z the key right of t; plus and minus are the German + and - keys
// (US ] and /).
struct Controls {
  bool returnPressed = false;
  bool shiftReturn = false;
  bool spacePressed = false;
  bool shiftSpace = false;
  bool rightCtrlPressed = false;
  bool ctrlReturn = false;
  bool altReturn = false;

  bool f1Pressed = false;
  bool f5Pressed = false;
  bool f7Pressed = false;
  bool f8Pressed = false;
  bool f9Pressed = false;
  bool f10Pressed = false;
  bool f11Pressed = false;

  bool shiftLeftHeld = false;
  bool shiftRightHeld = false;
  bool shiftUpHeld = false;
  bool shiftDownHeld = false;

  bool digitPressed[10] = {};  // digit keys 0..9 with any modifiers, indexed by the digit
  bool altGrDigit[8] = {};     // AltGr+1..8, index 0 is AltGr+1
  bool altGrQ = false;
  bool altGrW = false;
  bool altGrE = false;
  bool altGrR = false;
  bool altGrT = false;
  bool altGrZ = false;
  bool altGrU = false;
  bool altGrI = false;

  bool altKeypadPlus = false;
  bool altKeypadMinus = false;
  bool altShiftKeypadPlus = false;
  bool altShiftKeypadMinus = false;
  bool ctrlKeypadPlus = false;
  bool ctrlKeypadMinus = false;
  bool ctrlShiftKeypadPlus = false;
  bool ctrlShiftKeypadMinus = false;
  bool shiftKeypadPlus = false;
  bool shiftKeypadMinus = false;
  bool shiftPlus = false;
  bool shiftMinus = false;

  bool altB = false;
  bool altV = false;
  bool altO = false;
  bool altP = false;
  bool altR = false;
  bool altU = false;
  bool altC = false;
  bool altI = false;

  bool ctrlLeftHeld = false;
  bool ctrlRightHeld = false;
  bool ctrlUpHeld = false;
  bool ctrlDownHeld = false;
  bool altLeftHeld = false;
  bool altRightHeld = false;
  bool altUpHeld = false;
  bool altDownHeld = false;
  bool altShiftLeftHeld = false;
  bool altShiftRightHeld = false;
  bool altShiftUpHeld = false;
  bool altShiftDownHeld = false;
  bool ctrlShiftLeftHeld = false;
  bool ctrlShiftRightHeld = false;
  bool ctrlShiftUpHeld = false;
  bool ctrlShiftDownHeld = false;

  bool pageUpPressed = false;
  bool pageDownPressed = false;

  bool shiftNumberRow[10] = {};  // Shift+1..9 then Shift+0, in keyboard order
  bool shiftQ = false;
  bool shiftW = false;
  bool ctrlDigit[8] = {};  // Ctrl+1..8, index 0 is Ctrl+1
  bool altDigit[9] = {};   // Alt+0..8, indexed by the digit

  bool keypadPlusPressed = false;
  bool keypadMinusPressed = false;
  bool shiftF = false;
  bool shiftO = false;

  bool ctrlC = false;
  bool ctrlV = false;
  bool ctrlM = false;
  bool ctrlX = false;
  bool ctrlN = false;
  bool ctrlT = false;
  bool ctrlO = false;
  bool ctrlG = false;
  bool altShiftX = false;
  bool ctrlShiftB = false;
  bool ctrlShiftE = false;
  bool ctrlShiftL = false;
  bool ctrlShiftV = false;

  bool deletePressed = false;
  bool insertPressed = false;
  bool tabPressed = false;
  bool shiftTab = false;

  bool ctrlS = false;
  bool ctrlL = false;
  bool ctrlE = false;
  bool ctrlF = false;
  bool ctrlB = false;
  bool ctrlA = false;
  bool altS = false;
  bool altM = false;
  bool altE = false;
  bool altL = false;
  bool altF = false;
  bool altQ = false;
  bool altG = false;
  bool altZ = false;
  bool altY = false;
  bool altX = false;
  bool altT = false;
  bool ctrlI = false;
  bool ctrlJ = false;
  bool ctrlY = false;
  bool ctrlP = false;

  bool backspacePressed = false;
  bool escapePressed = false;
  bool shiftEscape = false;
  bool altW = false;

  // Two-key commands: Left Ctrl held, K tapped, then the letter tapped.
  bool ctrlKB = false;
  bool ctrlKK = false;
  bool ctrlKC = false;
  bool ctrlKY = false;
  bool ctrlKH = false;
  bool ctrlKU = false;
  bool ctrlKM = false;
  bool ctrlKA = false;
  bool ctrlKS = false;
  bool ctrlKR = false;
  bool ctrlKT = false;
  bool ctrlKQ = false;
  bool ctrlKD = false;
  bool ctrlKN = false;

  // Window closed, mouse click in the window, or Ctrl+Shift+Q.
  bool quit = false;

  bool ctrlShiftI = false;
  bool altShiftM = false;

  bool altPageUp = false;
  bool altPageDown = false;
  bool altShiftPageUp = false;
  bool altShiftPageDown = false;
  bool ctrlPageUp = false;
  bool ctrlPageDown = false;
  bool ctrlShiftPageUp = false;
  bool ctrlShiftPageDown = false;
  bool shiftPageUp = false;
  bool shiftPageDown = false;
  bool ctrlAltPageUp = false;
  bool ctrlAltPageDown = false;

  bool leftHeld = false;
  bool rightHeld = false;
  bool upHeld = false;
  bool downHeld = false;

  // Key-press events received during the frame, auto-repeat included, whatever the modifiers.
  int32_t leftCount = 0;
  int32_t rightCount = 0;
  int32_t upCount = 0;
  int32_t downCount = 0;
  int32_t pageUpCount = 0;
  int32_t pageDownCount = 0;

  // Piano keys, four rows of 12 from the bottom row up, named by the German keyboard:
  //   0..11   < Y X C V B N M , . - RightShift
  //   12..23  A S D F G H J K L Ö Ä #
  //   24..35  Q W E R T Z U I O P Ü +
  //   36..47  1 2 3 4 5 6 7 8 9 0 ß ´
  // pianoPressed needs no modifier held; pianoReleased follows only a reported press, also
  // when the window loses the focus with the key down.
  bool pianoHeld[kPianoKeys] = {};
  bool pianoPressed[kPianoKeys] = {};
  bool pianoReleased[kPianoKeys] = {};

  bool insertDown = false;        // Insert pressed without modifiers
  bool insertUp = false;          // Insert released after insertDown
  bool shiftInsertDown = false;   // Insert pressed with Left Shift alone
  bool shiftInsertUp = false;     // Insert released after shiftInsertDown
  bool deleteDown = false;        // Delete pressed without modifiers
  bool deleteUp = false;          // Delete released after deleteDown
  bool shiftRightShiftDown = false;  // Right Shift pressed while Left Shift is held
  bool shiftRightShiftUp = false;    // Right Shift released after shiftRightShiftDown

  bool operator==(const Controls&) const = default;
};

constexpr int kKeySlots = 104;

// Turns the X11 events of the program's window into one Controls record per frame.
// Keys are tracked by physical position, so the German and the US layout give the same
// record for the same fingers.
//
// Thread: Read and the destructor run on the sequencer thread only. The display is shared with
// the rendering side, so XInitThreads must have been called before the display was opened.
class Keyboard {
 public:
  // display stays owned by the caller and must outlive the keyboard. The window's input mask
  // (key press/release, button press, structure notify, focus change) is the caller's.
  Keyboard(Display* display, bool germanLayout);

  // Drains the events pending now (later ones wait for the next frame) and returns the frame's
  // record. windowInfo becomes {0, 0}, or the new size when the window was configured.
  Controls Read(WindowInfo& windowInfo);

 private:
  int SlotForKeycode(unsigned int keycode) const;
  void ProcessEvents(bool& quitRequested, WindowInfo& windowInfo);
  void LoseFocus();
  void HandleCtrlK(bool& consumedLetter);
  void FillCombinations(bool ctrlKConsumedLetter);
  void FillPianoAndLatches();

  uint8_t keys[kKeySlots] = {};  // 1 while the key in that slot is held; slots 80.. stay 0
  Controls controls = {};        // the record being built, zeroed at the start of every Read
  uint8_t noteKeyLatch[kPianoKeys] = {};  // set when a press was reported, until its release
  uint8_t insertLatch = 0;
  uint8_t deleteLatch = 0;
  uint8_t ctrlKWaiting = 0;
  Display* display = nullptr;
  bool germanLayout = false;

  // Not part of the frame record: the latches of the two releases that follow a press made
  // with Left Shift held, which the plain latches above do not see.
  uint8_t shiftInsertLatch = 0;
  uint8_t rightShiftLatch = 0;
  uint8_t keysBefore[kKeySlots] = {};  // keys as they were when this Read started
};
