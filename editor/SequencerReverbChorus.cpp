// Sequencer: keys of the reverb and chorus subpage.
#include "editor/Sequencer.h"
#include "player/Player.h"

void Sequencer::HandleReverbChorus(const Controls&) {}
