// Sequencer: keys of the sessions subpage (session cursor, session clipboard, song list).
#include "editor/Sequencer.h"
#include "player/Player.h"

void Sequencer::HandleSessions(const Controls&) {}
