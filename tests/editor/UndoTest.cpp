// SPDX-License-Identifier: LGPL-2.1-or-later
// Undo, redo and the recovery file, driven through the keys as a musician uses them.
#include <random>

#include "tests/editor/SequencerFixture.h"

namespace {

using namespace zs::test;
using Keys = void (*)(Controls&);

class UndoTest : public SequencerFixture {
 protected:
  std::string Text() {
    std::string text;
    seq->GetPlayer()->ProjectText(text);
    return text;
  }
  // Frames until the condition holds, for what the background writer does (5 s at most).
  template <typename Condition>
  bool FramesUntil(Condition done) {
    for (int i = 0; i < 500 && !done(); ++i) {
      Frame(Controls{}, 0.01);
      usleep(10000);
    }
    return done();
  }
  void Esc() { Press([](Controls& c) { c.escapePressed = true; }); }
  void ShiftEsc() { Press([](Controls& c) { c.shiftEscape = true; }); }
};

// One frame of keys each; edits, cursor moves and subpage changes, so that every kind of
// edit meets notes of the others.
const Keys kRandomKeys[] = {
    // Step edit subpage.
    [](Controls& c) { c.ctrlN = true; }, [](Controls& c) { c.ctrlN = true; }, [](Controls& c) { c.ctrlN = true; },
    [](Controls& c) { c.ctrlX = true; }, [](Controls& c) { c.ctrlI = true; }, [](Controls& c) { c.ctrlY = true; },
    [](Controls& c) { c.ctrlJ = true; }, [](Controls& c) { c.ctrlL = true; }, [](Controls& c) { c.ctrlP = true; },
    [](Controls& c) { c.ctrlC = true; }, [](Controls& c) { c.ctrlV = true; }, [](Controls& c) { c.ctrlM = true; },
    [](Controls& c) { c.altShiftX = true; }, [](Controls& c) { c.altKeypadPlus = true; },
    [](Controls& c) { c.altShiftKeypadMinus = true; }, [](Controls& c) { c.ctrlKeypadPlus = true; },
    [](Controls& c) { c.shiftKeypadPlus = true; }, [](Controls& c) { c.shiftO = true; },
    [](Controls& c) { c.shiftF = true; }, [](Controls& c) { c.ctrlShiftE = true; },
    [](Controls& c) { c.ctrlKA = true; }, [](Controls& c) { c.ctrlKB = true; }, [](Controls& c) { c.ctrlKK = true; },
    [](Controls& c) { c.ctrlKC = true; }, [](Controls& c) { c.ctrlKM = true; }, [](Controls& c) { c.ctrlKY = true; },
    [](Controls& c) { c.ctrlKR = true; }, [](Controls& c) { c.ctrlKT = true; }, [](Controls& c) { c.ctrlKU = true; },
    [](Controls& c) { c.upCount = 1; }, [](Controls& c) { c.downCount = 3; }, [](Controls& c) { c.rightCount = 2; },
    [](Controls& c) { c.leftCount = 1; }, [](Controls& c) { c.pageDownCount = 1; },
    [](Controls& c) { c.shiftNumberRow[1] = true; }, [](Controls& c) { c.shiftNumberRow[0] = true; },
    // Recording: a step-recorded note.
    [](Controls& c) { c.rightCtrlPressed = true; }, [](Controls& c) { c.pianoPressed[14] = true; },
    [](Controls& c) { c.pianoReleased[14] = true; },
    // Settings kept in the project file: tempo, velocity, quantization, solo, mute.
    [](Controls& c) { c.altB = true; }, [](Controls& c) { c.altV = true; }, [](Controls& c) { c.returnPressed = true; },
    [](Controls& c) { c.altS = true; }, [](Controls& c) { c.altM = true; }, [](Controls& c) { c.altT = true; },
    [](Controls& c) { c.altQ = true; }, [](Controls& c) { c.altG = true; },
    // The other subpages: sessions and song, instruments, scales, mixer, effects.
    [](Controls& c) { c.ctrlDigit[1] = true; }, [](Controls& c) { c.ctrlDigit[2] = true; },
    [](Controls& c) { c.ctrlDigit[3] = true; }, [](Controls& c) { c.ctrlDigit[4] = true; },
    [](Controls& c) { c.ctrlDigit[5] = true; }, [](Controls& c) { c.ctrlDigit[6] = true; },
    [](Controls& c) { c.ctrlDigit[0] = true; }, [](Controls& c) { c.ctrlDigit[0] = true; },
    [](Controls& c) { c.ctrlT = true; }, [](Controls& c) { c.ctrlA = true; }, [](Controls& c) { c.insertPressed = true; },
    [](Controls& c) { c.deletePressed = true; }, [](Controls& c) { c.altX = true; },
    [](Controls& c) { c.f5Pressed = true; },
};

TEST_F(UndoTest, RandomEditsUndoAndRedoToTheSameProjectFile) {
  constexpr unsigned kSeed = 20261207;
  SCOPED_TRACE("seed " + std::to_string(kSeed));
  std::mt19937 rng(kSeed);
  for (int s = 0; s < 8; ++s) seq->GetSessions()->AddNote(0, 0, s * 2, MakeNote(48 + s));
  Save();
  Restart();  // the history starts at the loaded song
  const std::string before = Text();
  int edits = 0;
  for (int i = 0; i < 5000 && edits < 300; ++i) {
    const size_t entries = seq->GetHistory().Entries();
    Press(kRandomKeys[rng() % std::size(kRandomKeys)]);
    if (seq->GetHistory().Entries() != entries) ++edits;
  }
  Press([](Controls& c) { c.ctrlDigit[0] = true; });
  if (seq->IsRecording()) Press([](Controls& c) { c.rightCtrlPressed = true; });
  ASSERT_EQ(edits, 300);
  const std::string after = Text();
  ASSERT_NE(after, before);
  ASSERT_TRUE(seq->HasUnsavedChanges());

  for (int i = 0; i < 2000 && seq->GetMessage() != "NOTHING TO UNDO"; ++i) {
    Esc();
    ASSERT_TRUE(seq->GetSessions()->Consistent()) << "after undo " << i;
  }
  EXPECT_EQ(Text(), before);
  for (int i = 0; i < 2000 && seq->GetMessage() != "NOTHING TO REDO"; ++i) {
    ShiftEsc();
    ASSERT_TRUE(seq->GetSessions()->Consistent()) << "after redo " << i;
  }
  EXPECT_EQ(Text(), after);
}

TEST_F(UndoTest, ErasedSessionAndReloadComeBackWithEscAndANewEditDropsTheRedo) {
  seq->GetSessions()->AddNote(2, 0, 5, MakeNote(60));
  Save();
  const std::string saved = Text();
  Subpage(SubpageSessions);
  for (int i = 0; i < 2; ++i) Press([](Controls& c) { c.rightCount = 1; });
  // Ctrl+Z on a US keyboard is the program's Ctrl+Y: erase session.
  Press([](Controls& c) { c.ctrlY = true; });
  ExpectMessage("SESSION ERASED ESC UNDOES", false);
  EXPECT_TRUE(seq->HasUnsavedChanges());
  Esc();
  ExpectMessage("UNDO ERASE SESSION", false);
  EXPECT_EQ(Text(), saved);
  EXPECT_FALSE(seq->HasUnsavedChanges());

  // F5 over unsaved edits, then ESC: the edits are back; Shift+ESC loads again.
  Press([](Controls& c) { c.ctrlX = true; });
  const std::string edited = Text();
  Reload();
  EXPECT_EQ(Text(), saved);
  EXPECT_FALSE(seq->HasUnsavedChanges());
  Esc();
  EXPECT_EQ(Text(), edited);
  ShiftEsc();
  EXPECT_EQ(Text(), saved);
  Esc();
  Press([](Controls& c) { c.insertPressed = true; });  // a new edit: nothing left to redo
  ShiftEsc();
  ExpectMessage("NOTHING TO REDO", true);
}

// The project folder goes away (as a read-only or vanished folder would): F1 fails, the edits
// go to the state folder, and the next start in a new folder comes back with them.
TEST_F(UndoTest, UnsavedEditsSurviveAFailedSaveAndAShutdown) {
  const fs::path state = MakeTempDir("state");
  setenv("XDG_STATE_HOME", state.c_str(), 1);
  Restart();
  const std::string empty = ReadFile("song.dat");
  Press([](Controls& c) { c.ctrlN = true; });
  const std::string edited = Text();
  ASSERT_TRUE(FramesUntil([] { return fs::exists("song.recovery.dat"); })) << "the first edit is kept at once";
  EXPECT_EQ(ReadFile("song.recovery.dat"), edited);
  EXPECT_EQ(ReadFile("song.dat"), empty) << "only F1 writes the project file";

  fs::remove_all(fs::current_path());
  Press([](Controls& c) { c.f1Pressed = true; });
  ExpectMessage("ERROR SAVING", true);
  EXPECT_TRUE(FramesUntil([this] { return seq->GetMessage() == "EDITS KEPT IN STATE FOLDER"; }));
  const fs::path kept = state / "zembrovane-sequencer/song.recovery.dat";
  EXPECT_EQ(ReadFile(kept), edited);

  Press([](Controls& c) { c.downCount = 1; });
  Press([](Controls& c) { c.ctrlN = true; });
  const std::string later = Text();
  seq->Shutdown();  // as every way of quitting does
  EXPECT_EQ(ReadFile(kept), later) << "quitting keeps the newest edits";

  EnterFolder(1);
  Restart();
  EXPECT_EQ(Text(), later);
  ExpectMessage("RECOVERED UNSAVED EDITS", false);
  EXPECT_TRUE(seq->HasUnsavedChanges());
  Save();
  EXPECT_FALSE(fs::exists(kept)) << "saved: nothing left to recover";
  unsetenv("XDG_STATE_HOME");
}

}  // namespace
