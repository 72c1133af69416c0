// Sequencer: keys of the step edit subpage (notes, lines, ranges, loop, value editors, blocks).
#include "editor/Sequencer.h"
#include "player/Player.h"

bool Sequencer::HandleAttributeEditor(double, Controls&) {
  // The attribute editor is modal; while it is open it takes every key of the frame.
  return attribEditActive;
}

void Sequencer::HandleStepEdit(const Controls&) {}
