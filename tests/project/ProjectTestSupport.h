#pragma once
// A player over a real song model and a real synthesizer (TimGM6mb and a small second soundfont
// with presets in banks 0, 8 and 128, no audio device), plus what the project tests compare.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "player/Player.h"
#include "sound/SFOutput.h"

namespace zs::test {

// Initialised on first use, shared by the tests of one process. Soundfont 1 is
// "Second Font.sf2" with the presets "Sine A" (0:0), "Sine B" (0:5), "Pad" (8:1), "Kit" (128:0).
SFOutput& SharedSynth();

struct ProjectRig {
  std::unique_ptr<SessionsStore> store = std::make_unique<SessionsStore>();
  std::unique_ptr<Player> player;
  explicit ProjectRig(SFOutput* synth) {
    player = std::make_unique<Player>(store.get(), synth, nullptr, nullptr, false, false, true);
  }
  void Add(int session, int track, int step, int note, int offset = 0, int gate = 1, int fraction = 0,
           int velocity = 100);
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// Runs f with standard output captured and returns what it printed.
std::string Captured(const std::function<void()>& f);

// Fills a project with random content of every persistent kind: tempo, flags, scale, a song,
// notes in about `density` of all steps (1 to 4 notes each), ranges, mute and solo flags (also
// on sessions without notes, which do not survive saving), and per-track attributes and
// instruments. Tracks on one soundfont share reverb and chorus, as the editor keeps them.
void FillRandomProject(ProjectRig& rig, SFOutput& synth, uint32_t seed, double density);

// Every persistent field as text, one item per line, for comparing two projects with a
// readable difference: tempo, flags, scale, the song, solo/mute/ranges/notes of the sessions
// with notes, the attributes (doubles to six significant digits) and the instrument of each
// track.
std::string Describe(const ProjectRig& rig, const SFOutput& synth);

// The invariants any load must keep, whatever the file; empty when all hold.
std::string Inconsistencies(const ProjectRig& rig);

}  // namespace zs::test
