// SPDX-License-Identifier: LGPL-2.1-or-later
// The player against real endpoints: fluidsynth with TimGM6mb and JACK MIDI ports that a
// peer opens, as the program meets them on a desktop.
#include <gtest/gtest.h>
#include <unistd.h>

#include "devices/MidiOutput.h"
#include "sound/SFOutput.h"
#include "tests/player/PlayerTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/JackMidiReceiver.h"
#include "tests/support/SoundTestUtil.h"
#include "tests/support/TestServers.h"

using zs::test::JackMidiReceiver;
using zs::test::PlayerRig;
using Bytes = zs::test::MidiBytes;
using std::chrono::seconds;

namespace {

class PlayerEndpoints : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(zs::test::UseTestServers());
    // Port names unique to this process: other tests may have peers on the same JACK server.
    const std::string a = "player out a " + std::to_string(getpid());
    const std::string b = "player out b " + std::to_string(getpid());
    ASSERT_TRUE(peerA.Open("ZsPlayerPeerA", a));
    ASSERT_TRUE(peerB.Open("ZsPlayerPeerB", b));
    // The peers are on JACK; RtMidi's own choice would take the ALSA sequencer wherever it
    // has ports of its own (the fallback is the MIDI tests' business). Init closes a port
    // it opened before.
    auto openOutputs = [&] { return outA.Init(a, 0, RtMidi::UNIX_JACK) && outB.Init(b, 1, RtMidi::UNIX_JACK); };
    testing::internal::CaptureStdout();
    const bool synthOk = synth.Init(zs::test::BuildPath("bin/"), {zs::test::kTimGM6mb}, {1.0}, 128, false, "");
    const bool outputsOk = openOutputs();
    const std::string log = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(synthOk && outputsOk) << log;
    // A probe proves both connections stand before the test begins; on a loaded machine
    // with other tests adding ports a connection can fail, and opening again mends it.
    peerA.SetProbeStatus(0x9F);
    peerB.SetProbeStatus(0x9F);
    size_t probes = 0;
    zs::test::Retry(3, [&] {
      if (probes++ > 0) {
        testing::internal::CaptureStdout();
        openOutputs();
        testing::internal::GetCapturedStdout();
      }
      NoteEvent probe;
      probe.noteOff = true;
      probe.channel = 15;
      outA.SendEvent(probe);
      outB.SendEvent(probe);
      return peerA.WaitForProbes(probes, seconds(2)) && peerB.WaitForProbes(probes, seconds(2));
    });
    // A port closed for another try ends its notes on the probe's channel (All Notes Off,
    // sustain up); that is not what the test is about.
    peerA.Clear();
    peerB.Clear();
  }
  void TearDown() override {
    outA.Shutdown();
    outB.Shutdown();
    synth.Shutdown();
  }

  JackMidiReceiver peerA, peerB;
  SFOutput synth;
  MidiOutput outA, outB;
};

Bytes Msg(int status, int note, int velocity) {
  return Bytes{static_cast<unsigned char>(status), static_cast<unsigned char>(note), static_cast<unsigned char>(velocity)};
}

}  // namespace

// A note ends at its gate or, longer than the play, at the Stop.
TEST_F(PlayerEndpoints, TracksReachTheirOutputsOnTheirChannels) {
  PlayerRig rig(&synth, &outA, &outB);
  rig.store->SetTrackOutput(1, 1);
  rig.store->SetTrackChannel(1, 3);
  rig.store->SetTrackOutput(2, 2);
  rig.store->SetTrackChannel(2, 5);
  rig.store->SetTrackPitch(2, 66);
  rig.store->SetTrackOutput(3, 2);
  rig.store->SetTrackChannel(3, 6);
  rig.Add(0, 0, 0, 60);
  rig.Add(0, 1, 0, 62, 0, 1, 0, 99);
  rig.Add(0, 2, 0, 64, 0, 1, 0, 77);
  rig.Add(0, 3, 0, 67, 0, 8);
  ASSERT_TRUE(synth.SetInstrument(0, 0, 0, 0));
  // JACK can drop a cycle's messages on a loaded machine: the step is played again (at most
  // three times) until both peers got all their messages; their content is then exact.
  zs::test::Retry(3, [&] {
    peerA.Clear();
    peerB.Clear();
    rig.player->Play(false);
    rig.player->Update(0.01);
    EXPECT_GT(fluid_synth_get_active_voice_count(synth.GetSynth(0)), 0);  // the synthesizer really plays
    rig.player->Update(0.125);
    rig.player->Stop();
    return peerA.WaitFor(2, seconds(3)) && peerB.WaitFor(4, seconds(3));
  });
  EXPECT_EQ(peerA.Received(), (std::vector<Bytes>{Msg(0x93, 62, 99), Msg(0x93, 62, 0)}));
  EXPECT_EQ(peerB.Received(),
            (std::vector<Bytes>{Msg(0x95, 66, 77), Msg(0x96, 67, 100), Msg(0x95, 66, 0), Msg(0x96, 67, 0)}));
  EXPECT_TRUE(rig.Hanging().empty());
}

TEST_F(PlayerEndpoints, LaunchpadLightsTheCurrentTracksNotesOnChannelOne) {
  PlayerRig rig(&synth, &outA, &outB, true);
  rig.store->SetTrackOutput(2, 2);
  rig.store->SetTrackChannel(2, 5);
  rig.Add(0, 2, 0, 64, 0, 1, 0, 77);
  rig.Add(0, 4, 0, 65);  // another track: no light
  rig.player->SetLaunchpadLightingNotes(true);
  rig.player->SetTrack(2);
  ASSERT_TRUE(peerA.WaitFor(128));  // switching the track first darkens every pad
  peerA.Clear();
  rig.player->Play(false);
  rig.player->Update(0.01);
  ASSERT_TRUE(peerA.WaitFor(1));
  EXPECT_EQ(peerA.Received(), (std::vector<Bytes>{Msg(0x90, 64, 77)}));
  ASSERT_TRUE(peerB.WaitFor(1));  // the track's own output still plays it
  EXPECT_EQ(peerB.Received()[0], Msg(0x95, 64, 77));
  rig.player->Stop();
}
