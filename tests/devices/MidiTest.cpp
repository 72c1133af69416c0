// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <algorithm>

#include "devices/MidiInput.h"
#include "devices/MidiOutput.h"
#include "tests/devices/MidiPeer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestServers.h"

namespace {

// Every output of the poll starts out wrong, so that what it leaves alone shows.
std::string Poll(MidiInput& input) {
  std::vector<NoteEvent> events{NoteEvent{}};
  NoteFlags flags;
  std::fill(std::begin(flags.held), std::end(flags.held), true);
  bool any = true, pitch = true, sustain = true, mod = true;
  int single = -2;
  input.GetEvents(events, flags, any, single, pitch, sustain, mod);
  std::string text;
  for (const NoteEvent& e : events)
    text += (e.noteOff ? "-" : "+") + std::to_string(e.note) + "v" + std::to_string(e.velocity) + "c" +
            std::to_string(e.channel) + " ";
  text += any ? "held" : "none";
  for (int n = 0; n < kMidiNotes; ++n) text += flags.held[n] ? " " + std::to_string(n) : "";
  text += single >= 0 ? " single " + std::to_string(single) : (single == -1 ? "" : " single?");
  return text + (pitch ? " pitch" : "") + (sustain ? " sustain" : "") + (mod ? " mod" : "");
}

// The sequencer polls once after each step of what RtMidi's thread hands over.
TEST(MidiCallback, KeysBecomeNoteEventsAndGesturesLatchUntilThePoll) {
  const std::pair<std::vector<Bytes>, const char*> steps[] = {
      {{{0x90, 60, 100}}, "+60v100c0 held 60 single 60"},
      {{{0x90, 72, 90}, {0x90, 64, 80}}, "+64v80c0 +72v90c0 held 60 64 72"},  // in note order
      {{{0x80, 60, 64}}, "-60v0c0 held 64 72"},  // the release velocity is not kept
      {{{0x90, 64, 0}}, "-64v0c0 held 72 single 72"},
      {{{0x90, 50, 100}, {0x80, 50, 0}}, "held 72 single 72"},  // between two polls: not seen
      {{{0x91, 60, 100}, {0xE1, 0, 0x40}, {0xB1, 64, 127}, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, {0xF0, 0x90, 0xF7},
        {0xC0, 5}, {0x90, 61}, {0x90, 62, 100, 0}, {62, 100, 0}},
       "held 72 single 72"},
      {{{0xB0, 64, 127}}, "held 72 single 72 sustain"},
      {{{0xB0, 64, 64}, {0xB0, 1, 5}}, "held 72 single 72"},  // half pedal, mod wheel not at zero
      {{{0xB0, 64, 0}, {0xB0, 1, 0}}, "held 72 single 72 sustain mod"},
      {{{0xE0, 0, 0x40}, {0xE0, 0, 0x40}}, "held 72 single 72 pitch"},
      {{{0xE0, 0, 0x41}}, "held 72 single 72"},
      {{{0x80, 72, 0}}, "-72v0c0 none"},
  };
  MidiInput input;
  for (auto [messages, report] : steps) {
    for (Bytes& m : messages) MidiInput::MidiCallback(0, &m, &input);
    EXPECT_EQ(Poll(input), report) << "after " << int(messages[0][0]) << " " << int(messages[0][1]);
  }
}

class MidiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(zs::test::UseTestServers());
    ASSERT_TRUE(peer.Open("Q Mini MIDI 1", "Test Synth"));
  }

  // While other tests add and remove ports on the same server, RtMidi (which opens by index)
  // can join the wrong one; then the port is opened again.
  void ConnectOutput(MidiOutput& out) {
    ASSERT_TRUE(zs::test::Retry(4, [&] {
      return out.Init(peer.SynthPort(), 0, ApiUnderTest()) &&
             peer.SendUntilReceived([&] { out.SendEvent(NoteEvent{true, 0, 0, 15}); }, 1);
    })) << "nothing came through to " << peer.SynthPort();
    peer.ClearReceived();
  }

  bool Deliver(const std::vector<Bytes>& messages, const std::string& want) {
    return zs::test::Retry(4, [&] {
      for (const Bytes& m : messages) peer.Play(m);
      return zs::test::WaitUntil([&] { return Poll(input) == want; }, std::chrono::seconds(2),
                                 std::chrono::milliseconds(1));
    });
  }

  MidiPeer peer;
  MidiInput input;
};

TEST_F(MidiTest, InputIsListedOutlivesAnUnfinishedSysexAndReleasesKeysWhenUnplugged) {
  const std::string listed = zs::test::Captured([] { MidiInput::PrintMidiInputs(ApiUnderTest()); });
  EXPECT_TRUE(listed.starts_with("Midi inputs (use a substring as identifier):\n") &&
              listed.find("\n" + peer.KeysPort() + "\n") != std::string::npos)
      << listed;
  ASSERT_TRUE(zs::test::Retry(4, [&] {  // as ConnectOutput does
    return input.Init(peer.KeysPort(), ApiUnderTest()) && Deliver({{0x90, 0, 1}}, "+0v1c0 held 0 single 0");
  })) << "nothing came through from " << peer.KeysPort();
  peer.Play({0xF0, 0x41, 0x10, 0x42});  // no F7 ever comes
  EXPECT_TRUE(Deliver({{0x90, 72, 100}}, "+72v100c0 held 0 72"));
  peer.UnplugKeys();
  EXPECT_TRUE(Deliver({}, "-0v0c0 -72v0c0 none"));
}

// Outputs that did not open send nothing: the synth gets exactly what the working one sent.
TEST_F(MidiTest, OutputSendsNoteOffsAsZeroVelocityNoteOnsAndClosedOnesSendNothing) {
  MidiOutput missing, empty, out;
  const std::string printed = zs::test::Captured([&] {
    EXPECT_FALSE(empty.Init("", 0, ApiUnderTest()));
    EXPECT_FALSE(missing.Init("nosuchport", 1, ApiUnderTest()));
  });
  EXPECT_EQ(printed, "could not find requested midi output device 'nosuchport'\n");
  EXPECT_FALSE(missing.IsUsable() || empty.IsUsable());
  ASSERT_NO_FATAL_FAILURE(ConnectOutput(out));
  EXPECT_TRUE(out.IsTimed());
  ASSERT_TRUE(peer.SendUntilReceived(
      [&] {
        for (MidiOutput* closed : {&missing, &empty}) {
          closed->SendEvent(NoteEvent{false, 60, 100, 0});
          closed->LaunchpadAllNotesOff();
        }
        for (NoteEvent e : {NoteEvent{true, 60, 99, 3}, NoteEvent{false, 64, 100, 0},
                            NoteEvent{false, 65, 100, 258},  // the channel byte wraps at 256
                            NoteEvent{false, 66, 200, 0},    // velocity kept to 127
                            // would arrive as aftertouch, a sysex start, a status byte: dropped
                            NoteEvent{false, 67, 100, 16}, NoteEvent{false, 68, 100, 96},
                            NoteEvent{false, 128, 1, 0}, NoteEvent{false, 1, 1, 0}}) {
          out.SendEvent(e);
        }
      },
      5));
  // A late message of an earlier attempt on a loaded server may come first.
  const std::vector<Bytes> got = peer.Received();
  ASSERT_GE(got.size(), 5u);
  EXPECT_EQ(std::vector<Bytes>(got.end() - 5, got.end()),
            (std::vector<Bytes>{{0x93, 60, 0}, {0x90, 64, 100}, {0x92, 65, 100}, {0x90, 66, 127}, {0x90, 1, 1}}));
}

}  // namespace
