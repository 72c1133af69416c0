#include <gtest/gtest.h>

#include "devices/MidiInput.h"
#include "tests/devices/MidiPeer.h"
#include "tests/support/TestServers.h"

namespace {

class MidiInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(zs::test::UseTestServers());
    ASSERT_TRUE(peer.Open("Q Mini MIDI 1", "Test Synth"));
  }

  // Opens the keyboard and waits until a key played on it comes through, since JACK
  // connects the ports only from one of its next periods on.
  void Connect() {
    ASSERT_TRUE(input.Init("q mini", ApiUnderTest()));
    bool through = false;
    for (int attempt = 0; attempt < 10 && !through; ++attempt) {
      peer.Play({0x90, 0, 1});
      through = PollUntil(input, false, 0).arrived;
    }
    ASSERT_TRUE(through);
    peer.Play({0x80, 0, 0});
    ASSERT_TRUE(PollUntil(input, true, 0).arrived);
  }

  // Plays `messages`, then a key as a marker, and polls until the marker arrives.
  Polled PlayThenMarker(const std::vector<Bytes>& messages, bool markerOff) {
    for (const Bytes& m : messages) peer.Play(m);
    peer.Play({0x90, 72, static_cast<unsigned char>(markerOff ? 0 : 100)});
    Polled polled = PollUntil(input, markerOff, 72);
    EXPECT_TRUE(polled.arrived);
    return polled;
  }

  MidiPeer peer;
  MidiInput input;
};

TEST_F(MidiInputTest, ChoosesThePortByLowerCaseSubstring) {
  testing::internal::CaptureStdout();
  MidiInput::PrintMidiInputs(ApiUnderTest());
  std::string listed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(listed.rfind("Midi inputs (use a substring as identifier):\n", 0), 0u);
  EXPECT_NE(listed.find("\nzspeerkeys:q mini midi 1\n"), std::string::npos) << listed;

  const std::pair<std::string, std::string> refused[] = {
      {"Q Mini", "could not find requested midi input device 'Q Mini'\n"},  // names are not lowered
      {"nosuchport", "could not find requested midi input device 'nosuchport'\n"},
      {"", ""}};  // no input wanted
  for (const auto& [name, message] : refused) {
    testing::internal::CaptureStdout();
    EXPECT_FALSE(input.Init(name, ApiUnderTest()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), message);
    std::vector<NoteEvent> events{NoteEvent{}};
    NoteFlags flags;
    bool any = true, pitch = true, sustain = true, mod = true;
    int single = 0;
    input.GetEvents(events, flags, any, single, pitch, sustain, mod);  // still polls, reports nothing
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(any || pitch || sustain || mod);
    EXPECT_EQ(single, -1);
  }

  testing::internal::CaptureStdout();
  EXPECT_TRUE(input.Init("q mini", ApiUnderTest()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Selected midi input: zspeerkeys:q mini midi 1\n");
}

TEST_F(MidiInputTest, KeysBecomeNoteEventsOnChannelZero) {
  Connect();
  Polled p = PlayThenMarker({{0x90, 60, 100}}, false);
  ASSERT_EQ(p.events.size(), 2u);
  EXPECT_FALSE(p.events[0].noteOff);
  EXPECT_EQ(p.events[0].note, 60);
  EXPECT_EQ(p.events[0].velocity, 100);
  EXPECT_EQ(p.events[0].channel, 0);
  EXPECT_TRUE(p.anyKeyHeld);
  EXPECT_EQ(p.singleNote, -1);  // 60 and the marker are held
  EXPECT_TRUE(p.flags.held[60] && p.flags.held[72]);

  p = PlayThenMarker({{0x80, 60, 64}}, true);  // note-off with a release velocity
  ASSERT_EQ(p.events.size(), 2u);
  EXPECT_TRUE(p.events[0].noteOff);
  EXPECT_EQ(p.events[0].note, 60);
  EXPECT_EQ(p.events[0].velocity, 0);
  EXPECT_FALSE(p.anyKeyHeld);

  peer.Play({0x90, 62, 90});
  p = PollUntil(input, false, 62);
  EXPECT_EQ(p.singleNote, 62);
  peer.Play({0x90, 62, 0});  // velocity 0 is a release
  p = PollUntil(input, true, 62);
  ASSERT_TRUE(p.arrived);
  EXPECT_EQ(p.events.back().velocity, 0);
  EXPECT_EQ(p.singleNote, -1);
}

TEST_F(MidiInputTest, OtherChannelsAndMalformedMessagesAreDropped) {
  Connect();
  Polled p = PlayThenMarker({{0x91, 60, 100},                          // channel 2
                             {0xE1, 0, 0x40},                          // pitch wheel, channel 2
                             {0xB1, 64, 127},                          // sustain, channel 2
                             {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7},     // sysex
                             {0xF0, 0x90, 0xF7},                       // three-byte sysex
                             {0xC0, 5},                                // two bytes
                             {0x90, 61},                               // note-on cut short
                             {0x90, 62, 100, 0},                       // four bytes
                             {62, 100, 0}},                            // running-status data
                            false);
  ASSERT_EQ(p.events.size(), 1u);
  EXPECT_EQ(p.events[0].note, 72);
  EXPECT_EQ(p.pitchWheelPolls + p.sustainPolls + p.modWheelPolls, 0);
}

TEST_F(MidiInputTest, ControllerGesturesLatchUntilThePoll) {
  Connect();
  EXPECT_EQ(PlayThenMarker({{0xB0, 64, 127}}, false).sustainPolls, 1);  // pedal down
  EXPECT_EQ(PlayThenMarker({{0xB0, 64, 64}}, true).sustainPolls, 0);    // half pedal
  EXPECT_EQ(PlayThenMarker({{0xB0, 64, 0}}, false).sustainPolls, 1);    // pedal up
  EXPECT_EQ(PlayThenMarker({{0xB0, 1, 0}}, true).modWheelPolls, 1);
  EXPECT_EQ(PlayThenMarker({{0xB0, 1, 5}}, false).modWheelPolls, 0);
  Polled p = PlayThenMarker({{0xE0, 0, 0x40}, {0xE0, 0, 0x40}}, true);  // twice between polls
  EXPECT_EQ(p.pitchWheelPolls, 1);
  EXPECT_EQ(PlayThenMarker({{0xE0, 0, 0x41}}, false).pitchWheelPolls, 0);
}

// The state that counts is the state at the poll: a quick tap between two polls, or a
// release and press again, makes no event. Fed straight to the callback for exact timing.
TEST(MidiInputCallback, OnlyTheStateAtThePollCounts) {
  MidiInput input;
  std::vector<NoteEvent> events;
  NoteFlags flags;
  bool any = false, pitch = false, sustain = false, mod = false;
  int single = -1;
  auto feed = [&](Bytes m) { MidiInput::MidiCallback(0, &m, &input); };
  MidiInput::MidiCallback(0, nullptr, &input);  // nothing to read: ignored
  feed({});
  feed({0x90, 0xBC, 0xE4});  // data bytes are taken as seven bits: note 60, velocity 100
  input.GetEvents(events, flags, any, single, pitch, sustain, mod);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].note, 60);
  EXPECT_EQ(events[0].velocity, 100);

  feed({0x90, 60, 0});
  feed({0x90, 60, 80});  // released and pressed again
  feed({0x90, 64, 80});
  feed({0x80, 64, 0});  // tapped
  input.GetEvents(events, flags, any, single, pitch, sustain, mod);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(single, 60);
}

}  // namespace
