// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// The Sequencer driven as the sequencer thread drives it: one Controls record and one frame time
// per Update, no window and no audio device, the cursor moved by keys as a user moves it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "devices/MidiInput.h"
#include "editor/Sequencer.h"
#include "player/Player.h"
#include "sound/SFOutput.h"
#include "tests/support/TestServers.h"

// The Sequencer's friend: puts the editor into states whose keys belong to other subpages' handlers,
// and plays into its MIDI input as RtMidi's thread would, without a port.
class ScreenTestAccess {
 public:
  static void Cursor(Sequencer& s, int note, int step) { s.noteCursor = note, s.stepCursor = step; }
  static void Octave(Sequencer& s, int octave) { s.octave = octave; }
  static void Mixer(Sequencer& s, int track, int param) { s.mixerTrack = track, s.mixerParam = param; }
  static void Fx(Sequencer& s, int fx, int extReverb, int extEq) {
    s.fxParam = fx, s.extReverbParam = extReverb, s.extEqParam = extEq;
  }
  static void EqProgram(Sequencer& s, int index) { s.eqProgramSelecting = true, s.eqProgramIndex = index; }
  static void SessionCursor(Sequencer& s, int k) { s.sessionCursor = k; }
  static void Midi(Sequencer& s, std::vector<unsigned char> message) {
    s.midiInputOk = true;
    MidiInput::MidiCallback(0, &message, s.midiInput.get());
  }
};

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

  // soundfonts.dat lists TimGM6mb `soundfonts` times: the same file twice gives two synthesizers
  // with effects of their own. The ALSA configuration has no device, also on a machine with one.
  void EnterFolder(int soundfonts) {
    setenv("ALSA_CONFIG_PATH", zs::test::SourcePath("tests/support/asound-no-device.conf").c_str(), 1);
    fs::current_path(zs::test::MakeTempDir("sequencer"));
    std::ofstream list("soundfonts.dat");
    for (int i = 0; i < soundfonts; ++i) list << "1.0 " << kSoundfont << "\n";
  }

  void Restart(const SequencerOptions& o = {}) {
    if (seq) seq->Shutdown();
    seq = std::make_unique<Sequencer>(o.programDirectory, "song", o.midiInput, "", "", false, false, 128,
                                      Color{0.1, 0.1, 0.1, 1}, o.launchpad, o.wallpaper, false, "", o.qmini,
                                      o.blackKeys, true, o.maxVelocity);
    ASSERT_TRUE(seq->Init(nullptr));
    // The missing sound device is on purpose; its message would hide the ones the tests check.
    if (seq->GetMessage() == "NO AUDIO DEVICE - SILENT") Idle(3.1);
  }

  void RecordSentNotes() {
    seq->GetPlayer()->SetSendObserver([this](const SentNote& n) { sent.push_back(n); });
  }

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
  void Tap(bool Controls::*flag) {
    Controls c{};
    c.*flag = true;
    Frame(c);
  }
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
  void Save() {
    Tap(&Controls::f1Pressed);
    ExpectMessage("SAVED", false);
  }
  void Reload() {
    Tap(&Controls::f5Pressed);
    ExpectMessage("LOADED ESC UNDOES", false);
  }

  void ExpectMessage(const std::string& text, bool isError) {
    EXPECT_EQ(std::tuple(seq->IsMessageActive(), seq->GetMessage(), seq->IsMessageError()),
              std::tuple(true, text, isError));
  }

  SessionsStore* Store() { return seq->GetSessions(); }
  int NotesAt(int session, int track, int step) {
    std::vector<Note> notes;
    Store()->GetNotes(session, track, step, notes);
    return static_cast<int>(notes.size());
  }

  void Arrow(int32_t Controls::*count, int presses, bool Controls::*held = nullptr) {
    Controls c{};
    c.*count = presses;
    if (held) c.*held = true;
    Frame(c);
  }
  void Type(const char* digits) {
    for (const char* d = digits; *d; ++d) Press([d](Controls& c) { c.digitPressed[*d - '0'] = true; });
  }
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
  void TapAt(int step, int pitch, bool Controls::*flag) {
    GoTo(step, pitch);
    Tap(flag);
  }

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
  void ExpectNotes(std::initializer_list<std::pair<int, int>> notes, bool present = true) {
    for (auto [step, pitch] : notes) EXPECT_EQ(At(step, pitch).note == pitch, present) << step << ", " << pitch;
  }

  void Put(int step, Note n, int track = 0) { Store()->AddNote(0, track, step, n); }
  void Put(int step, int pitch, int track = 0) { Put(step, MakeNote(pitch), track); }

  std::vector<std::vector<uint8_t>> Snapshot() {
    std::vector<std::vector<uint8_t>> all;
    std::vector<Note> notes;
    for (int s = 0; s < kSteps; ++s) {
      Store()->GetNotes(0, 0, s, notes);
      for (const Note& n : notes) {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&n);
        all.push_back({static_cast<uint8_t>(s)});
        all.back().insert(all.back().end(), bytes, bytes + sizeof(Note));
      }
    }
    return all;
  }
  int CountNotes() { return static_cast<int>(Snapshot().size()); }

  fs::path previousDir = fs::current_path();
  std::unique_ptr<Sequencer> seq;
  QuadList quads;
  SceneInfo scene;
  std::vector<SentNote> sent;
};

}  // namespace zs::test
