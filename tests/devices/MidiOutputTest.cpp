#include <gtest/gtest.h>
#include <jack/jack.h>

#include "devices/MidiOutput.h"
#include "tests/devices/MidiPeer.h"
#include "tests/support/TestServers.h"

namespace {

class MidiOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(zs::test::UseTestServers());
    ASSERT_TRUE(peer.Open("Q Mini MIDI 1", "Test Synth"));
  }

  // Opens `out` on the synth and waits until a message gets through, since JACK connects
  // the ports only from one of its next periods on.
  void Connect(MidiOutput& out) {
    ASSERT_TRUE(out.Init("test synth", 0, ApiUnderTest()));
    bool through = false;
    for (int attempt = 0; attempt < 10 && !through; ++attempt) {
      out.SendEvent(NoteEvent{true, 0, 0, 15});
      through = peer.WaitForReceived(1, std::chrono::milliseconds(300));
    }
    ASSERT_TRUE(through);
    peer.ClearReceived();
  }

  MidiPeer peer;
};

TEST_F(MidiOutputTest, SendsNoteOnsAndNoteOffsAsZeroVelocityNoteOns) {
  testing::internal::CaptureStdout();
  MidiOutput::PrintMidiOutputs(ApiUnderTest());
  std::string listed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(listed.rfind("Midi outputs (use a substring a identifier):\n", 0), 0u);
  EXPECT_NE(listed.find("\nzspeersynth:test synth\n"), std::string::npos) << listed;

  MidiOutput out;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(out.Init("test synth", 1, ApiUnderTest()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Selected midi output 1: zspeersynth:test synth\n");
  EXPECT_TRUE(out.IsUsable());
  out.Shutdown();
  EXPECT_FALSE(out.IsUsable());

  Connect(out);
  out.SendEvent(NoteEvent{true, 60, 99, 3});
  out.SendEvent(NoteEvent{false, 64, 100, 0});
  out.SendEvent(NoteEvent{false, 65, 100, 258});  // the channel byte wraps at 256
  out.SendEvent(NoteEvent{false, 66, 200, 0});    // velocity kept to 127
  // Would reach the synth as other messages (aftertouch, a sysex start, a status byte):
  out.SendEvent(NoteEvent{false, 67, 100, 16});
  out.SendEvent(NoteEvent{false, 68, 100, 96});
  out.SendEvent(NoteEvent{false, 128, 100, 0});
  out.SendEvent(NoteEvent{false, 1, 1, 0});  // marker
  ASSERT_TRUE(peer.WaitForReceived(5));
  const std::vector<Bytes> expected = {
      {0x93, 60, 0}, {0x90, 64, 100}, {0x92, 65, 100}, {0x90, 66, 127}, {0x90, 1, 1}};
  EXPECT_EQ(peer.Received(), expected);
}

TEST_F(MidiOutputTest, LaunchpadAllNotesOffSwitchesEveryPad) {
  MidiOutput out;
  Connect(out);
  out.LaunchpadAllNotesOff();
  ASSERT_TRUE(peer.WaitForReceived(128));
  std::vector<Bytes> received = peer.Received();
  ASSERT_EQ(received.size(), 128u);
  for (int n = 0; n < 128; ++n) EXPECT_EQ(received[n], (Bytes{0x90, static_cast<unsigned char>(n), 0}));
}

TEST_F(MidiOutputTest, AnOutputThatDidNotOpenSendsNothing) {
  MidiOutput missing, never;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(missing.Init("nosuchport", 1, ApiUnderTest()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "could not find requested midi output device 'nosuchport'\n");
  EXPECT_FALSE(missing.IsUsable());
  MidiOutput working;
  Connect(working);
  for (MidiOutput* out : {&missing, &never}) {
    out->SendEvent(NoteEvent{false, 60, 100, 0});
    out->LaunchpadAllNotesOff();
  }
  working.SendEvent(NoteEvent{false, 1, 1, 0});
  ASSERT_TRUE(peer.WaitForReceived(1));
  EXPECT_EQ(peer.Received(), std::vector<Bytes>{(Bytes{0x90, 1, 1})});
}

TEST_F(MidiOutputTest, AnEmptyNameCreatesNoMidiClient) {
  jack_client_t* watch = jack_client_open("ZsJackWatch", JackNoStartServer, nullptr);
  ASSERT_NE(watch, nullptr);
  auto clientExists = [&] {
    char* uuid = jack_get_uuid_for_client_name(watch, "RtMidi Output Client");
    if (uuid != nullptr) jack_free(uuid);
    return uuid != nullptr;
  };
  MidiOutput out;
  ASSERT_TRUE(out.Init("test synth", 0, ApiUnderTest()));
  EXPECT_TRUE(clientExists());  // the watch can see one
  out.Shutdown();
  EXPECT_FALSE(clientExists());

  testing::internal::CaptureStdout();
  EXPECT_FALSE(out.Init("", 0, ApiUnderTest()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_FALSE(clientExists());
  EXPECT_FALSE(out.IsUsable());
  jack_client_close(watch);
}

}  // namespace
