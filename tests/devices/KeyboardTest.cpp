// SPDX-License-Identifier: LGPL-2.1-or-later
// Keyboard::Read against a real X server: a plain window of our own, keys typed through XTest
// on a second connection (the "person"), frames read as the sequencer thread reads them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <unistd.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "devices/Keyboard.h"
#include "devices/KeyboardLayout.h"
#include "tests/support/TestServers.h"

namespace {

// Piano key indices used below (bottom row first).
constexpr int kPianoY = 1, kPianoA = 12, kPianoS = 13;

bool IsEmpty(const Controls& c) { return c == Controls{}; }

// Xvfb resets itself whenever its last client leaves, and refuses connections meanwhile.
Display* OpenDisplay() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (Display* display = XOpenDisplay(nullptr)) return display;
    usleep(100000);
  }
  return nullptr;
}

bool SetLayout(const char* layout) {
  return std::system((std::string("setxkbmap ") + layout).c_str()) == 0;
}

class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(zs::test::UseTestServers());
    person = OpenDisplay();
    display = OpenDisplay();
    ASSERT_TRUE(display != nullptr && person != nullptr);
    int unused;
    ASSERT_TRUE(XTestQueryExtension(person, &unused, &unused, &unused, &unused));
    ASSERT_TRUE(SetLayout("us"));

    window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 320, 200, 0, 0, 0);
    XSelectInput(display, window,
                 KeyPressMask | KeyReleaseMask | ButtonPressMask | StructureNotifyMask | FocusChangeMask);
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XMapRaised(display, window);
    XEvent event;
    do XWindowEvent(display, window, StructureNotifyMask, &event);
    while (event.type != MapNotify);
    Focus();
    keyboard = std::make_unique<Keyboard>(display, false);
    Frame();
  }

  void TearDown() override {
    if (person != nullptr) {
      for (KeyCode code : down) XTestFakeKeyEvent(person, code, False, CurrentTime);
      XSync(person, False);
      SetLayout("us");
      XCloseDisplay(person);
    }
    keyboard.reset();
    if (display != nullptr) XCloseDisplay(display);
  }

  void Focus() {
    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
  }

  // Keycodes are taken from the US layout, so they name physical keys.
  KeyCode Code(KeySym sym) { return XKeysymToKeycode(person, sym); }
  void DownCode(KeyCode code) {
    XTestFakeKeyEvent(person, code, True, CurrentTime);
    down.insert(code);
  }
  void UpCode(KeyCode code) {
    XTestFakeKeyEvent(person, code, False, CurrentTime);
    down.erase(code);
  }
  void Down(KeySym sym) { DownCode(Code(sym)); }
  void Up(KeySym sym) { UpCode(Code(sym)); }
  // A key going down or up in a frame of its own, as a person types.
  Controls Press(KeySym sym) {
    Down(sym);
    return Frame();
  }
  Controls Release(KeySym sym) {
    Up(sym);
    return Frame();
  }

  // One sequencer frame: everything the person typed so far has reached our queue.
  Controls Frame() {
    XSync(person, False);
    XSync(display, False);
    return keyboard->Read(info);
  }

  Display* display = nullptr;
  Display* person = nullptr;
  Window window = 0;
  std::unique_ptr<Keyboard> keyboard;
  WindowInfo info;
  std::set<KeyCode> down;
};

TEST_F(KeyboardTest, ModifierContextsSelectExactlyOneCombination) {
  Down(XK_Control_L);
  Press(XK_Alt_L);
  Controls c = Press(XK_Prior);
  EXPECT_TRUE(c.ctrlAltPageUp);
  EXPECT_FALSE(c.ctrlPageUp || c.altPageUp || c.pageUpPressed || c.ctrlShiftPageUp);
  EXPECT_EQ(c.pageUpCount, 1);
  EXPECT_FALSE(Frame().ctrlAltPageUp) << "pressed only in the frame it went down";
  Up(XK_Prior);
  Up(XK_Alt_L);
  Release(XK_Control_L);

  EXPECT_TRUE(Press(XK_Control_R).rightCtrlPressed);
  EXPECT_TRUE(Press(XK_F1).f1Pressed) << "Right Ctrl does not spoil the plain context";
  Up(XK_F1);
  Press(XK_Shift_L);
  c = Press(XK_1);
  EXPECT_FALSE(c.shiftNumberRow[0]) << "Right Ctrl and Left Shift are two modifiers";
  EXPECT_TRUE(c.digitPressed[1]) << "digits ignore the modifiers";
  Up(XK_1);
  Release(XK_Control_R);
  EXPECT_TRUE(Press(XK_1).shiftNumberRow[0]);
  Up(XK_1);
  Release(XK_Shift_L);
}

TEST_F(KeyboardTest, CursorKeysCountEveryPressAndReportHeldStates) {
  // Key repeat as the server sends it without detectable auto-repeat: release/press pairs.
  for (KeySym sym : {XK_Right, XK_Next}) {
    for (int press = 0; press < 3; ++press) {
      if (press > 0) Up(sym);
      Down(sym);
    }
  }
  Controls c = Frame();
  EXPECT_EQ(c.rightCount, 3);
  EXPECT_EQ(c.pageDownCount, 3);
  EXPECT_TRUE(c.rightHeld && c.pageDownPressed);
  EXPECT_EQ(c.leftCount + c.upCount + c.downCount + c.pageUpCount, 0);
  c = Frame();
  EXPECT_EQ(c.rightCount + c.pageDownCount, 0);
  EXPECT_FALSE(c.pageDownPressed) << "one pressed flag for the three presses";
  EXPECT_TRUE(c.rightHeld) << "held keys stay held across frames";
  c = Press(XK_Control_L);
  EXPECT_TRUE(c.ctrlRightHeld);
  EXPECT_FALSE(c.rightHeld);
}

TEST_F(KeyboardTest, GermanAndUsLayoutsGiveTheSamePositions) {
  const KeyCode yPosition = Code(XK_z);
  auto check = [&](const char* layout) {
    SCOPED_TRACE(layout);
    DownCode(yPosition);
    EXPECT_TRUE(Frame().pianoPressed[kPianoY]);
    UpCode(yPosition);
    Press(XK_Control_L);
    DownCode(yPosition);
    EXPECT_TRUE(Frame().ctrlY);
    UpCode(yPosition);
    Release(XK_Control_L);
  };
  check("us");
  EXPECT_FALSE(IsGermanLayout(ActiveKeyboardLayout(display))) << ActiveKeyboardLayout(display);
  ASSERT_TRUE(SetLayout("de"));
  // Without -g the program takes the German table because X says the layout is German.
  EXPECT_TRUE(IsGermanLayout(ActiveKeyboardLayout(display))) << ActiveKeyboardLayout(display);
  keyboard = std::make_unique<Keyboard>(display, true);
  check("de");
}

TEST_F(KeyboardTest, CtrlKCommandsTakeTheSecondLetterWhileCtrlIsHeld) {
  const std::string waiting = "*** WAITING FOR B,K,C,Y,H,U,M,A,S,R,T,Q,D,N\n";
  Controls c;
  std::string out = zs::test::Captured([&] {
    Down(XK_Control_L);
    Press(XK_k);
    Release(XK_k);
    c = Press(XK_b);
    Up(XK_b);
    Release(XK_Control_L);
  });
  EXPECT_EQ(out, waiting + "** CTRL KB\n");
  EXPECT_TRUE(c.ctrlKB);
  EXPECT_FALSE(c.ctrlB) << "the letter of a Ctrl-K command is not also Ctrl+B";

  out = zs::test::Captured([&] {
    Down(XK_Control_L);
    Press(XK_k);
    Up(XK_k);
    Press(XK_Shift_L);
    Up(XK_Shift_L);
    c = Press(XK_b);
  });
  EXPECT_EQ(out, waiting + "bCtrlK OFF\n");
  EXPECT_FALSE(c.ctrlKB) << "the wait ended with Shift";
  EXPECT_TRUE(c.ctrlB);
}

TEST_F(KeyboardTest, PianoKeysReportPressAndReleaseOnlyForPlainPresses) {
  Controls c = Press(XK_a);
  EXPECT_TRUE(c.pianoPressed[kPianoA] && c.pianoHeld[kPianoA]);
  c = Frame();
  EXPECT_FALSE(c.pianoPressed[kPianoA]);
  EXPECT_TRUE(c.pianoHeld[kPianoA]);
  Press(XK_Shift_L);
  EXPECT_TRUE(Release(XK_a).pianoReleased[kPianoA]) << "a reported press is released whatever is held";
  EXPECT_FALSE(Press(XK_a).pianoPressed[kPianoA]) << "Shift+A is a command, not a note";
  Release(XK_Shift_L);
  EXPECT_FALSE(Release(XK_a).pianoReleased[kPianoA]);
}

TEST_F(KeyboardTest, FocusLossForgetsHeldKeysAndReleasesSoundingNotes) {
  Press(XK_s);
  Press(XK_Control_L);
  Window other = XCreateSimpleWindow(person, DefaultRootWindow(person), 400, 0, 50, 50, 0, 0, 0);
  XMapRaised(person, other);
  XSync(person, False);
  Controls c;
  std::string out = zs::test::Captured([&] {
    XSetInputFocus(person, other, RevertToPointerRoot, CurrentTime);
    c = Frame();
  });
  EXPECT_EQ(out, "** focus lost\n");
  EXPECT_FALSE(c.pianoHeld[kPianoS]);
  EXPECT_TRUE(c.pianoReleased[kPianoS]) << "the note must not hang";
  Up(XK_s);
  Up(XK_Control_L);
  Focus();
  EXPECT_TRUE(IsEmpty(Frame())) << "no second release, no leftover Ctrl";
  EXPECT_TRUE(Press(XK_s).pianoPressed[kPianoS]);
}

TEST_F(KeyboardTest, CloseClickAndCtrlShiftQQuitButWheelAndF6DoNothing) {
  EXPECT_TRUE(IsEmpty(Press(XK_F6)));
  Release(XK_F6);

  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(person, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(person, "WM_DELETE_WINDOW", False));
  XSendEvent(person, window, False, NoEventMask, &close);
  EXPECT_TRUE(Frame().quit);
  EXPECT_FALSE(Frame().quit);

  XTestFakeMotionEvent(person, DefaultScreen(person), 100, 100, CurrentTime);
  XTestFakeButtonEvent(person, 4, True, CurrentTime);  // wheel
  XTestFakeButtonEvent(person, 4, False, CurrentTime);
  EXPECT_FALSE(Frame().quit);
  XTestFakeButtonEvent(person, 1, True, CurrentTime);
  XTestFakeButtonEvent(person, 1, False, CurrentTime);
  EXPECT_TRUE(Frame().quit);

  Down(XK_Control_L);
  Press(XK_Shift_L);
  EXPECT_TRUE(Press(XK_q).quit);
}
}  // namespace
