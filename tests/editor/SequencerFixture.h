// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// The Sequencer driven as the sequencer thread drives it: one Controls record and one frame
// time per Update, no window, no audio device (the synthesizer renders nowhere), with the
// cursor moved by keys as a user moves it. Shared by the editor tests of every subpage.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "editor/Sequencer.h"
#include "player/Player.h"
#include "sound/SFOutput.h"
#include "tests/support/TestServers.h"

namespace zs::test {

namespace fs = std::filesystem;
constexpr const char* kSoundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
using Keys = void (*)(Controls&);

inline Note MakeNote(int pitch) {
  Note n{};
  n.note = static_cast<uint8_t>(pitch);
  n.velocity = 100;
  n.gate = 1;
  return n;
}

// What the tests vary of the program's command line.
struct SequencerOptions {
  std::string programDirectory = zs::test::BuildPath("bin/");
  std::string midiInput{};
  std::string wallpaper{};
  bool launchpad = false, qmini = false, blackKeys = false;
  int maxVelocity = 127;
};

class SequencerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    EnterFolder(1);
    Restart();
  }

  void TearDown() override {
    if (seq) seq->Shutdown();
    seq.reset();
    fs::current_path(previousDir);
  }

  // A fresh working folder whose soundfonts.dat lists TimGM6mb `soundfonts` times (the same
  // file twice gives two synthesizers with effects of their own). No audio device: the
  // synthesizer renders nowhere, also on a machine with a sound card.
  void EnterFolder(int soundfonts) {
    setenv("ALSA_CONFIG_PATH", zs::test::SourcePath("tests/support/asound-no-device.conf").c_str(), 1);
    fs::current_path(zs::test::MakeTempDir("sequencer"));
    std::ofstream list("soundfonts.dat");
    for (int i = 0; i < soundfonts; ++i) list << "1.0 " << kSoundfont << "\n";
  }

  // Shuts down the running sequencer, if any, and starts one with these options.
  void Restart(const SequencerOptions& o = {}) {
    if (seq) seq->Shutdown();
    seq = std::make_unique<Sequencer>(o.programDirectory, "song", o.midiInput, "", "", false, false, 128,
                                      Color{0.1, 0.1, 0.1, 1}, o.launchpad, o.wallpaper, false, "", o.qmini,
                                      o.blackKeys, true, o.maxVelocity);
    ASSERT_TRUE(seq->Init(nullptr));
    // These tests run without a sound device on purpose; the start-up message saying so
    // would stand in front of the messages they check.
    if (seq->GetMessage() == "NO AUDIO DEVICE - SILENT") Idle(3.1);
  }

  // Every note the player sends from now on lands in `sent`.
  void RecordSentNotes() {
    seq->GetPlayer()->SetSendObserver([this](const SentNote& n) { sent.push_back(n); });
  }

  // One frame with the given keys.
  void Frame(const Controls& c, double dt = 0.001) { seq->Update(dt, c, quads, scene); }
  void Idle(double seconds, double dt = 0.01) {
    for (double t = 0; t < seconds - 1e-9; t += dt) Frame(Controls{}, dt);
  }
  template <typename Setter>
  void Press(Setter set) {
    Controls c{};
    set(c);
    Frame(c);
  }
  // One frame with one flag of the record set.
  void Tap(bool Controls::*flag) {
    Controls c{};
    c.*flag = true;
    Frame(c);
  }
  // Each row's keys in a frame of their own, and what `get` answers after them.
  template <typename Get>
  void PressAndExpect(Get get, std::initializer_list<std::pair<Keys, std::invoke_result_t<Get>>> rows) {
    int row = 0;
    for (const auto& [keys, expected] : rows) {
      Press(keys);
      EXPECT_EQ(get(), expected) << "after row " << row++;
    }
  }

  void Subpage(int index) {
    Press([index](Controls& c) { c.ctrlDigit[index] = true; });
    ASSERT_EQ(seq->GetSubpage(), index);
  }
  void Up(int count) { Arrow(&Controls::upCount, count); }
  void Down(int count) { Arrow(&Controls::downCount, count); }
  void Right(int count) { Arrow(&Controls::rightCount, count); }
  void Left(int count) { Arrow(&Controls::leftCount, count); }
  void Save() {
    Tap(&Controls::f1Pressed);
    ExpectMessage("SAVED", false);
  }
  void Reload() {
    Tap(&Controls::f5Pressed);
    ExpectMessage("LOADED ESC UNDOES", false);
  }

  void ExpectMessage(const std::string& text, bool isError) {
    EXPECT_TRUE(seq->IsMessageActive());
    EXPECT_EQ(seq->GetMessage(), text);
    EXPECT_EQ(seq->IsMessageError(), isError);
  }

  SessionsStore* Store() { return seq->GetSessions(); }
  int NotesAt(int session, int track, int step) {
    std::vector<Note> notes;
    Store()->GetNotes(session, track, step, notes);
    return static_cast<int>(notes.size());
  }

  // One frame with `presses` presses of an arrow key, with the combination flag held (or none).
  void Arrow(int32_t Controls::*count, int presses, bool Controls::*held = nullptr) {
    Controls c{};
    c.*count = presses;
    if (held) c.*held = true;
    Frame(c);
  }
  // Digits typed one per frame.
  void Type(const char* digits) {
    for (const char* d = digits; *d; ++d) Press([d](Controls& c) { c.digitPressed[*d - '0'] = true; });
  }
  // Moves the cursor to (step, pitch) with the octave, Page Down and the arrow keys.
  void GoTo(int step, int pitch) {
    const int octave = std::min(Sequencer::kMaxOctave, pitch / 12);
    while (seq->GetOctave() < octave) Tap(&Controls::keypadPlusPressed);
    while (seq->GetOctave() > octave) Tap(&Controls::keypadMinusPressed);
    while (seq->GetBar() != step / 16) Arrow(&Controls::pageDownCount, 1);
    const int row = step % 16 - seq->GetStepCursor();
    if (row > 0) Arrow(&Controls::downCount, row);
    if (row < 0) Arrow(&Controls::upCount, -row);
    const int column = pitch - 12 * octave - seq->GetNoteCursor();
    if (column > 0) Arrow(&Controls::rightCount, column);
    if (column < 0) Arrow(&Controls::leftCount, -column);
    ASSERT_EQ(seq->GetBar() * 16 + seq->GetStepCursor(), step);
    ASSERT_EQ(seq->GetNoteCursor() + 12 * seq->GetOctave(), pitch);
  }

  // One frame with `flag` set, the cursor moved to (step, pitch) first.
  void TapAt(int step, int pitch, bool Controls::*flag) {
    GoTo(step, pitch);
    Tap(flag);
  }

  // The note of that pitch in the step, or a note with pitch 255 when there is none.
  Note At(int step, int pitch, int track = 0) {
    std::vector<Note> notes;
    Store()->GetNotes(0, track, step, notes);
    for (const Note& n : notes) {
      if (n.note == pitch) return n;
    }
    Note none{};
    none.note = 255;
    return none;
  }

  // For each (step, pitch): whether track 0 holds a note of that pitch there.
  void ExpectNotes(std::initializer_list<std::pair<int, int>> notes, bool present = true) {
    for (auto [step, pitch] : notes) EXPECT_EQ(At(step, pitch).note == pitch, present) << step << ", " << pitch;
  }

  void Put(int step, Note n, int track = 0) { Store()->AddNote(0, track, step, n); }
  void Put(int step, int pitch, int track = 0) { Put(step, MakeNote(pitch), track); }

  // Every note of a track as (step, note bytes), for exact comparisons.
  std::vector<std::vector<uint8_t>> Snapshot(int track = 0) {
    std::vector<std::vector<uint8_t>> all;
    std::vector<Note> notes;
    for (int s = 0; s < kSteps; ++s) {
      Store()->GetNotes(0, track, s, notes);
      for (const Note& n : notes) {
        std::vector<uint8_t> row{static_cast<uint8_t>(s)};
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&n);
        row.insert(row.end(), bytes, bytes + sizeof(Note));
        all.push_back(row);
      }
    }
    return all;
  }
  int CountNotes(int track = 0) { return static_cast<int>(Snapshot(track).size()); }

  fs::path previousDir = fs::current_path();
  std::unique_ptr<Sequencer> seq;
  QuadList quads;
  SceneInfo scene;
  std::vector<SentNote> sent;
};

}  // namespace zs::test
