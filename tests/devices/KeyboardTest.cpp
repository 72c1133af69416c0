// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "devices/Keyboard.h"
#include "devices/KeyboardLayout.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestServers.h"

namespace {

constexpr int kPianoY = 1, kPianoA = 12, kPianoS = 13;

// Xvfb resets itself whenever its last client leaves, and refuses connections meanwhile.
Display* OpenDisplay() {
  Display* display = nullptr;
  zs::test::WaitUntil([&] { return (display = XOpenDisplay(nullptr)) != nullptr; }, std::chrono::seconds(5));
  return display;
}

bool SetLayout(const std::string& layout) { return std::system(("setxkbmap " + layout).c_str()) == 0; }

class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(zs::test::UseTestServers());
    person = OpenDisplay();
    display = OpenDisplay();
    ASSERT_TRUE(display != nullptr && person != nullptr);
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
    if (person != nullptr) {  // no key stays down on the shared display, whatever failed
      for (int code = 8; code < 256; ++code) Key(KeyCode(code), false);
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

  // Taken from the US layout, so they name physical keys.
  KeyCode Code(KeySym sym) { return XKeysymToKeycode(person, sym); }
  void Key(KeyCode code, bool down) { XTestFakeKeyEvent(person, code, down, CurrentTime); }
  void Down(KeySym sym) { Key(Code(sym), true); }
  void Up(KeySym sym) { Key(Code(sym), false); }
  Controls Press(KeySym sym) {
    Down(sym);
    return Frame();
  }
  Controls Release(KeySym sym) {
    Up(sym);
    return Frame();
  }
  Controls Chord(const std::vector<KeySym>& modifiers, KeyCode key) {
    for (KeySym m : modifiers) Press(m);
    Key(key, true);
    const Controls c = Frame();
    Key(key, false);
    for (KeySym m : modifiers) Release(m);
    return c;
  }
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
};

TEST_F(KeyboardTest, CursorKeysCountEveryPressAndCtrlMovesTheHeldKeyToItsContext) {
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
  for (const char* layout : {"us", "de"}) {
    ASSERT_TRUE(SetLayout(layout));
    // Without -g the program takes the German table because X says the layout is German.
    EXPECT_EQ(IsGermanLayout(ActiveKeyboardLayout(display)), layout[0] == 'd') << ActiveKeyboardLayout(display);
    keyboard = std::make_unique<Keyboard>(display, layout[0] == 'd');
    EXPECT_TRUE(Chord({}, yPosition).pianoPressed[kPianoY]) << layout;
    EXPECT_TRUE(Chord({XK_Control_L}, yPosition).ctrlY) << layout;
  }
}

TEST_F(KeyboardTest, PianoKeysReportPressHoldAndReleaseAndFocusLossReleasesThem) {
  Controls c = Press(XK_a);
  EXPECT_TRUE(c.pianoPressed[kPianoA] && c.pianoHeld[kPianoA]);
  c = Frame();
  EXPECT_FALSE(c.pianoPressed[kPianoA]);
  EXPECT_TRUE(c.pianoHeld[kPianoA]);
  EXPECT_TRUE(Release(XK_a).pianoReleased[kPianoA]);

  Press(XK_s);
  Press(XK_Control_L);
  Window other = XCreateSimpleWindow(person, DefaultRootWindow(person), 400, 0, 50, 50, 0, 0, 0);
  XMapRaised(person, other);
  XSync(person, False);
  EXPECT_EQ(zs::test::Captured([&] {
              XSetInputFocus(person, other, RevertToPointerRoot, CurrentTime);
              c = Frame();
            }),
            "** focus lost\n");
  EXPECT_FALSE(c.pianoHeld[kPianoS]);
  EXPECT_TRUE(c.pianoReleased[kPianoS]) << "the note must not hang";
  Up(XK_s);
  Up(XK_Control_L);
  Focus();
  EXPECT_EQ(Frame(), Controls{}) << "no second release, no leftover Ctrl";
  EXPECT_TRUE(Press(XK_s).pianoPressed[kPianoS]);
}

TEST_F(KeyboardTest, WindowCloseQuitsOnce) {
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(person, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(person, "WM_DELETE_WINDOW", False));
  XSendEvent(person, window, False, NoEventMask, &close);
  EXPECT_TRUE(Frame().quit);
  EXPECT_FALSE(Frame().quit);
}
}  // namespace
