// Sequencer: notes played on the computer keyboard and the MIDI keyboard.
#include "editor/Sequencer.h"
#include "player/Player.h"

void Sequencer::HandleLiveNotes(const Controls& c) {
  // The screen marks the columns of the held note keys.
  for (int i = 0; i < kNoteColumns; ++i) noteKeysHeld[i] = c.pianoHeld[i];
}
