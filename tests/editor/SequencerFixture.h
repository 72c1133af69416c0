// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// The Sequencer driven as the sequencer thread drives it: one Controls record and one frame
// time per Update, no window, no audio device (the synthesizer renders nowhere). Shared by the
// editor tests of every subpage.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>

#include "editor/Sequencer.h"
#include "player/Player.h"
#include "sound/SFOutput.h"
#include "tests/support/TestServers.h"

namespace zs::test {

namespace fs = std::filesystem;
constexpr const char* kSoundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

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

  void Subpage(int index) {
    Press([index](Controls& c) { c.ctrlDigit[index] = true; });
    ASSERT_EQ(seq->GetSubpage(), index);
  }
  // One frame with `count` presses of an arrow key.
  void Up(int count) { Press([count](Controls& c) { c.upCount = count; }); }
  void Down(int count) { Press([count](Controls& c) { c.downCount = count; }); }
  void Right(int count) { Press([count](Controls& c) { c.rightCount = count; }); }
  void Save() {
    Press([](Controls& c) { c.f1Pressed = true; });
    ExpectMessage("SAVED", false);
  }
  void Reload() {
    Press([](Controls& c) { c.f5Pressed = true; });
    ExpectMessage("LOADED ESC UNDOES", false);
  }

  void ExpectMessage(const std::string& text, bool isError) {
    EXPECT_TRUE(seq->IsMessageActive());
    EXPECT_EQ(seq->GetMessage(), text);
    EXPECT_EQ(seq->IsMessageError(), isError);
  }

  int NotesAt(int session, int track, int step) {
    std::vector<Note> notes;
    seq->GetSessions()->GetNotes(session, track, step, notes);
    return static_cast<int>(notes.size());
  }

  fs::path previousDir = fs::current_path();
  std::unique_ptr<Sequencer> seq;
  QuadList quads;
  SceneInfo scene;
};

inline Note MakeNote(int pitch) {
  Note n{};
  n.note = static_cast<uint8_t>(pitch);
  n.velocity = 100;
  n.gate = 1;
  return n;
}

}  // namespace zs::test
