// SPDX-License-Identifier: LGPL-2.1-or-later
// The player against real endpoints: fluidsynth with its ALSA driver, and JACK MIDI peers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <thread>

#include "devices/MidiOutput.h"
#include "player/Util.h"
#include "sound/SFOutput.h"
#include "tests/player/PlayerTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/JackMidiReceiver.h"
#include "tests/support/SoundTestUtil.h"
#include "tests/support/TestServers.h"

using namespace zs::test;
using Bytes = MidiBytes;
using std::chrono::seconds;

// A note ends at its gate or, longer than the play, at the Stop.
TEST(PlayerEndpoints, TracksReachTheirOutputsOnTheirChannels) {
  ASSERT_TRUE(UseTestServers());
  // Names of this process's own: other tests may have peers on the same JACK server.
  const std::string a = "player out a " + std::to_string(getpid());
  const std::string b = "player out b " + std::to_string(getpid());
  JackMidiReceiver peerA, peerB;
  ASSERT_TRUE(peerA.Open("ZsPlayerPeerA", a));
  ASSERT_TRUE(peerB.Open("ZsPlayerPeerB", b));
  SFOutput synth;
  MidiOutput outA, outB;
  std::string log;
  const bool synthOk = InitCapturingOutput(synth, {kTimGM6mb}, {1.0}, log, BuildPath("bin/"));  // with the chain
  ASSERT_TRUE(synthOk && synth.HasAudioDriver(0)) << log;

  // On a loaded machine a connection can fail: a probe proves both stand, opening again mends them.
  peerA.SetProbeStatus(0x9F);
  peerB.SetProbeStatus(0x9F);
  size_t probes = 0;
  ASSERT_TRUE(Retry(3, [&] {
    testing::internal::CaptureStdout();
    const bool opened = outA.Init(a, 0, RtMidi::UNIX_JACK) && outB.Init(b, 1, RtMidi::UNIX_JACK);
    log += testing::internal::GetCapturedStdout();
    NoteEvent probe;
    probe.noteOff = true;
    probe.channel = 15;
    outA.SendEvent(probe);
    outB.SendEvent(probe);
    ++probes;
    return opened && peerA.WaitForProbes(probes, seconds(2)) && peerB.WaitForProbes(probes, seconds(2));
  })) << log;

  PlayerRig rig(&synth, &outA, &outB);
  for (auto [track, output, channel] : {std::array{1, 1, 3}, {2, 2, 5}, {3, 2, 6}}) {
    rig.store->SetTrackOutput(track, output);
    rig.store->SetTrackChannel(track, channel);
  }
  rig.store->SetTrackPitch(2, 66);
  rig.Add(0, 0, 0, 60);
  rig.Add(0, 1, 0, 62, 0, 1, 0, 99);
  rig.Add(0, 2, 0, 64, 0, 1, 0, 77);
  rig.Add(0, 3, 0, 67, 0, 8);
  ASSERT_TRUE(synth.SetInstrument(0, 0, 0, 0));
  // JACK can drop a cycle's messages on a loaded machine: then the step is played again.
  Retry(3, [&] {
    peerA.Clear();
    peerB.Clear();
    rig.player->Play(false);
    rig.player->Update(0.01);
    EXPECT_GT(fluid_synth_get_active_voice_count(synth.GetSynth(0)), 0);
    rig.player->Update(0.125);
    rig.player->Stop();
    return peerA.WaitFor(2, seconds(3)) && peerB.WaitFor(4, seconds(3));
  });
  EXPECT_EQ(peerA.Received(), (std::vector<Bytes>{{0x93, 62, 99}, {0x93, 62, 0}}));
  EXPECT_EQ(peerB.Received(), (std::vector<Bytes>{{0x95, 66, 77}, {0x96, 67, 100}, {0x95, 66, 0}, {0x96, 67, 0}}));
  EXPECT_TRUE(rig.Hanging().empty());
}

// To the frame, it needs a real-time JACK server of its own: the shared one runs without real-time
// scheduling and, on two busy cores, its dummy driver misses wake-ups.
TEST(PlayerTimedOutput, NotesAndClockLandOnTheStepGridToTheFrame) {
  ASSERT_TRUE(UseTestServers());
  const OwnJackServer server("zs_timed_" + std::to_string(getpid()), true);
  ASSERT_TRUE(server.Running());
  const std::string name = "player timed " + std::to_string(getpid());
  JackMidiReceiver peer;
  ASSERT_TRUE(peer.OpenWithFrames("ZsPlayerPeerT", name));
  MidiOutput out;
  testing::internal::CaptureStdout();
  const bool opened = out.Init(name, 0, RtMidi::UNIX_JACK);
  const std::string log = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(opened && out.IsTimed()) << log;
  PlayerRig rig(nullptr, &out);
  rig.store->SetTrackOutput(0, 1);
  const int offsets[4] = {0, 0, 64, 0};
  for (int i = 0; i < 4; ++i) rig.Add(0, 0, i, 60 + i, offsets[i], 0, 64);
  rig.player->SetMidiClock(true);
  const double step = 125000, frame = 1e6 / peer.SampleRate();  // microseconds, 120 BPM
  auto near = [&](double at, double expected) { return std::fabs(at - expected) <= 2 * frame; };

  // A frame moved by the scheduler or an overrun of the dummy driver is no fault of the player.
  std::string faults;
  Retry(3, [&] {
    peer.Clear();
    Timer timer;
    timer.Start();
    // Ahead of this thread's late frames on a loaded machine: the placement is checked, not the latency.
    rig.player->SetClockTime(MonotonicSeconds() + 0.05);
    auto run = [&](double seconds) {
      for (const double end = MonotonicSeconds() + seconds; MonotonicSeconds() < end;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        rig.player->Update(timer.Restart() / 1000.0);
      }
    };
    run(0.1);
    rig.player->Play(false);
    run(0.6);
    rig.player->Stop();
    run(0.05);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the Stop is due 50 ms + latency on

    const std::vector<Bytes> got = peer.Received();
    const std::vector<double> times = peer.FrameTimes();
    std::vector<double> on, off, clocks;
    double start = -1, stop = -1;
    int clocksBeforeStart = 0;  // the clock runs while stopped too
    for (size_t i = 0; i < got.size(); ++i) {
      if (got[i] == Bytes{0xFA}) start = times[i];
      if (got[i] == Bytes{0xFC}) stop = times[i];
      if (got[i] == Bytes{0xF8} && start < 0) ++clocksBeforeStart;
      if (got[i] == Bytes{0xF8} && start >= 0) clocks.push_back(times[i]);
      if (got[i].size() == 3 && got[i][0] == 0x90) (got[i][2] > 0 ? on : off).push_back(times[i]);
    }
    faults.clear();
    if (on.size() != 4 || off.size() != 4 || start < 0 || stop < 0 || clocksBeforeStart < 1) {
      faults = "messages missing";
      return false;
    }
    for (int i = 0; i < 4; ++i) {
      const double due = start + (i + offsets[i] / 128.0) * step;
      if (!near(on[i], due)) faults += " note-on " + std::to_string(i) + " at " + std::to_string((on[i] - due) / frame);
      if (!near(off[i], due + step / 2)) faults += " note-off " + std::to_string(i);
    }
    int inQuarter = 0;
    for (size_t k = 0; k < clocks.size() && clocks[k] < start + 4 * step - 2 * frame; ++k) {
      ++inQuarter;
      if (!near(clocks[k], start + k * step / 6)) faults += " clock " + std::to_string(k);
    }
    if (inQuarter != 24) faults += " clocks in the first quarter: " + std::to_string(inQuarter);
    if (!(stop > on[3])) faults += " Stop before the last note";
    return faults.empty();
  });
  EXPECT_EQ(faults, "");
}
