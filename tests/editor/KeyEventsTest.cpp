// SPDX-License-Identifier: LGPL-2.1-or-later
#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

#include "devices/Keyboard.h"
#include "tests/devices/MidiPeer.h"
#include "tests/editor/SequencerFixture.h"
#include "tests/support/ChildProcess.h"

// Xlib last: its macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace zs::test {
namespace {

class KeyEventsTest : public SequencerFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(UseTestServers());
    SequencerFixture::SetUp();
    RecordSentNotes();
    display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    ASSERT_EQ(std::system("setxkbmap us"), 0);
    window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 100, 0, 0, 0);
    XSelectInput(display, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask | FocusChangeMask);
    XMapRaised(display, window);
    XEvent event;
    do XWindowEvent(display, window, StructureNotifyMask, &event);
    while (event.type != MapNotify);
    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    keyboard = std::make_unique<Keyboard>(display, false);
    Type();
  }
  void TearDown() override {
    if (display) {
      for (KeySym sym : down) XTestFakeKeyEvent(display, XKeysymToKeycode(display, sym), False, CurrentTime);
      XCloseDisplay(display);
    }
    SequencerFixture::TearDown();
  }

  void Type(const std::vector<KeySym>& press = {}, const std::vector<KeySym>& release = {}) {
    auto frame = [this] {
      XSync(display, False);
      WindowInfo info;
      Frame(keyboard->Read(info));
    };
    for (KeySym sym : press) {
      XTestFakeKeyEvent(display, XKeysymToKeycode(display, sym), True, CurrentTime);
      down.push_back(sym);
      frame();
    }
    for (KeySym sym : release) {
      XTestFakeKeyEvent(display, XKeysymToKeycode(display, sym), False, CurrentTime);
      std::erase(down, sym);
      frame();
    }
    if (press.empty() && release.empty()) frame();
  }
  void Chord(const std::vector<KeySym>& keys) { Type(keys, std::vector<KeySym>(keys.rbegin(), keys.rend())); }
  bool AnyColumnLit() {
    for (int column = 0; column < Sequencer::kNoteColumns; ++column)
      if (seq->GetNoteKeyHeld(column)) return true;
    return false;
  }

  Display* display = nullptr;
  Window window = 0;
  std::unique_ptr<Keyboard> keyboard;
  std::vector<KeySym> down;
};

// I, V and X are note-key positions: the command's own letter is held, yet no note is. What the commands
// do and that a note key held as a note blocks them is in MixerTest.
TEST_F(KeyEventsTest, MixerCommandsWorkWhileTheirLetterIsDown) {
  Subpage(SubpageMixer);
  Chord({XK_Alt_L, XK_l});
  ASSERT_EQ(seq->GetMixerParam(), 303);
  Store()->SetTrackLayer(0, 4);
  Chord({XK_Alt_L, XK_x});
  EXPECT_EQ(Store()->GetTrackLayer(0), 0);
  Chord({XK_Alt_L, XK_i});
  Chord({XK_Control_L, XK_Shift_L, XK_i});
  ExpectMessage("PITCH CHANGES APPLIED", false);
  Chord({XK_Alt_L, XK_v});
  Chord({XK_Control_L, XK_Shift_L, XK_v});
  ExpectMessage("VELOCITY CHANGES APPLIED", false);
}

TEST_F(KeyEventsTest, HeldCommandLettersLightNoKeyAndReleasesEndNotesInTheAttributeEditor) {
  Type({XK_Control_L, XK_n});
  EXPECT_FALSE(AnyColumnLit()) << "a held command letter is not a held note";
  Type({}, {XK_n, XK_Control_L});
  ASSERT_EQ(NotesAt(0, 0, 0), 1);

  Type({XK_a});  // pitch 60
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(AnyColumnLit());
  Type({XK_Delete}, {XK_Delete});  // the attribute editor
  Type({}, {XK_a});
  Type({XK_9}, {XK_9});
  Type({XK_Return}, {XK_Return});
  EXPECT_EQ(At(0, 48).velocity, 9) << "the editor was open";
  ASSERT_EQ(sent.size(), 2u) << "the release while the editor was open ended the note";
  EXPECT_FALSE(sent[1].on);
  EXPECT_EQ(sent[1].note, 60);
}

using namespace std::chrono_literals;

class LiveMidiTest : public SequencerFixture {
 protected:
  void SetUp() override {}

  // JACK drops a period's messages now and then on a loaded machine: the message is sent again.
  bool PlayUntilSent(const Bytes& message, bool on, int velocity) {
    return Retry(4, [&] {
      peer.Play(message);
      return WaitUntil(
          [&] {
            Frame(Controls{});
            for (const SentNote& n : sent)
              if (n.on == on && n.note == message[1] && (!on || n.velocity == velocity)) return true;
            return false;
          },
          300ms, 1ms);
    });
  }

  MidiPeer peer;
};

TEST_F(LiveMidiTest, KeysOfAJackKeyboardPlayWithTheVelocityScaledToItsMaximum) {
  ASSERT_TRUE(UseTestServers());
  ASSERT_TRUE(peer.Open("keys", "synth"));
  EnterFolder(1);
  Restart({.midiInput = peer.KeysPort(), .maxVelocity = 100});
  RecordSentNotes();
  Tap(&Controls::altZ);
  Tap(&Controls::altY);
  EXPECT_TRUE(PlayUntilSent({0x90, 64, 50}, true, 63));
  EXPECT_TRUE(PlayUntilSent({0x80, 64, 0}, false, 0));
}

}  // namespace
}  // namespace zs::test
