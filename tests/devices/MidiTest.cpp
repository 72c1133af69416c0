// SPDX-License-Identifier: LGPL-2.1-or-later
// MIDI input and output against real ports: the peer is a keyboard and a synthesizer on JACK,
// which moves messages once per period, so everything waits with a deadline.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "devices/MidiInput.h"
#include "devices/MidiOutput.h"
#include "tests/devices/MidiPeer.h"
#include "tests/support/TestServers.h"

namespace {

class MidiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(zs::test::UseTestServers());
    ASSERT_TRUE(peer.Open("Q Mini MIDI 1", "Test Synth"));
  }

  // Plays `messages`, then key 72 as a marker, until the marker arrives.
  Polled PlayThenMarker(std::vector<Bytes> messages, bool markerOff) {
    messages.push_back({0x90, 72, static_cast<unsigned char>(markerOff ? 0 : 100)});
    Polled p = Deliver(peer, input, messages, markerOff, 72);
    EXPECT_TRUE(p.arrived);
    return p;
  }

  // JACK joins the ports only from one of its next periods on. While other tests add and
  // remove ports on the same server, RtMidi (which opens by index) can join the wrong one;
  // then the port is opened again.
  void ConnectInput() {
    for (int attempt = 0; attempt < 4; ++attempt) {
      ASSERT_TRUE(input.Init(peer.KeysPort(), ApiUnderTest()));
      if (Deliver(peer, input, {{0x90, 0, 1}}, false, 0).arrived) {
        ASSERT_TRUE(Deliver(peer, input, {{0x80, 0, 0}}, true, 0).arrived);
        return;
      }
    }
    FAIL() << "nothing came through from " << peer.KeysPort();
  }
  void ConnectOutput(MidiOutput& out) {
    for (int attempt = 0; attempt < 4; ++attempt) {
      ASSERT_TRUE(out.Init(peer.SynthPort(), 0, ApiUnderTest()));
      if (peer.SendUntilReceived([&] { out.SendEvent(NoteEvent{true, 0, 0, 15}); }, 1)) {
        peer.ClearReceived();
        return;
      }
    }
    FAIL() << "nothing came through to " << peer.SynthPort();
  }

  MidiPeer peer;
  MidiInput input;
};

TEST_F(MidiTest, InputIsChosenByLowerCaseSubstring) {
  const std::string listed = zs::test::Captured([] { MidiInput::PrintMidiInputs(ApiUnderTest()); });
  EXPECT_EQ(listed.rfind("Midi inputs (use a substring as identifier):\n", 0), 0u);
  EXPECT_NE(listed.find(std::string("\n") + peer.KeysPort() + "\n"), std::string::npos) << listed;

  // The port name is lowered, the name asked for is not.
  const std::string client = peer.KeysPort().substr(0, peer.KeysPort().find(':') + 1);
  for (const std::string& name : {client + "Q Mini", std::string("nosuchport"), std::string()}) {
    EXPECT_EQ(zs::test::Captured([&] { EXPECT_FALSE(input.Init(name, ApiUnderTest())); }),
              name.empty() ? "" : "could not find requested midi input device '" + name + "'\n");
    std::vector<NoteEvent> events{NoteEvent{}};
    NoteFlags flags;
    bool any = true, pitch = true, sustain = true, mod = true;
    int single = 0;
    input.GetEvents(events, flags, any, single, pitch, sustain, mod);  // polls, reports nothing
    EXPECT_TRUE(events.empty() && single == -1 && !(any || pitch || sustain || mod));
  }
  EXPECT_EQ(zs::test::Captured([&] { EXPECT_TRUE(input.Init(peer.KeysPort(), ApiUnderTest())); }), "Selected midi input: " + peer.KeysPort() + "\n");
}

TEST_F(MidiTest, KeysBecomeNoteEventsOnChannelZero) {
  ASSERT_NO_FATAL_FAILURE(ConnectInput());
  Polled p = PlayThenMarker({{0x90, 60, 100}}, false);
  ASSERT_EQ(p.events.size(), 2u);
  EXPECT_TRUE(!p.events[0].noteOff && p.events[0].note == 60 && p.events[0].velocity == 100);
  EXPECT_EQ(p.events[0].channel, 0);
  EXPECT_TRUE(p.anyKeyHeld && p.flags.held[60] && p.flags.held[72]);
  EXPECT_EQ(p.singleNote, -1);  // two keys held

  p = PlayThenMarker({{0x80, 60, 64}}, true);  // a note-off with a release velocity
  ASSERT_EQ(p.events.size(), 2u);
  EXPECT_TRUE(p.events[0].noteOff && p.events[0].note == 60 && p.events[0].velocity == 0);
  EXPECT_FALSE(p.anyKeyHeld);

  EXPECT_EQ(Deliver(peer, input, {{0x90, 62, 90}}, false, 62).singleNote, 62);
  p = Deliver(peer, input, {{0x90, 62, 0}}, true, 62);  // velocity 0 releases
  EXPECT_TRUE(p.arrived && p.events.back().velocity == 0 && p.singleNote == -1);
}

TEST_F(MidiTest, InputDropsOtherChannelsAndMalformedMessages) {
  ASSERT_NO_FATAL_FAILURE(ConnectInput());
  Polled p = PlayThenMarker({{0x91, 60, 100}, {0xE1, 0, 0x40}, {0xB1, 64, 127},  // channel 2
                             {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, {0xF0, 0x90, 0xF7},  // sysex
                             {0xC0, 5}, {0x90, 61}, {0x90, 62, 100, 0}, {62, 100, 0}},  // odd sizes, no status
                            false);
  ASSERT_EQ(p.events.size(), 1u);
  EXPECT_EQ(p.events[0].note, 72);
  EXPECT_EQ(p.pitchWheelPolls + p.sustainPolls + p.modWheelPolls, 0);
}

TEST_F(MidiTest, InputOutlivesAnUnfinishedSysexAndAnUnpluggedKeyboardReleasesItsKeys) {
  ASSERT_NO_FATAL_FAILURE(ConnectInput());
  peer.Play({0xF0, 0x41, 0x10, 0x42});  // no F7 ever comes
  ASSERT_TRUE(PlayThenMarker({}, false).arrived);
  peer.UnplugKeys();  // with key 72 held
  EXPECT_TRUE(PollUntil(input, true, 72).arrived);
}

TEST_F(MidiTest, InputGesturesLatchUntilThePoll) {
  ASSERT_NO_FATAL_FAILURE(ConnectInput());
  EXPECT_EQ(PlayThenMarker({{0xB0, 64, 127}}, false).sustainPolls, 1);  // pedal down
  EXPECT_EQ(PlayThenMarker({{0xB0, 64, 64}}, true).sustainPolls, 0);    // half pedal
  EXPECT_EQ(PlayThenMarker({{0xB0, 64, 0}}, false).sustainPolls, 1);    // pedal up
  EXPECT_EQ(PlayThenMarker({{0xB0, 1, 0}}, true).modWheelPolls, 1);
  EXPECT_EQ(PlayThenMarker({{0xB0, 1, 5}}, false).modWheelPolls, 0);
  EXPECT_EQ(PlayThenMarker({{0xE0, 0, 0x40}, {0xE0, 0, 0x40}}, true).pitchWheelPolls, 1);
  EXPECT_EQ(PlayThenMarker({{0xE0, 0, 0x41}}, false).pitchWheelPolls, 0);
}

TEST_F(MidiTest, OutputSendsNoteOffsAsZeroVelocityNoteOns) {
  testing::internal::CaptureStdout();
  MidiOutput::PrintMidiOutputs(ApiUnderTest());
  MidiOutput out;
  EXPECT_TRUE(out.Init(peer.SynthPort(), 1, ApiUnderTest()));
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed.rfind("Midi outputs (use a substring a identifier):\n", 0), 0u);
  EXPECT_NE(printed.find(std::string("\n") + peer.SynthPort() + "\n"), std::string::npos) << printed;
  const std::string selected = "Selected midi output 1: " + peer.SynthPort() + "\n";
  EXPECT_EQ(printed.substr(printed.size() - std::min(printed.size(), selected.size())), selected);

  ASSERT_NO_FATAL_FAILURE(ConnectOutput(out));
  ASSERT_TRUE(peer.SendUntilReceived(
      [&] {
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
  EXPECT_EQ(peer.Received(), (std::vector<Bytes>{{0x93, 60, 0}, {0x90, 64, 100}, {0x92, 65, 100}, {0x90, 66, 127},
                                            {0x90, 1, 1}}));
}

TEST_F(MidiTest, LaunchpadAllNotesOffSwitchesEveryPad) {
  MidiOutput out;
  ASSERT_NO_FATAL_FAILURE(ConnectOutput(out));
  ASSERT_TRUE(peer.SendUntilReceived([&] { out.LaunchpadAllNotesOff(); }, 128));
  // A loaded JACK server can drop a message, and the peer then sends all of them again: every
  // pad must have got its velocity-0 note-on, in ascending order when nothing was resent.
  std::vector<Bytes> got = peer.Received();
  ASSERT_GE(got.size(), 128u);
  std::set<int> pads;
  for (const Bytes& m : got) {
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0], 0x90);
    EXPECT_EQ(m[2], 0);
    pads.insert(m[1]);
  }
  EXPECT_EQ(pads.size(), 128u);
  if (got.size() == 128) {
    for (int n = 0; n < 128; ++n) EXPECT_EQ(got[n][1], n);
  }
}

// Every RtMidi object on JACK is a JACK client with threads of its own.
size_t ThreadCount() {
  return std::distance(std::filesystem::directory_iterator("/proc/self/task"), {});
}

TEST_F(MidiTest, OutputThatDidNotOpenSendsNothingAndEmptyNameCreatesNothing) {
  MidiOutput missing, empty, working;
  const size_t threads = ThreadCount();
  testing::internal::CaptureStdout();
  EXPECT_FALSE(empty.Init("", 0, ApiUnderTest()));
  EXPECT_EQ(ThreadCount(), threads);
  EXPECT_FALSE(missing.Init("nosuchport", 1, ApiUnderTest()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "could not find requested midi output device 'nosuchport'\n");
  EXPECT_FALSE(missing.IsUsable() || empty.IsUsable());

  ASSERT_NO_FATAL_FAILURE(ConnectOutput(working));
  EXPECT_GT(ThreadCount(), threads);  // the count does see a client
  for (MidiOutput* out : {&missing, &empty}) {
    out->SendEvent(NoteEvent{false, 60, 100, 0});
    out->LaunchpadAllNotesOff();
  }
  ASSERT_TRUE(peer.SendUntilReceived([&] { working.SendEvent(NoteEvent{false, 1, 1, 0}); }, 1));
  EXPECT_EQ(peer.Received(), std::vector<Bytes>{(Bytes{0x90, 1, 1})});
}

}  // namespace

// RtMidi stays the path for everything that is not a JACK port: here forced on a JACK port
// through the variable the timing bench uses, and, with no JACK server at all, the port is
// looked for as before and reported missing.
TEST_F(MidiTest, OutputWithoutItsOwnJackClientSendsThroughRtMidi) {
  MidiOutput timed;
  ASSERT_NO_FATAL_FAILURE(ConnectOutput(timed));
  EXPECT_TRUE(timed.IsTimed());

  setenv("ZS_MIDI_OUTPUT_RTMIDI", "1", 1);
  MidiOutput plain;
  ASSERT_NO_FATAL_FAILURE(ConnectOutput(plain));
  unsetenv("ZS_MIDI_OUTPUT_RTMIDI");
  EXPECT_FALSE(plain.IsTimed());
  ASSERT_TRUE(peer.SendUntilReceived([&] { plain.SendEvent(NoteEvent{false, 61, 90, 2}); }, 1));
  EXPECT_EQ(peer.Received(), std::vector<Bytes>{(Bytes{0x92, 61, 90})});

  setenv("JACK_NO_START_SERVER", "1", 1);
  setenv("JACK_DEFAULT_SERVER", "zs_no_such_server", 1);
  MidiOutput absent;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(absent.Init(peer.SynthPort(), 0, ApiUnderTest()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "could not find requested midi output device '" + peer.SynthPort() + "'\n");
  EXPECT_FALSE(absent.IsTimed());
}
