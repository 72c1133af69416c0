// SPDX-License-Identifier: LGPL-2.1-or-later
// Live notes from the computer keyboard's note keys and the MIDI keyboard: pitches with and
// without the scale lock, the held-key columns, step recording, releases after octave and track
// changes and at quitting, the MIDI velocity scaling and curves, and MIDI keys as commands.
#include <functional>
#include <vector>

#include "tests/editor/SequencerAccess.h"
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
  // A MIDI key pressed (velocity > 0) or released, and the frame that reads it.
  void Midi(int note, int velocity) {
    ScreenTestAccess::Midi(*seq, {static_cast<unsigned char>(velocity ? 0x90 : 0x80), static_cast<unsigned char>(note),
                                  static_cast<unsigned char>(velocity)});
    Frame(Controls{});
  }
  void MidiTap(int note, int velocity = 100) {
    Midi(note, velocity);
    Midi(note, 0);
  }
  // The velocity of the last note-on of `note` sent, or -1.
  int SentOn(int note) {
    for (auto it = sent.rbegin(); it != sent.rend(); ++it)
      if (it->on && it->note == note) return it->velocity;
    return -1;
  }
  int NotesOn() {
    int count = 0;
    for (const SentNote& n : sent) count += n.on;
    return count;
  }
};

TEST_F(LiveNotesTest, NoteKeysPlayChromaticallyOrBentOntoTheScale) {
  Tap(&Controls::altZ);  // scale lock off
  ASSERT_FALSE(seq->GetLockToScale());
  KeyDown(13);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].on);
  EXPECT_EQ(sent[0].note, 4 * 12 + 13);
  EXPECT_EQ(sent[0].velocity, 90);
  EXPECT_EQ(sent[0].track, 0);
  EXPECT_TRUE(seq->GetNoteKeyHeld(13));
  KeyUp(13);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_FALSE(sent[1].on);
  EXPECT_EQ(sent[1].note, 61);
  EXPECT_FALSE(seq->GetNoteKeyHeld(13));

  // D major, locked: key 12 + 2 is the third scale note (counted from C) an octave up, and
  // that note's column lights.
  Tap(&Controls::altZ);
  SetScale(ScaleMajor, BaseD);
  const int third = Scales::GetScaleNotes(BaseD, ScaleMajor).pitchClasses[2];
  ASSERT_EQ(third, 4);
  sent.clear();
  KeyDown(14);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].note, 48 + 12 + third);
  EXPECT_TRUE(seq->GetNoteKeyHeld(12 + third));
  EXPECT_FALSE(seq->GetNoteKeyHeld(14));
  KeyUp(14);

  // A six-note scale has no seventh degree: key 6 plays nothing; key 36 plays the first scale
  // note three octaves up.
  SetScale(ScaleWholeTone, BaseA);
  sent.clear();
  KeyDown(6);
  EXPECT_TRUE(sent.empty());
  KeyUp(6);
  EXPECT_TRUE(sent.empty());
  KeyDown(36);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].note, 48 + 36 + Scales::GetScaleNotes(BaseA, ScaleWholeTone).pitchClasses[0]);
}

TEST_F(LiveNotesTest, ReleaseEndsTheNoteThatWasStarted) {
  Tap(&Controls::altZ);
  KeyDown(0);
  Press([](Controls& c) {
    c.keypadPlusPressed = true;
    c.pianoHeld[0] = true;
  });
  ASSERT_EQ(seq->GetOctave(), 5);
  Press([](Controls& c) {
    c.shiftNumberRow[1] = true;
    c.pianoHeld[0] = true;
  });
  ASSERT_EQ(seq->GetTrack(), 1);
  KeyUp(0);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_FALSE(sent[1].on);
  EXPECT_EQ(sent[1].note, 48);
  EXPECT_EQ(sent[1].track, 0);
  // The player keeps the editor's track.
  EXPECT_EQ(seq->GetPlayer()->GetTrack(), 1);

  // A tap within one frame sounds and ends; the new note goes to the new track.
  sent.clear();
  Press([](Controls& c) { c.pianoPressed[2] = c.pianoReleased[2] = true; });
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_TRUE(sent[0].on);
  EXPECT_EQ(sent[0].track, 1);
  EXPECT_EQ(sent[0].velocity, 70);
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
  std::vector<Note> notes;
  seq->GetSessions()->GetNotes(0, 0, 16, notes);
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[0].note, 48);
  EXPECT_EQ(notes[0].velocity, 90);
  EXPECT_EQ(notes[0].gate, 1);
  EXPECT_EQ(notes[0].offset, 0);
  EXPECT_EQ(NotesAt(0, 0, 0), 0);
}

// With the scale lock the white keys are the scale's notes in order, counted from C; black
// keys and white keys past the scale's last note play nothing.
TEST_F(LiveNotesTest, MidiKeysPlayAsTheyComeOrAsScaleNotes) {
  SetScale(ScaleWholeTone, BaseC);  // six notes: 0 2 4 6 8 10
  Midi(69, 90);                     // A, the sixth white key: 70
  EXPECT_EQ(SentOn(70), 90) << "the track's velocity (fixed velocity is the default)";
  EXPECT_TRUE(seq->GetNoteKeyHeld(70 - 48));
  Midi(69, 0);
  EXPECT_FALSE(sent.back().on);
  EXPECT_EQ(sent.back().note, 70);
  for (int key : {71, 70}) MidiTap(key);
  EXPECT_EQ(NotesOn(), 1);
  MidiTap(84);
  EXPECT_EQ(SentOn(84), 90) << "C, an octave up";
  SetScale(ScaleMajor, BaseD);  // C# D E F# G A B: F is the fourth, F#
  MidiTap(65);
  EXPECT_EQ(SentOn(66), 90);
  Tap(&Controls::altZ);  // the lock off: every key is itself
  MidiTap(65);
  MidiTap(70);
  EXPECT_EQ(SentOn(65), 90);
  EXPECT_EQ(SentOn(70), 90);
}

// The velocity a MIDI key plays with: scaled to the keyboard's maximum, then shaped by the curve.
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

// Once the program quits, a MIDI key still down has had its note ended and plays nothing more.
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

// A MIDI key and the note key of the same pitch in one frame sound once, with the MIDI velocity.
TEST_F(LiveNotesTest, MidiNoteReplacesTheComputerKeysNoteOfThePitch) {
  Tap(&Controls::altZ);
  Tap(&Controls::altY);
  ScreenTestAccess::Midi(*seq, {0x90, 60, 33});
  KeyDown(12);
  EXPECT_EQ(NotesOn(), 1);
  EXPECT_EQ(SentOn(60), 33);
}

TEST_F(LiveNotesTest, BlackKeysAndQminiGesturesAreTransportControls) {
  Start({.qmini = true, .blackKeys = true});
  // Under the scale lock the black keys are commands and sound nothing.
  const std::pair<int, std::function<bool()>> keys[] = {
      {61, [&] { return seq->IsPlaying(); }},     {73, [&] { return !seq->IsPlaying(); }},
      {70, [&] { return seq->IsRecording(); }},   {63, [&] { return !seq->IsRecording(); }},
      {68, [&] { return Store()->GetMuted(0, 0); }}, {66, [&] { return Store()->GetSingle(0) == 0; }},
      {80, [&] { return !Store()->GetMuted(0, 0); }}, {78, [&] { return Store()->GetSingle(0) == -1; }}};
  for (const auto& [key, done] : keys) {
    MidiTap(key);
    EXPECT_TRUE(done()) << key;
  }
  EXPECT_EQ(NotesOn(), 0);
  Tap(&Controls::altZ);
  MidiTap(85);
  EXPECT_EQ(SentOn(85), 90) << "without the scale lock black keys are notes again";

  // qmini: the pitch wheel back to centre plays and stops, the sustain pedal records, the mod
  // wheel at zero undoes and ends recording.
  const std::pair<std::vector<unsigned char>, std::function<bool()>> gestures[] = {
      {{0xE0, 0, 0x40}, [&] { return seq->IsPlaying(); }},  {{0xE0, 0, 0x40}, [&] { return !seq->IsPlaying(); }},
      {{0xB0, 64, 127}, [&] { return seq->IsRecording(); }}, {{0xB0, 1, 0}, [&] { return !seq->IsRecording(); }}};
  for (const auto& [message, done] : gestures) {
    ScreenTestAccess::Midi(*seq, message);
    Frame(Controls{});
    EXPECT_TRUE(done()) << int(message[0]) << " " << int(message[1]);
  }
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
      {18, [&] { return seq->GetPlayer()->GetLaunchpadLightingNotes(); }},
      {18, [&] { return !seq->GetPlayer()->GetLaunchpadLightingNotes(); }}};
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

// The keyboard's maximum with curves on played notes is in MidiVelocityIsScaledToTheKeyboardsMaximum above.
TEST(LiveVelocityTest, LinearAndConvexCurves) {
  const int floors[5] = {16, 32, 48, 64, 80};
  const int tops[5] = {117, 127, 127, 127, 127};  // curve 1 is the soft one
  for (int curve = 1; curve <= 5; ++curve) {
    EXPECT_EQ(Sequencer::LiveVelocity(0, 127, curve), floors[curve - 1]) << curve;
    EXPECT_EQ(Sequencer::LiveVelocity(127, 127, curve), tops[curve - 1]) << curve;
  }
  // Curves A, B and C rise from their floor to full velocity without a step back.
  for (int curve = 6; curve <= 8; ++curve) {
    EXPECT_EQ(Sequencer::LiveVelocity(0, 127, curve), 16 * (curve - 4)) << curve;
    EXPECT_EQ(Sequencer::LiveVelocity(127, 127, curve), 127) << curve;
    for (int v = 1; v < 128; ++v) {
      EXPECT_GE(Sequencer::LiveVelocity(v, 127, curve), Sequencer::LiveVelocity(v - 1, 127, curve)) << v << curve;
    }
  }
  EXPECT_EQ(Sequencer::LiveVelocity(300, 127, 8), 127);  // out-of-range input stays within MIDI
}

}  // namespace
}  // namespace zs::test
