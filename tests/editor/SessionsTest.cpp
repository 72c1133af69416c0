// SPDX-License-Identifier: LGPL-2.1-or-later
// Sessions subpage: the session cursor, the clipboard and its paste variants, erasing, the song list.
#include "tests/editor/SequencerFixture.h"

namespace zs::test {
namespace {

class SessionsTest : public SequencerFixture {
 protected:
  void SetUp() override {
    SequencerFixture::SetUp();
    Subpage(SubpageSessions);
  }

  void MoveCursorTo(int target) {
    while (seq->GetSessionCursor() / 6 != target / 6) Press([](Controls& c) { c.downCount = 1; });
    while (seq->GetSessionCursor() != target) Press([](Controls& c) { c.rightCount = 1; });
  }
  void Paste(int from, int to, Keys key) {
    MoveCursorTo(from);
    Tap(&Controls::ctrlC);
    MoveCursorTo(to);
    Press(key);
  }
};

// Six sessions a row, two rows; one position per frame however many presses came.
TEST_F(SessionsTest, CursorWrapsWithinRowsOnePositionPerFrame) {
  PressAndExpect([this] { return seq->GetSessionCursor(); },
                 {{[](Controls& c) { c.leftCount = 3; }, 5},  {[](Controls& c) { c.leftCount = 1; }, 4},
                  {[](Controls& c) { c.rightCount = 4; }, 5}, {[](Controls& c) { c.rightCount = 1; }, 0},
                  {[](Controls& c) { c.upCount = 1; }, 6},    {[](Controls& c) { c.leftCount = 1; }, 11},
                  {[](Controls& c) { c.leftCount = 1; }, 10}, {[](Controls& c) { c.rightCount = 2; }, 11},
                  {[](Controls& c) { c.rightCount = 1; }, 6}, {[](Controls& c) { c.rightCount = 2; }, 7},
                  {[](Controls& c) { c.leftCount = 1; }, 6},  {[](Controls& c) { c.downCount = 2; }, 0},
                  {[](Controls& c) { c.rightCount = 2; }, 1}, {[](Controls& c) { c.rightCount = 1; }, 2},
                  {[](Controls& c) { c.downCount = 1; }, 8}, {[](Controls& c) { c.leftHeld = c.downHeld = true; }, 8}});

  Tap(&Controls::returnPressed);
  EXPECT_EQ(seq->GetSession(), 8);
  EXPECT_EQ(seq->GetPlayer()->GetPlayhead().session, 8);
}

TEST_F(SessionsTest, PasteVariantsCopyNotesAndFlagsAsAsked) {
  Store()->AddNote(1, 0, 3, MakeNote(60));
  Store()->AddNote(1, 1, 5, MakeNote(62));
  Store()->SetMuted(1, 2, true);
  Store()->SetSingle(1, 1);
  const struct {
    int target;
    Keys key;
    bool notes, flags;
  } rows[] = {{3, [](Controls& c) { c.ctrlV = true; }, true, false},
              {4, [](Controls& c) { c.ctrlM = true; }, false, true},
              {5, [](Controls& c) { c.ctrlA = true; }, true, true}};
  for (const auto& r : rows) {
    Store()->SetMuted(r.target, 7, true);
    Paste(1, r.target, r.key);
    EXPECT_EQ(NotesAt(r.target, 0, 3) + NotesAt(r.target, 1, 5), r.notes ? 2 : 0) << r.target;
    EXPECT_EQ(Store()->GetMuted(r.target, 2), r.flags) << r.target;
    EXPECT_EQ(Store()->GetMuted(r.target, 7), !r.flags) << r.target;
    EXPECT_EQ(Store()->GetSingle(r.target), r.flags ? 1 : -1) << r.target;
  }

  // CTRL T: track 0 of the source into the current track.
  MoveCursorTo(1);
  Tap(&Controls::ctrlC);
  Press([](Controls& c) { c.shiftNumberRow[2] = true; });
  ASSERT_EQ(seq->GetTrack(), 2);
  MoveCursorTo(6);
  Tap(&Controls::ctrlT);
  EXPECT_EQ(NotesAt(6, 2, 3), 1);
  EXPECT_EQ(NotesAt(6, 1, 5), 0);
}

TEST_F(SessionsTest, EveryPasteEmptiesTheClipboard) {
  Store()->AddNote(0, 0, 0, MakeNote(60));
  // Into the same session: nothing, and the clipboard is gone.
  Paste(0, 0, [](Controls& c) { c.ctrlV = true; });
  MoveCursorTo(2);
  Tap(&Controls::ctrlV);
  EXPECT_EQ(NotesAt(2, 0, 0), 0);

  Paste(0, 2, [](Controls& c) { c.ctrlV = true; });
  EXPECT_EQ(NotesAt(2, 0, 0), 1);
  MoveCursorTo(3);
  Tap(&Controls::ctrlV);
  Tap(&Controls::ctrlA);
  Tap(&Controls::ctrlT);
  EXPECT_EQ(NotesAt(3, 0, 0), 0);
}

TEST_F(SessionsTest, TrackLengthsPasteToOneOrAllTracks) {
  auto range = [&](int session, int track) {
    int start, end;
    Store()->GetStartEndSteps(session, track, start, end);
    return std::pair{start, end};
  };
  Store()->SetStartEndSteps(0, 0, 16, 47);
  Paste(0, 1, [](Controls& c) { c.ctrlL = true; });
  EXPECT_EQ(range(1, 0), (std::pair{16, 47}));
  EXPECT_EQ(range(1, 1), (std::pair{0, 15}));

  Paste(0, 0, [](Controls& c) { c.ctrlShiftL = true; });
  for (int t = 1; t < kTracks; ++t) EXPECT_EQ(range(0, t), (std::pair{16, 47})) << t;
}

TEST_F(SessionsTest, ErasingSessionsAndTracks) {
  Store()->AddNote(4, 0, 1, MakeNote(60));
  Store()->AddNote(4, 1, 1, MakeNote(60));
  Store()->AddNote(5, 1, 1, MakeNote(60));
  MoveCursorTo(5);
  Press([](Controls& c) { c.shiftNumberRow[1] = true; });
  Tap(&Controls::ctrlX);
  EXPECT_TRUE(Store()->IsEmpty(5));
  MoveCursorTo(4);
  Tap(&Controls::ctrlX);
  EXPECT_EQ(NotesAt(4, 0, 1), 1);
  Tap(&Controls::ctrlY);
  EXPECT_TRUE(Store()->IsEmpty(4));
}

TEST_F(SessionsTest, SongHoldsAtMostFifteenEntries) {
  Tap(&Controls::deletePressed);
  EXPECT_TRUE(seq->GetPlayer()->GetSong().empty());
  Tap(&Controls::shiftReturn);
  ExpectMessage("NOSONG", true);
  EXPECT_FALSE(seq->IsPlaying());

  Store()->SetStartEndSteps(3, 4, 0, 63);
  MoveCursorTo(3);
  for (int i = 0; i < 16; ++i) Tap(&Controls::insertPressed);
  Song song = seq->GetPlayer()->GetSong();
  ASSERT_EQ(song.size(), 15u);
  EXPECT_EQ(song[14].session, 3);
  EXPECT_EQ(song[14].length, 64);
  Tap(&Controls::deletePressed);
  EXPECT_EQ(seq->GetPlayer()->GetSong().size(), 14u);
}

TEST_F(SessionsTest, ShiftReturnRestartsTheSongWhilePlaying) {
  MoveCursorTo(2);
  Tap(&Controls::insertPressed);
  Tap(&Controls::spacePressed);
  Idle(0.5);
  ASSERT_TRUE(seq->IsPlaying());
  ASSERT_FALSE(seq->GetPlayer()->IsPlayingSong());
  Tap(&Controls::shiftReturn);
  EXPECT_TRUE(seq->IsPlaying());
  EXPECT_TRUE(seq->GetPlayer()->IsPlayingSong());
  EXPECT_EQ(seq->GetPlayer()->GetPlayhead().session, 2);
}

}  // namespace
}  // namespace zs::test
