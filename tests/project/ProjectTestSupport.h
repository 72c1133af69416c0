// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <string>

#include "sound/SFOutput.h"
#include "tests/player/PlayerTestSupport.h"

namespace zs::test {

// Shared by the tests of one process. Soundfont 1 is "Second Font.sf2" with the presets
// "Sine A" (bank 0, program 0), "Sine B" (0:5), "Pad" (8:1) and "Kit" (128:0).
SFOutput& SharedSynth();

using ProjectRig = PlayerRig;

// Random content of every persistent kind, notes in about `density` of all steps; flags and
// ranges also on sessions without notes (which are not saved). Tracks share their soundfont's
// reverb and chorus, as the editor keeps them.
void FillRandomProject(ProjectRig& rig, SFOutput& synth, uint32_t seed, double density);

std::string Describe(const ProjectRig& rig, const SFOutput& synth);

// The invariants any load must keep, whatever the file; empty when all hold.
std::string Inconsistencies(const ProjectRig& rig);

}  // namespace zs::test
