// SPDX-License-Identifier: LGPL-2.1-or-later
// The player through a JACK output of the program's own, to the frame. It runs alone, on a JACK
// server of its own with real-time scheduling: the suite's shared server runs without it, and
// on two busy cores its dummy driver misses wake-ups, so that a frame is no longer where the
// clock says and no placement can be checked to the frame.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <thread>

#include "devices/MidiOutput.h"
#include "player/Util.h"
#include "tests/player/PlayerTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/JackMidiReceiver.h"
#include "tests/support/TestServers.h"

using zs::test::JackMidiReceiver;
using zs::test::PlayerRig;
using Bytes = zs::test::MidiBytes;


// A JACK output writes each message at the frame of its time on the step grid, so the frames a
// receiver sees repeat the grid to the sample (2 frames). Four steps at 120 BPM (125 ms) with
// MIDI clock: notes at offsets 0, 0, 64, 0 of 128, held half a step.
TEST(PlayerTimedOutput, NotesAndClockLandOnTheStepGridToTheFrame) {
  ASSERT_TRUE(zs::test::UseTestServers());
  const zs::test::OwnJackServer server("zs_timed_" + std::to_string(getpid()), true);
  ASSERT_TRUE(server.Running());
  const std::string name = "player timed " + std::to_string(getpid());
  JackMidiReceiver peer;
  ASSERT_TRUE(peer.OpenWithFrames("ZsPlayerPeerT", name));
  MidiOutput out;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(out.Init(name, 0, RtMidi::UNIX_JACK));
  testing::internal::GetCapturedStdout();
  ASSERT_TRUE(out.IsTimed());
  PlayerRig rig(nullptr, &out);
  rig.store->SetTrackOutput(0, 1);
  const int offsets[4] = {0, 0, 64, 0};
  for (int i = 0; i < 4; ++i) rig.Add(0, 0, i, 60 + i, offsets[i], 0, 64);
  rig.player->SetMidiClock(true);
  const double step = 125000, frame = 1e6 / peer.SampleRate();  // microseconds
  auto near = [&](double at, double expected) { return std::fabs(at - expected) <= 2 * frame; };

  // A frame the scheduler or an overrun of the dummy driver moved is no fault of the player:
  // the run is tried again, up to three times.
  std::string faults = "not run";
  for (int attempt = 0; attempt < 3 && !faults.empty(); ++attempt) {
    peer.Clear();
    Timer timer;
    timer.Start();
    // 50 ms ahead: this thread's frames may come late on a loaded machine, which would make
    // late messages; their placement, not the latency, is what is checked here.
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
      const double f = times[i];
      if (got[i] == Bytes{0xFA}) start = f;
      if (got[i] == Bytes{0xFC}) stop = f;
      if (got[i] == Bytes{0xF8} && start < 0) ++clocksBeforeStart;
      if (got[i] == Bytes{0xF8} && start >= 0) clocks.push_back(f);
      if (got[i].size() == 3 && got[i][0] == 0x90) (got[i][2] > 0 ? on : off).push_back(f);
    }
    faults.clear();
    if (on.size() != 4 || off.size() != 4 || start < 0 || stop < 0 || clocksBeforeStart < 1) {
      faults = "messages missing";
      continue;
    }
    for (int i = 0; i < 4; ++i) {
      const double due = start + (i + offsets[i] / 128.0) * step;
      if (!near(on[i], due)) faults += " note-on " + std::to_string(i) + " at " + std::to_string((on[i] - due) / frame);
      if (!near(off[i], due + step / 2)) faults += " note-off " + std::to_string(i);
    }
    // A quarter note from the Start: 24 clocks, each on its place.
    int inQuarter = 0;
    for (size_t k = 0; k < clocks.size() && clocks[k] < start + 4 * step - 2 * frame; ++k) {
      ++inQuarter;
      if (!near(clocks[k], start + k * step / 6)) faults += " clock " + std::to_string(k);
    }
    if (inQuarter != 24) faults += " clocks in the first quarter: " + std::to_string(inQuarter);
    if (!(stop > on[3])) faults += " Stop before the last note";
  }
  EXPECT_EQ(faults, "");
}
