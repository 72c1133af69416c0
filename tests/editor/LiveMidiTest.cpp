// SPDX-License-Identifier: LGPL-2.1-or-later
// Live notes from a MIDI keyboard, end to end: a JACK peer plays into the sequencer's MIDI
// input (-i) and the notes come out of the player, or act as transport keys.
#include <unistd.h>

#include <functional>
#include <vector>

#include "tests/devices/MidiPeer.h"
#include "tests/editor/SequencerFixture.h"

namespace zs::test {
namespace {

class LiveMidiTest : public SequencerFixture {
 protected:
  void SetUp() override {}

  void Start(SequencerOptions options) {
    ASSERT_TRUE(UseTestServers());
    ASSERT_TRUE(peer.Open("keys", "synth"));
    EnterFolder(1);
    options.midiInput = peer.KeysPort();
    Restart(options);
    seq->GetPlayer()->SetSendObserver([this](const SentNote& n) { sent.push_back(n); });
    seq->GetSessions()->SetTrackVelocity(0, 77);
  }

  // Runs frames for up to `ms` milliseconds until `done` holds.
  bool RunUntil(const std::function<bool()>& done, int ms) {
    for (int i = 0; i < ms; ++i) {
      Frame(Controls{});
      if (done()) return true;
      usleep(1000);
    }
    return done();
  }
  // Releases and presses a key until `done` holds; JACK drops a period's messages now and
  // then on a loaded machine, so this tries four times.
  bool Tap(int note, int velocity, const std::function<bool()>& done) {
    for (int attempt = 0; attempt < 4; ++attempt) {
      peer.Play({0x80, static_cast<unsigned char>(note), 0});
      RunUntil([] { return false; }, 30);
      peer.Play({0x90, static_cast<unsigned char>(note), static_cast<unsigned char>(velocity)});
      if (RunUntil(done, 300)) return true;
    }
    return false;
  }
  // For keys that should change nothing: release, press, and give the press time to arrive.
  void TapAndSettle(int note) {
    peer.Play({0x80, static_cast<unsigned char>(note), 0});
    RunUntil([] { return false; }, 30);
    peer.Play({0x90, static_cast<unsigned char>(note), 100});
    RunUntil([] { return false; }, 150);
  }
  bool Send(const Bytes& message, const std::function<bool()>& done) {
    for (int attempt = 0; attempt < 4; ++attempt) {
      peer.Play(message);
      if (RunUntil(done, 300)) return true;
    }
    return false;
  }
  // The velocity of the last note-on of `note` sent to the synthesizer, or -1.
  int SentOn(int note) {
    for (auto it = sent.rbegin(); it != sent.rend(); ++it) {
      if (it->on && it->note == note) return it->velocity;
    }
    return -1;
  }
  int NotesOn() {
    int count = 0;
    for (const SentNote& n : sent) count += n.on ? 1 : 0;
    return count;
  }

  MidiPeer peer;
  std::vector<SentNote> sent;
};

TEST_F(LiveMidiTest, VelocityScaledToTheKeyboardsMaximumAndShapedByTheCurve) {
  ASSERT_NO_FATAL_FAILURE(Start(SequencerOptions{.maxVelocity = 100}));
  Press([](Controls& c) { c.altZ = true; });  // scale lock off: notes play as they come
  // Fixed velocity (the default) plays the track's velocity.
  ASSERT_TRUE(Tap(67, 30, [&] { return SentOn(67) >= 0; }));
  EXPECT_EQ(SentOn(67), 77);

  Press([](Controls& c) { c.altY = true; });
  ASSERT_TRUE(Tap(60, 110, [&] { return SentOn(60) >= 0; }));
  EXPECT_EQ(SentOn(60), 127);
  ASSERT_TRUE(Tap(62, 100, [&] { return SentOn(62) >= 0; }));
  EXPECT_EQ(SentOn(62), 127);
  ASSERT_TRUE(Tap(64, 50, [&] { return SentOn(64) >= 0; }));
  EXPECT_EQ(SentOn(64), 63);
  ASSERT_TRUE(Send({0x80, 60, 0}, [&] { return !sent.back().on && sent.back().note == 60; }));

  for (int i = 0; i < 3; ++i) Press([](Controls& c) { c.altC = true; });
  ASSERT_EQ(seq->GetMidiVelocityCurve(), 3);
  ASSERT_TRUE(Tap(65, 1, [&] { return SentOn(65) >= 0; }));
  EXPECT_EQ(SentOn(65), 49);  // 1 of 100 is 1 of 127, lifted onto 48..127
}

TEST_F(LiveMidiTest, ScaleLockPlaysWhiteKeysAsScaleNotes) {
  ASSERT_NO_FATAL_FAILURE(Start({}));
  seq->GetPlayer()->SetScale(ScaleInfo{ScaleWholeTone, BaseC});  // six notes: 0 2 4 6 8 10
  // White key A is the sixth scale note; it lights its column while held.
  ASSERT_TRUE(Tap(69, 90, [&] { return SentOn(70) >= 0; }));
  EXPECT_TRUE(seq->GetNoteKeyHeld(70 - 48));
  // White key B has no seventh note and black keys play nothing; C does.
  sent.clear();
  TapAndSettle(71);
  TapAndSettle(70);
  ASSERT_TRUE(Tap(72, 90, [&] { return SentOn(72) >= 0; }));
  EXPECT_EQ(NotesOn(), 1);
}

TEST_F(LiveMidiTest, BlackKeysAndQminiGesturesAreTransportControls) {
  ASSERT_NO_FATAL_FAILURE(Start(SequencerOptions{.qmini = true, .blackKeys = true}));
  // C sharp starts and stops; the keys themselves do not sound.
  ASSERT_TRUE(Tap(61, 90, [&] { return seq->IsPlaying(); }));
  ASSERT_TRUE(Tap(73, 90, [&] { return !seq->IsPlaying(); }));
  ASSERT_TRUE(Tap(70, 90, [&] { return seq->IsRecording(); }));
  ASSERT_TRUE(Tap(63, 90, [&] { return !seq->IsRecording(); }));
  ASSERT_TRUE(Tap(68, 90, [&] { return seq->GetSessions()->GetMuted(0, 0); }));
  ASSERT_TRUE(Tap(66, 90, [&] { return seq->GetSessions()->GetSingle(0) == 0; }));
  ASSERT_TRUE(Tap(80, 90, [&] { return !seq->GetSessions()->GetMuted(0, 0); }));
  ASSERT_TRUE(Tap(78, 90, [&] { return seq->GetSessions()->GetSingle(0) == -1; }));
  EXPECT_EQ(NotesOn(), 0);
  // Without the scale lock black keys are notes again.
  Press([](Controls& c) { c.altZ = true; });
  ASSERT_TRUE(Tap(85, 90, [&] { return SentOn(85) >= 0; }));

  // qmini: pitch wheel back to centre plays/stops, the sustain pedal records, the mod wheel
  // at zero undoes and ends recording.
  ASSERT_TRUE(Send({0xE0, 0, 0x40}, [&] { return seq->IsPlaying(); }));
  ASSERT_TRUE(Send({0xE0, 0, 0x40}, [&] { return !seq->IsPlaying(); }));
  ASSERT_TRUE(Send({0xB0, 64, 127}, [&] { return seq->IsRecording(); }));
  ASSERT_TRUE(Send({0xB0, 1, 0}, [&] { return !seq->IsRecording(); }));
}

TEST_F(LiveMidiTest, LaunchpadPadsAreCommandsAndSelectTracks) {
  ASSERT_NO_FATAL_FAILURE(Start(SequencerOptions{.launchpad = true}));
  ASSERT_TRUE(Tap(12, 127, [&] { return seq->IsPlaying(); }));
  ASSERT_TRUE(Tap(12, 127, [&] { return !seq->IsPlaying(); }));
  TapAndSettle(13);  // looping is off: nothing
  EXPECT_FALSE(seq->IsPlaying());
  ASSERT_TRUE(Tap(14, 127, [&] { return seq->IsRecording(); }));
  ASSERT_TRUE(Tap(14, 127, [&] { return !seq->IsRecording(); }));
  ASSERT_TRUE(Tap(17, 127, [&] { return seq->GetSessions()->GetMuted(0, 0); }));
  ASSERT_TRUE(Tap(16, 127, [&] { return seq->GetSessions()->GetSingle(0) == 0; }));
  ASSERT_TRUE(Tap(16, 127, [&] { return seq->GetSessions()->GetSingle(0) == -1; }));
  ASSERT_TRUE(Tap(18, 127, [&] { return seq->GetPlayer()->GetLaunchpadLightingNotes(); }));
  ASSERT_TRUE(Tap(18, 127, [&] { return !seq->GetPlayer()->GetLaunchpadLightingNotes(); }));
  EXPECT_EQ(NotesOn(), 0);

  TapAndSettle(19);
  ASSERT_TRUE(Tap(24, 127, [&] { return seq->GetTrack() == 8; }));
  EXPECT_EQ(seq->GetPlayer()->GetTrack(), 8);
  // Other pads are notes (bent onto C minor: E is E flat), now on track 8.
  ASSERT_TRUE(Tap(40, 127, [&] { return SentOn(39) >= 0; }));
  EXPECT_EQ(sent.back().track, 8);
}

TEST_F(LiveMidiTest, KeyWhileRecordingStoppedIsStepRecordedAtTheCursor) {
  ASSERT_NO_FATAL_FAILURE(Start({}));
  Press([](Controls& c) { c.pageDownCount = 1; });
  Press([](Controls& c) { c.rightCtrlPressed = true; });
  ASSERT_TRUE(Tap(60, 90, [&] { return NotesAt(0, 0, 16) == 1; }));
  std::vector<Note> notes;
  seq->GetSessions()->GetNotes(0, 0, 16, notes);
  EXPECT_EQ(notes[0].note, 60);
  EXPECT_EQ(notes[0].gate, 1);
  EXPECT_EQ(notes[0].offset, 0);
}

TEST_F(LiveMidiTest, MidiNoteReplacesTheComputerKeysNoteOfThePitch) {
  ASSERT_NO_FATAL_FAILURE(Start({}));
  Press([](Controls& c) { c.altZ = true; });
  Press([](Controls& c) { c.altY = true; });
  bool merged = false;
  for (int attempt = 0; attempt < 6 && !merged; ++attempt) {
    // The MIDI key goes down between two frames; the next frame also has note key 12 (C4).
    // A loaded machine can hold the message back for a while, so give it time to arrive.
    peer.Play({0x90, 60, 33});
    usleep(50000 + 50000 * attempt);
    sent.clear();
    Press([](Controls& c) { c.pianoPressed[12] = c.pianoHeld[12] = true; });
    merged = NotesOn() == 1 && SentOn(60) == 33;
    Press([](Controls& c) { c.pianoReleased[12] = true; });
    peer.Play({0x80, 60, 0});
    RunUntil([] { return false; }, 50);
  }
  EXPECT_TRUE(merged);
}

}  // namespace
}  // namespace zs::test
