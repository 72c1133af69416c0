// SPDX-License-Identifier: LGPL-2.1-or-later
#include <functional>
#include <tuple>
#include <vector>

#include "tests/editor/SequencerFixture.h"

namespace zs::test {
namespace {

class LiveNotesTest : public SequencerFixture {
 protected:
  void SetUp() override {
    SequencerFixture::SetUp();
    Start({});
  }
  void Start(const SequencerOptions& options) {
    Restart(options);
    RecordSentNotes();
    Store()->SetTrackVelocity(0, 90);
    Store()->SetTrackVelocity(1, 70);
  }
  void KeyDown(int key) {
    Press([key](Controls& c) { c.pianoPressed[key] = c.pianoHeld[key] = true; });
  }
  void KeyUp(int key) {
    Press([key](Controls& c) { c.pianoReleased[key] = true; });
  }
  void SetScale(Scale scale, BaseNote base) { seq->GetPlayer()->SetScale(ScaleInfo{scale, base}); }
  void Midi(int note, int velocity) {
    ScreenTestAccess::Midi(*seq, {static_cast<unsigned char>(velocity ? 0x90 : 0x80), static_cast<unsigned char>(note),
                                  static_cast<unsigned char>(velocity)});
    Frame(Controls{});
  }
  void MidiTap(int note, int velocity = 100) {
    Midi(note, velocity);
    Midi(note, 0);
  }
  int SentOn(int note) {
    for (auto it = sent.rbegin(); it != sent.rend(); ++it)
      if (it->on && it->note == note) return it->velocity;
    return -1;
  }
  int NotesOn() { return static_cast<int>(std::count_if(sent.begin(), sent.end(), [](auto& n) { return n.on; })); }
  static std::tuple<bool, int, int, int> Of(const SentNote& n) {
    return {n.on, n.note, n.on ? n.velocity : 0, n.track};
  }
};

TEST_F(LiveNotesTest, NoteKeysPlayChromaticallyOrBentOntoTheScale) {
  Tap(&Controls::altZ);  // scale lock off
  KeyDown(13);
  EXPECT_TRUE(seq->GetNoteKeyHeld(13));
  KeyUp(13);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(Of(sent[0]), std::tuple(true, 4 * 12 + 13, 90, 0));
  EXPECT_EQ(Of(sent[1]), std::tuple(false, 61, 0, 0));
  EXPECT_FALSE(seq->GetNoteKeyHeld(13));

  // D major, locked: key 12 + 2 is the third scale note counted from C (E), an octave up.
  Tap(&Controls::altZ);
  SetScale(ScaleMajor, BaseD);
  sent.clear();
  KeyDown(14);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].note, 48 + 12 + 4);
  EXPECT_TRUE(seq->GetNoteKeyHeld(12 + 4));
  EXPECT_FALSE(seq->GetNoteKeyHeld(14));
  KeyUp(14);
}

TEST_F(LiveNotesTest, ReleaseEndsTheNoteThatWasStarted) {
  Tap(&Controls::altZ);
  KeyDown(0);
  Press([](Controls& c) { c.keypadPlusPressed = c.pianoHeld[0] = true; });
  ASSERT_EQ(seq->GetOctave(), 5);
  Press([](Controls& c) { c.shiftNumberRow[1] = c.pianoHeld[0] = true; });
  ASSERT_EQ(seq->GetTrack(), 1);
  KeyUp(0);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(Of(sent[1]), std::tuple(false, 48, 0, 0));
  EXPECT_EQ(seq->GetPlayer()->GetTrack(), 1);

  sent.clear();
  Press([](Controls& c) { c.pianoPressed[2] = c.pianoReleased[2] = true; });
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(Of(sent[0]), std::tuple(true, 62, 70, 1));
  EXPECT_FALSE(sent[1].on);
}

TEST_F(LiveNotesTest, NoteKeyWhileRecordingStoppedIsStepRecordedAtTheCursor) {
  Tap(&Controls::altZ);
  Press([](Controls& c) { c.pageDownCount = 1; });
  Tap(&Controls::rightCtrlPressed);
  ASSERT_TRUE(seq->IsRecording());
  ASSERT_FALSE(seq->IsPlaying());
  Press([](Controls& c) {
    c.pianoPressed[0] = c.pianoPressed[4] = c.pianoPressed[7] = true;
    c.pianoHeld[0] = c.pianoHeld[4] = c.pianoHeld[7] = true;
  });
  Press([](Controls& c) { c.pianoReleased[0] = c.pianoReleased[4] = c.pianoReleased[7] = true; });
  EXPECT_EQ(NotesAt(0, 0, 16), 3);
  const Note n = At(16, 48);
  EXPECT_EQ(std::tuple(n.velocity, n.gate, n.offset), std::tuple(90, 1, 0));
  EXPECT_EQ(NotesAt(0, 0, 0), 0);
}

// With the scale lock the white keys are the scale's notes in order, counted from C; black
// keys and white keys past the scale's last note play nothing.
TEST_F(LiveNotesTest, MidiKeysPlayAsTheyComeOrAsScaleNotes) {
  SetScale(ScaleWholeTone, BaseC);
  Midi(69, 90);  // A, the sixth white key: 70
  EXPECT_EQ(SentOn(70), 90) << "the track's velocity (fixed velocity is the default)";
  EXPECT_TRUE(seq->GetNoteKeyHeld(70 - 48));
  Midi(69, 0);
  EXPECT_EQ(Of(sent.back()), std::tuple(false, 70, 0, 0));
  for (int key : {71, 70}) MidiTap(key);
  EXPECT_EQ(NotesOn(), 1);
  MidiTap(84);
  EXPECT_EQ(SentOn(84), 90) << "C, an octave up";
  SetScale(ScaleMajor, BaseD);  // C# D E F# G A B: F is the fourth, F#
  MidiTap(65);
  EXPECT_EQ(SentOn(66), 90);
  Tap(&Controls::altZ);
  MidiTap(65);
  EXPECT_EQ(SentOn(65), 90);
}

TEST_F(LiveNotesTest, MidiVelocityIsScaledToTheKeyboardsMaximumAndShapedByTheCurve) {
  Start({.maxVelocity = 100});
  Tap(&Controls::altZ);
  Tap(&Controls::altY);  // the played velocity, not the track's
  const struct {
    int curve, played, expected;
  } cases[] = {{0, 110, 127}, {0, 100, 127}, {0, 50, 63}, {3, 1, 49}, {7, 4, 53}, {8, 100, 127}};
  for (const auto& c : cases) {
    while (seq->GetMidiVelocityCurve() != c.curve) Tap(&Controls::altC);
    MidiTap(60, c.played);
    EXPECT_EQ(SentOn(60), c.expected) << "curve " << c.curve << " played " << c.played;
  }
}

TEST_F(LiveNotesTest, QuittingEndsTheNotesOfHeldMidiKeys) {
  Tap(&Controls::altZ);
  Midi(60, 100);
  Midi(62, 100);
  seq->Shutdown();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_FALSE(sent[2].on || sent[3].on);
  Midi(60, 0);  // a release that arrives late
  EXPECT_EQ(sent.size(), 4u) << "no second note-off";
  EXPECT_FALSE(seq->GetNoteKeyHeld(62 - 48)) << "nor a lit column for the key still down";
}

// Under the scale lock black keys are commands; qmini's pitch wheel back to centre plays and
// stops, the sustain pedal records, the mod wheel at zero undoes and ends recording.
TEST_F(LiveNotesTest, BlackKeysAndQminiGesturesAreTransportControls) {
  Start({.qmini = true, .blackKeys = true});
  const std::pair<std::vector<unsigned char>, std::function<bool()>> rows[] = {
      {{0x90, 61, 100}, [&] { return seq->IsPlaying(); }},
      {{0x90, 73, 100}, [&] { return !seq->IsPlaying(); }},
      {{0x90, 70, 100}, [&] { return seq->IsRecording(); }},
      {{0x90, 63, 100}, [&] { return !seq->IsRecording(); }},
      {{0x90, 68, 100}, [&] { return Store()->GetMuted(0, 0); }},
      {{0x90, 66, 100}, [&] { return Store()->GetSingle(0) == 0; }},
      {{0xE0, 0, 0x40}, [&] { return seq->IsPlaying(); }},
      {{0xE0, 0, 0x40}, [&] { return !seq->IsPlaying(); }},
      {{0xB0, 64, 127}, [&] { return seq->IsRecording(); }},
      {{0xB0, 1, 0}, [&] { return !seq->IsRecording(); }}};
  for (const auto& [message, done] : rows) {
    ScreenTestAccess::Midi(*seq, message);
    Frame(Controls{});
    if (message[0] == 0x90) Midi(message[1], 0);
    EXPECT_TRUE(done()) << int(message[0]) << " " << int(message[1]);
  }
  EXPECT_EQ(NotesOn(), 0);
}

// Pads 12..19 are commands; after pad 19 the next pad picks the track (12..19, 24, 26, 28, 29).
TEST_F(LiveNotesTest, LaunchpadPadsAreCommandsAndSelectTracks) {
  Start({.launchpad = true});
  const std::pair<int, std::function<bool()>> pads[] = {
      {12, [&] { return seq->IsPlaying(); }}, {12, [&] { return !seq->IsPlaying(); }},
      {13, [&] { return !seq->IsPlaying(); }},  // looping is off: nothing
      {14, [&] { return seq->IsRecording(); }}, {14, [&] { return !seq->IsRecording(); }},
      {17, [&] { return Store()->GetMuted(0, 0); }}, {16, [&] { return Store()->GetSingle(0) == 0; }},
      {16, [&] { return Store()->GetSingle(0) == -1; }},
      {18, [&] { return seq->GetPlayer()->GetLaunchpadLightingNotes(); }}};
  for (const auto& [pad, done] : pads) {
    MidiTap(pad, 127);
    EXPECT_TRUE(done()) << pad;
  }
  for (const auto& [pad, track] : {std::pair{24, 8}, {26, 9}, {28, 10}, {29, 11}, {15, 3}}) {
    MidiTap(19, 127);
    MidiTap(pad, 127);
    EXPECT_EQ(seq->GetTrack(), track) << pad;
    EXPECT_EQ(seq->GetPlayer()->GetTrack(), track) << pad;
  }
  EXPECT_EQ(NotesOn(), 0);
  MidiTap(40, 127);  // other pads are notes, bent onto C minor (E is E flat), on the chosen track
  EXPECT_GE(SentOn(39), 0);
  EXPECT_EQ(sent.back().track, 3);
}

TEST(LiveVelocityTest, CurvesRiseFromTheirFloorAndTheFirstIsSoft) {
  const int floors[] = {16, 32, 48, 64, 80, 32, 48, 64};
  for (int curve = 1; curve <= 8; ++curve) {
    EXPECT_EQ(Sequencer::LiveVelocity(0, 127, curve), floors[curve - 1]) << curve;
    EXPECT_EQ(Sequencer::LiveVelocity(127, 127, curve), curve == 1 ? 117 : 127) << curve;
    EXPECT_LE(Sequencer::LiveVelocity(64, 127, curve), Sequencer::LiveVelocity(65, 127, curve)) << curve;
  }
  EXPECT_EQ(Sequencer::LiveVelocity(300, 127, 8), 127);
}

}  // namespace
}  // namespace zs::test
