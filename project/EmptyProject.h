// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <string>

class Player;

// Writes the project file of a new project: every track on the first preset of the first bank
// of the first soundfont, volume 100, pan 64, the synthesizer's built-in reverb (room 0.2,
// damping 0, width 0.5, level 0.9) and chorus (3 voices, level 2, speed 0.3 Hz, depth 8 ms, sine)
// set up but switched off, the external effects as the synthesizer holds them, session 0,
// track 0, tempo 120. Works on the player's store, which it clears first, and on its
// synthesizer. Returns false, with an "error: " line, when an instrument could not be set or
// the file could not be written (the project in memory is set up either way).
bool CreateEmptyProject(Player* player, const std::string& fileName);
