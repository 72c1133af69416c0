// SPDX-License-Identifier: LGPL-2.1-or-later
// Live notes from a MIDI keyboard, end to end: a JACK peer plays into the sequencer's MIDI
// input (-i) and the notes come out of the player. What the keys do once read is in
// LiveNotesTest; here the port is the point.
#include <chrono>

#include "tests/devices/MidiPeer.h"
#include "tests/editor/SequencerFixture.h"
#include "tests/support/ChildProcess.h"

namespace zs::test {
namespace {

using namespace std::chrono_literals;

class LiveMidiTest : public SequencerFixture {
 protected:
  void SetUp() override {}

  // Whether `note` went out as a note-on (`on`) or note-off with this velocity, frames running.
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
  Tap(&Controls::altZ);  // scale lock off: notes play as they come
  Tap(&Controls::altY);  // the played velocity, not the track's
  EXPECT_TRUE(PlayUntilSent({0x90, 64, 50}, true, 63));
  EXPECT_TRUE(PlayUntilSent({0x80, 64, 0}, false, 0));
  EXPECT_TRUE(PlayUntilSent({0x90, 60, 110}, true, 127));
}

}  // namespace
}  // namespace zs::test
