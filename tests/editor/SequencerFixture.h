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

class SequencerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    // No audio device: the synthesizer renders nowhere, also on a machine with a sound card.
    setenv("ALSA_CONFIG_PATH", zs::test::SourcePath("tests/support/asound-no-device.conf").c_str(), 1);
    previousDir = fs::current_path();
    fs::current_path(zs::test::MakeTempDir("sequencer"));
    std::ofstream("soundfonts.dat") << "1.0 " << kSoundfont << "\n";
    seq = MakeSequencer();
    ASSERT_TRUE(seq->Init(nullptr));
  }

  void TearDown() override {
    if (seq) seq->Shutdown();
    seq.reset();
    fs::current_path(previousDir);
  }

  static std::unique_ptr<Sequencer> MakeSequencer() {
    return std::make_unique<Sequencer>(zs::test::BuildPath("bin/"), "song", "", "", "", false, false, 128,
                                       Color{0.1, 0.1, 0.1, 1}, false, "", false, "", false, false, true, 127);
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

  fs::path previousDir;
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
