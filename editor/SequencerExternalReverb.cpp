// Sequencer: keys of the external reverb subpage.
#include "editor/Sequencer.h"
#include "player/Player.h"

void Sequencer::HandleExternalReverb(const Controls&) {}
