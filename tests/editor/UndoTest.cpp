// SPDX-License-Identifier: LGPL-2.1-or-later
// Undo, redo and the recovery file, driven through the keys as a musician uses them.
#include <chrono>
#include <random>

#include "tests/editor/SequencerFixture.h"

namespace {

using namespace zs::test;

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
  void Esc() { Tap(&Controls::escapePressed); }
  void ShiftEsc() { Tap(&Controls::shiftEscape); }
};

// One frame of keys each; edits, cursor moves and subpage changes, so that every kind of
// edit meets notes of the others. Step edit, recording (a step-recorded note), the settings kept
// in the project file (tempo, velocity, quantization, solo, mute), sessions and song, mixer.
bool Controls::*const kRandomFlags[] = {
    &Controls::ctrlN, &Controls::ctrlN, &Controls::ctrlN, &Controls::ctrlX, &Controls::ctrlI, &Controls::ctrlY,
    &Controls::ctrlJ, &Controls::ctrlL, &Controls::ctrlP, &Controls::ctrlC, &Controls::ctrlV, &Controls::ctrlM,
    &Controls::altShiftX, &Controls::altKeypadPlus, &Controls::altShiftKeypadMinus, &Controls::ctrlKeypadPlus,
    &Controls::shiftKeypadPlus, &Controls::shiftO, &Controls::shiftF, &Controls::ctrlShiftE, &Controls::ctrlKA,
    &Controls::ctrlKB, &Controls::ctrlKK, &Controls::ctrlKC, &Controls::ctrlKM, &Controls::ctrlKY, &Controls::ctrlKR,
    &Controls::ctrlKT, &Controls::ctrlKU, &Controls::rightCtrlPressed, &Controls::altB, &Controls::altV,
    &Controls::returnPressed, &Controls::altS, &Controls::altM, &Controls::altT, &Controls::altQ, &Controls::altG,
    &Controls::ctrlT, &Controls::ctrlA, &Controls::insertPressed, &Controls::deletePressed, &Controls::altX,
    &Controls::f5Pressed,
};
const Keys kRandomKeys[] = {
    [](Controls& c) { c.upCount = 1; }, [](Controls& c) { c.downCount = 3; }, [](Controls& c) { c.rightCount = 2; },
    [](Controls& c) { c.leftCount = 1; }, [](Controls& c) { c.pageDownCount = 1; },
    [](Controls& c) { c.shiftNumberRow[1] = true; }, [](Controls& c) { c.shiftNumberRow[0] = true; },
    [](Controls& c) { c.pianoPressed[14] = true; }, [](Controls& c) { c.pianoReleased[14] = true; },
    [](Controls& c) { c.ctrlDigit[1] = true; }, [](Controls& c) { c.ctrlDigit[2] = true; },
    [](Controls& c) { c.ctrlDigit[3] = true; }, [](Controls& c) { c.ctrlDigit[4] = true; },
    [](Controls& c) { c.ctrlDigit[5] = true; }, [](Controls& c) { c.ctrlDigit[6] = true; },
    [](Controls& c) { c.ctrlDigit[0] = true; }, [](Controls& c) { c.ctrlDigit[0] = true; },
};

TEST_F(UndoTest, RandomEditsUndoAndRedoToTheSameProjectFile) {
  constexpr unsigned kSeed = 20261208;
  SCOPED_TRACE("seed " + std::to_string(kSeed));
  std::mt19937 rng(kSeed);
  for (int s = 0; s < 8; ++s) Store()->AddNote(0, 0, s * 2, MakeNote(48 + s));
  Save();
  Restart();  // the history starts at the loaded song
  const std::string before = Text();
  int edits = 0;
  for (int i = 0; i < 5000 && edits < 300; ++i) {
    const size_t entries = seq->GetHistory().Entries();
    const size_t k = rng() % (std::size(kRandomFlags) + std::size(kRandomKeys));
    if (k < std::size(kRandomFlags)) Tap(kRandomFlags[k]);
    if (k >= std::size(kRandomFlags)) Press(kRandomKeys[k - std::size(kRandomFlags)]);
    if (seq->GetHistory().Entries() != entries) ++edits;
  }
  Press([](Controls& c) { c.ctrlDigit[0] = true; });
  if (seq->IsRecording()) Tap(&Controls::rightCtrlPressed);
  ASSERT_EQ(edits, 300);
  const std::string after = Text();
  ASSERT_NE(after, before);
  ASSERT_TRUE(seq->HasUnsavedChanges());

  for (int i = 0; i < 2000 && seq->GetMessage() != "NOTHING TO UNDO"; ++i) {
    Esc();
    ASSERT_TRUE(Store()->Consistent()) << "after undo " << i;
  }
  EXPECT_EQ(Text(), before);
  for (int i = 0; i < 2000 && seq->GetMessage() != "NOTHING TO REDO"; ++i) {
    ShiftEsc();
    ASSERT_TRUE(Store()->Consistent()) << "after redo " << i;
  }
  EXPECT_EQ(Text(), after);
}

TEST_F(UndoTest, ErasedSessionAndReloadComeBackWithEscAndANewEditDropsTheRedo) {
  Store()->AddNote(2, 0, 5, MakeNote(60));
  Save();
  const std::string saved = Text();
  Subpage(SubpageSessions);
  for (int i = 0; i < 2; ++i) Press([](Controls& c) { c.rightCount = 1; });
  // Ctrl+Z on a US keyboard is the program's Ctrl+Y: erase session.
  Tap(&Controls::ctrlY);
  ExpectMessage("SESSION ERASED ESC UNDOES", false);
  EXPECT_TRUE(seq->HasUnsavedChanges());
  Esc();
  ExpectMessage("UNDO ERASE SESSION", false);
  EXPECT_EQ(Text(), saved);
  EXPECT_FALSE(seq->HasUnsavedChanges());

  // F5 over unsaved edits, then ESC: the edits are back; Shift+ESC loads again.
  Tap(&Controls::ctrlX);
  const std::string edited = Text();
  Reload();
  EXPECT_EQ(Text(), saved);
  EXPECT_FALSE(seq->HasUnsavedChanges());
  Esc();
  EXPECT_EQ(Text(), edited);
  ShiftEsc();
  EXPECT_EQ(Text(), saved);
  Esc();
  Tap(&Controls::insertPressed);  // a new edit: nothing left to redo
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
  Tap(&Controls::ctrlN);
  const std::string edited = Text();
  ASSERT_TRUE(FramesUntil([] { return fs::exists("song.recovery.dat"); })) << "the first edit is kept at once";
  EXPECT_EQ(ReadFile("song.recovery.dat"), edited);
  EXPECT_EQ(ReadFile("song.dat"), empty) << "only F1 writes the project file";

  fs::remove_all(fs::current_path());
  Tap(&Controls::f1Pressed);
  ExpectMessage("ERROR SAVING", true);
  EXPECT_TRUE(FramesUntil([this] { return seq->GetMessage() == "EDITS KEPT IN STATE FOLDER"; }));
  const fs::path kept = state / "zembrovane-sequencer/song.recovery.dat";
  EXPECT_EQ(ReadFile(kept), edited);

  Press([](Controls& c) { c.downCount = 1; });
  Tap(&Controls::ctrlN);
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

// A recovery file left next to the project is loaded only when it is newer, to the nanosecond;
// an older one (the project was saved after it) is left alone.
TEST_F(UndoTest, RecoveryFileIsLoadedOnlyWhenNewerThanTheProject) {
  using namespace std::chrono_literals;
  setenv("XDG_STATE_HOME", MakeTempDir("state").c_str(), 1);
  Save();
  const std::string saved = ReadFile("song.dat");
  Tap(&Controls::ctrlN);
  const std::string edited = Text();
  const auto project = std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now()) - 10s + 500ns;
  const struct {
    std::chrono::nanoseconds recoveryAge;
    bool loaded;
  } cases[] = {{1s - 400ns, true}, {-1s + 400ns, false}, {100ns, true}, {-100ns, false}, {0ns, false}};
  for (const auto& c : cases) {
    seq->Shutdown();
    seq.reset();  // quitting writes the recovery file; the times are set after it
    WriteFile("song.dat", saved);
    WriteFile("song.recovery.dat", edited);
    fs::last_write_time("song.dat", project);
    fs::last_write_time("song.recovery.dat", project + c.recoveryAge);
    Restart();
    EXPECT_EQ(Text() == edited, c.loaded) << "recovery file " << c.recoveryAge.count() << " ns newer";
  }
  unsetenv("XDG_STATE_HOME");
}

}  // namespace
