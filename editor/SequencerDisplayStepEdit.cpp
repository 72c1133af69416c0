// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: the step edit subpage's lines below the keyboard (header, note attributes, tempo).
#include <cstdio>

#include "editor/Sequencer.h"
#include "editor/SequencerColors.h"
#include "model/Scales.h"
#include "player/Player.h"

void Sequencer::DisplayStepEditLines(QuadList& quads) {
  const int pitch = CursorPitch();
  char text[96];
  const std::string noteName = pitch >= 128 ? std::string("NONE") : NoteToString(pitch);
  snprintf(text, sizeof(text), "T%2d O%d S%c L%3d %s", track + 1, octave - 1, SessionName(session), CursorStep(),
           noteName.c_str());
  PrintText(quads, text, 3, 65, 1.5, kTextColor);

  // The note under the cursor; a pitch past 127 has none.
  const Note* cursorNote = nullptr;
  if (pitch < 128) {
    sessions->GetNotes(session, track, CursorStep(), scratchNotes);
    for (const Note& n : scratchNotes) {
      if (n.note == pitch) {
        cursorNote = &n;
        break;
      }
    }
  }
  static const char kLabels[4] = {'G', 'F', 'V', 'O'};
  static const double kLabelX[4] = {3, 114, 228, 339};
  for (int f = 0; f < 4; ++f) {
    const bool editing = attribEdit.active && attribEdit.field == f && cursorNote;
    // The field being typed into is marked in yellow and shows the digits typed so far.
    const Color color = editing ? YellowColor : kTextColor;
    if (!cursorNote) {
      PrintText(quads, std::string(1, kLabels[f]) + ",,,", kLabelX[f], 34, 1.5, color);
      continue;
    }
    PrintText(quads, std::string(1, kLabels[f]), kLabelX[f], 34, 1.5, color);
    const int values[4] = {cursorNote->gate, cursorNote->gateFraction, cursorNote->velocity, cursorNote->offset};
    PrintText(quads, editing ? attribEdit.buffer : std::to_string(values[f]), kLabelX[f] + 24, 34, 1.5, color);
  }

  snprintf(text, sizeof(text), "B%03d V%03d VO%03d", player->GetBPM(), sessions->GetTrackVelocity(track),
           sessions->GetTrackVolume(track));
  const size_t first = quads.quads.size();
  PrintText(quads, text, 446, 65, 1.5, kTextColor);
  // While the value editor runs, its value turns yellow: glyphs 0-3 tempo, 4-7 velocity, 8-12 volume.
  if (valueEdit.active && valueEdit.target != ValueEditTarget::Off) {
    size_t from = 8, to = 13;
    if (valueEdit.target == ValueEditTarget::Tempo) {
      from = 0;
      to = 4;
    } else if (valueEdit.target == ValueEditTarget::TrackVelocity) {
      from = 4;
      to = 8;
    }
    for (size_t i = first + from; i < first + to && i < quads.quads.size(); ++i) quads.quads[i].color = YellowColor;
  }
  if (sessions->GetTrackVelocityFixed(track)) AddFlat(quads, 553, 62, 25, 26, kTextColor);
}
