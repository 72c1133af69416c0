// SPDX-License-Identifier: LGPL-2.1-or-later
// Live notes from the computer keyboard's note keys: pitches with and without the scale lock,
// the held-key columns, step recording, releases after octave and track changes; and the MIDI
// velocity scaling and curves.
#include <vector>

#include "tests/editor/SequencerFixture.h"

namespace zs::test {
namespace {

class LiveNotesTest : public SequencerFixture {
 protected:
  void SetUp() override {
    SequencerFixture::SetUp();
    seq->GetPlayer()->SetSendObserver([this](const SentNote& n) { sent.push_back(n); });
    seq->GetSessions()->SetTrackVelocity(0, 90);
    seq->GetSessions()->SetTrackVelocity(1, 70);
  }

  void KeyDown(int key) {
    Press([key](Controls& c) { c.pianoPressed[key] = c.pianoHeld[key] = true; });
  }
  void KeyUp(int key) {
    Press([key](Controls& c) { c.pianoReleased[key] = true; });
  }
  void SetScale(Scale scale, BaseNote base) { seq->GetPlayer()->SetScale(ScaleInfo{scale, base}); }

  std::vector<SentNote> sent;
};

TEST_F(LiveNotesTest, NoteKeysPlayChromaticallyOrBentOntoTheScale) {
  Press([](Controls& c) { c.altZ = true; });  // scale lock off
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
  Press([](Controls& c) { c.altZ = true; });
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
  Press([](Controls& c) { c.altZ = true; });
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
  Press([](Controls& c) { c.altZ = true; });
  Press([](Controls& c) { c.pageDownCount = 1; });
  Press([](Controls& c) { c.rightCtrlPressed = true; });
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
  EXPECT_EQ(NotesAt(0, 0, 0), 0);
}

// The keyboard's maximum and curves 0 and 3 are played through a real port in LiveMidiTest.
TEST(LiveVelocityTest, LinearAndConvexCurves) {
  const int floors[5] = {16, 32, 48, 64, 80};
  const int tops[5] = {117, 127, 127, 127, 127};  // curve 1 is the soft one
  for (int curve = 1; curve <= 5; ++curve) {
    EXPECT_EQ(Sequencer::LiveVelocity(0, 127, curve), floors[curve - 1]) << curve;
    EXPECT_EQ(Sequencer::LiveVelocity(127, 127, curve), tops[curve - 1]) << curve;
  }
  // Curves A, B, C at every 16th input.
  const int rows[9][4] = {{0, 32, 48, 64},     {16, 59, 65, 82},    {32, 82, 82, 98},
                          {48, 99, 96, 111},   {64, 110, 106, 120}, {80, 118, 114, 125},
                          {96, 123, 119, 127}, {112, 125, 124, 127}, {127, 127, 127, 127}};
  for (const auto& row : rows) {
    for (int curve = 6; curve <= 8; ++curve) {
      EXPECT_EQ(Sequencer::LiveVelocity(row[0], 127, curve), row[curve - 5]) << row[0] << " " << curve;
    }
  }
  EXPECT_EQ(Sequencer::LiveVelocity(300, 127, 8), 127);  // out-of-range input stays within MIDI
}

}  // namespace
}  // namespace zs::test
