#pragma once
// A player over a real song model and a real synthesizer (TimGM6mb and a small second soundfont,
// no audio device), and what the project tests compare.
#include <functional>
#include <memory>
#include <string>

#include "player/Player.h"
#include "sound/SFOutput.h"

namespace zs::test {

// Shared by the tests of one process. Soundfont 1 is "Second Font.sf2" with the presets
// "Sine A" (bank 0, program 0), "Sine B" (0:5), "Pad" (8:1) and "Kit" (128:0).
SFOutput& SharedSynth();

struct ProjectRig {
  std::unique_ptr<SessionsStore> store = std::make_unique<SessionsStore>();
  std::unique_ptr<Player> player;
  explicit ProjectRig(SFOutput* synth)
      : player(std::make_unique<Player>(store.get(), synth, nullptr, nullptr, false, false, true)) {}
  void Add(int session, int track, int step, int note, int offset = 0, int gate = 1, int fraction = 0,
           int velocity = 100);
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// Runs f with standard output captured and returns what it printed.
std::string Captured(const std::function<void()>& f);

// Random content of every persistent kind, notes in about `density` of all steps (1 to 4
// each), flags and ranges also on sessions without notes (which do not survive saving), a song
// over sessions with notes. Tracks on one soundfont share reverb and chorus, as the editor
// keeps them.
void FillRandomProject(ProjectRig& rig, SFOutput& synth, uint32_t seed, double density);

// Every persistent field as text (doubles to six significant digits), for comparing projects.
std::string Describe(const ProjectRig& rig, const SFOutput& synth);

// The invariants any load must keep, whatever the file; empty when all hold.
std::string Inconsistencies(const ProjectRig& rig);

}  // namespace zs::test
