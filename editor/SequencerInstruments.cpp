// Sequencer: keys of the instruments subpage (soundfont, bank and program of the track).
#include "editor/Sequencer.h"
#include "player/Player.h"

void Sequencer::HandleInstruments(const Controls&) {}
