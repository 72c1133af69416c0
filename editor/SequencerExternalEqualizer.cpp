// Sequencer: keys of the external equalizer subpage.
#include "editor/Sequencer.h"
#include "player/Player.h"
#include "sound/SFOutput.h"

void Sequencer::HandleExternalEqualizer(const Controls& c) {
  // Choosing a program is a mode: ALT P enters it (remembering the values to go back to),
  // RETURN leaves it. Subpage cycling and track selection wait for it to end. Like the
  // external reverb subpage, nothing acts on a soundfont without the external effects.
  if (!synth->GetExternalReverbAvailable(track)) return;
  if (c.altP) {
    if (!eqProgramSelecting) {
      eqProgramSelecting = true;
      eqProgramIndex = 0;
      sessions->GetTrackExternalEqualizer(track, savedEqualizer);
    }
  } else if (c.returnPressed) {
    if (eqProgramSelecting) {
      if (eqProgramIndex == 0) sessions->SetTrackExternalEqualizer(track, savedEqualizer);
      eqProgramSelecting = false;
      eqProgramIndex = 0;
      for (double& v : savedEqualizer) v = 0;
    }
  }
}
