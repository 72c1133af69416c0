// Sequencer: keys of the mixer subpage (per-track attributes, mute and solo).
#include "editor/Sequencer.h"
#include "player/Player.h"

void Sequencer::HandleMixer(const Controls&) {}
