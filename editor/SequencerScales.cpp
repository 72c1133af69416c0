// Sequencer: keys of the scales subpage (scale and base note of the project).
#include "editor/Sequencer.h"
#include "player/Player.h"

void Sequencer::HandleScales(const Controls&) {}
