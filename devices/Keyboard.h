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

// The keys of one frame, built by Keyboard::Read and passed by value to the editor.
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
  bool returnPressed;
  bool shiftReturn;
  bool spacePressed;
  bool shiftSpace;
  bool rightCtrlPressed;
  bool ctrlReturn;
  bool altReturn;

  bool f1Pressed;
  bool f5Pressed;
  bool f7Pressed;
  bool f8Pressed;
  bool f9Pressed;
  bool f10Pressed;
  bool f11Pressed;

  bool shiftLeftHeld;
  bool shiftRightHeld;
  bool shiftUpHeld;
  bool shiftDownHeld;

  bool digitPressed[10];  // digit keys 0..9 with any modifiers, indexed by the digit
  bool altGrDigit[8];     // AltGr+1..8, index 0 is AltGr+1
  bool altGrQ;
  bool altGrW;
  bool altGrE;
  bool altGrR;
  bool altGrT;
  bool altGrZ;
  bool altGrU;
  bool altGrI;

  bool altKeypadPlus;
  bool altKeypadMinus;
  bool altShiftKeypadPlus;
  bool altShiftKeypadMinus;
  bool ctrlKeypadPlus;
  bool ctrlKeypadMinus;
  bool ctrlShiftKeypadPlus;
  bool ctrlShiftKeypadMinus;
  bool shiftKeypadPlus;
  bool shiftKeypadMinus;
  bool shiftPlus;
  bool shiftMinus;

  bool altB;
  bool altV;
  bool altO;
  bool altP;
  bool altR;
  bool altU;
  bool altC;
  bool altI;

  bool ctrlLeftHeld;
  bool ctrlRightHeld;
  bool ctrlUpHeld;
  bool ctrlDownHeld;
  bool altLeftHeld;
  bool altRightHeld;
  bool altUpHeld;
  bool altDownHeld;
  bool altShiftLeftHeld;
  bool altShiftRightHeld;
  bool altShiftUpHeld;
  bool altShiftDownHeld;
  bool ctrlShiftLeftHeld;
  bool ctrlShiftRightHeld;
  bool ctrlShiftUpHeld;
  bool ctrlShiftDownHeld;

  bool pageUpPressed;
  bool pageDownPressed;

  bool shiftNumberRow[10];  // Shift+1..9 then Shift+0, in keyboard order
  bool shiftQ;
  bool shiftW;
  bool ctrlDigit[8];  // Ctrl+1..8, index 0 is Ctrl+1
  bool altDigit[9];   // Alt+0..8, indexed by the digit

  bool keypadPlusPressed;
  bool keypadMinusPressed;
  bool shiftF;
  bool shiftO;

  bool ctrlC;
  bool ctrlV;
  bool ctrlM;
  bool ctrlX;
  bool ctrlN;
  bool ctrlT;
  bool ctrlO;
  bool ctrlG;
  bool altShiftX;
  bool ctrlShiftB;
  bool ctrlShiftE;
  bool ctrlShiftL;
  bool ctrlShiftV;

  bool deletePressed;
  bool insertPressed;
  bool tabPressed;
  bool shiftTab;

  bool ctrlS;
  bool ctrlL;
  bool ctrlE;
  bool ctrlF;
  bool ctrlB;
  bool ctrlA;
  bool altS;
  bool altM;
  bool altE;
  bool altL;
  bool altF;
  bool altQ;
  bool altG;
  bool altZ;
  bool altY;
  bool altX;
  bool altT;
  bool ctrlI;
  bool ctrlJ;
  bool ctrlY;
  bool ctrlP;

  bool backspacePressed;
  bool escapePressed;

  // Two-key commands: Left Ctrl held, K tapped, then the letter tapped.
  bool ctrlKB;
  bool ctrlKK;
  bool ctrlKC;
  bool ctrlKY;
  bool ctrlKH;
  bool ctrlKU;
  bool ctrlKM;
  bool ctrlKA;
  bool ctrlKS;
  bool ctrlKR;
  bool ctrlKT;
  bool ctrlKQ;
  bool ctrlKD;
  bool ctrlKN;

  // Window closed, mouse click in the window, or Ctrl+Shift+Q.
  bool quit;

  bool ctrlShiftI;
  bool altShiftM;

  bool altPageUp;
  bool altPageDown;
  bool altShiftPageUp;
  bool altShiftPageDown;
  bool ctrlPageUp;
  bool ctrlPageDown;
  bool ctrlShiftPageUp;
  bool ctrlShiftPageDown;
  bool shiftPageUp;
  bool shiftPageDown;
  bool ctrlAltPageUp;
  bool ctrlAltPageDown;

  bool leftHeld;
  bool rightHeld;
  bool upHeld;
  bool downHeld;

  // Key-press events received during the frame, auto-repeat included, whatever the modifiers.
  int32_t leftCount;
  int32_t rightCount;
  int32_t upCount;
  int32_t downCount;
  int32_t pageUpCount;
  int32_t pageDownCount;

  // Piano keys, four rows of 12 from the bottom row up (see Keyboard.cpp for the keys).
  // pianoPressed needs no modifier held; pianoReleased follows only a reported press.
  bool pianoHeld[kPianoKeys];
  bool pianoPressed[kPianoKeys];
  bool pianoReleased[kPianoKeys];

  bool insertDown;        // Insert pressed without modifiers
  bool insertUp;          // Insert released after insertDown
  bool shiftInsertDown;   // Insert pressed with Left Shift alone
  bool shiftInsertUp;     // Insert released after shiftInsertDown
  bool deleteDown;        // Delete pressed without modifiers
  bool deleteUp;          // Delete released after deleteDown
  bool shiftRightShiftDown;  // Right Shift pressed while Left Shift is held
  bool shiftRightShiftUp;    // Right Shift released after shiftRightShiftDown
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
